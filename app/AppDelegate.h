#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QVariantMap>

#include <memory>

class AboutPanel;
class PrefsController;
class QAction;
class QMenu;
class StartAtLoginController;

// The main application's controller: keeps the watcher daemon, the menu-bar agent and the login item
// in line with the settings, answers the agent's broadcasts and launch arguments, and shows the
// preferences window and the About panel. Main thread only.
class AppDelegate : public QObject
{
    Q_OBJECT

public:
    // Before the first delegate: takes the application bundle and registers its "Defaults.plist" (a
    // missing or malformed file registers nothing).
    static void initialize(const QString& bundlePath);
    // The application's short version string (CFBundleShortVersionString).
    [[nodiscard]] static QString version();
    [[nodiscard]] static QString bundlePath();

    AppDelegate();
    ~AppDelegate() override;

    // Observers, launch arguments (or the preferences window), the daemon.
    void awakeFromNib();
    // Acts on the first launch argument that is "openedAboutFromMenu" or "openedFromMenu"; false when none
    // is.
    bool startupCheck();
    // The login item and the menu-bar agent.
    void applicationDidFinishLaunching();
    // Another start of the application: the preferences window opens when no window is visible.
    bool applicationShouldHandleReopen(bool hasVisibleWindows);
    [[nodiscard]] bool hasVisibleWindows() const;

    // A change of one of the three observed keys.
    void observeValueForKeyPath(const QString& keyPath);
    void toggleVeltraneRunStatus(const QVariantMap& userInfo);
    void updateVeltraneRunStatus();
    void updateLogin();
    void updateMenuBar();
    void enableDaemon(bool flag);

    void about();
    void openedAboutFromMenu();
    void showPrefs();
    void sendEmail();
    void releaseWindow();
    void activateIgnoringOtherApps();
    // Whether a menu item can be chosen, asked each time its menu opens: every item always can.
    [[nodiscard]] bool validateMenuItem(const QAction* item) const;

    [[nodiscard]] PrefsController* prefsController() const;
    [[nodiscard]] AboutPanel* aboutPanel() const;
    [[nodiscard]] StartAtLoginController* loginController() const { return m_loginController.get(); }
    // About, Send Feedback and Quit: the menu every window of the application carries.
    [[nodiscard]] QMenu* applicationMenu() const { return m_applicationMenu.get(); }

private:
    std::unique_ptr<QMenu> m_applicationMenu;
    QAction* m_quitAction = nullptr;
    std::unique_ptr<StartAtLoginController> m_loginController;
    QPointer<PrefsController> m_prefsController;
    QPointer<AboutPanel> m_aboutPanel;
};
