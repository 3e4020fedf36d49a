#pragma once

#include "platform/Bundle.h"
#include "platform/StatusTrayWatch.h"

#include <QIcon>
#include <QObject>
#include <QString>

#include <memory>

class QAction;
class QMenu;
class QSystemTrayIcon;

// The menu-bar agent: one status item in the desktop's panel that shows whether cleaning is on, with
// entries to pause or start cleaning, open the preferences and open the About panel. It owns no
// setting: it reads isRunning from the shared domain, starts and stops the daemon itself and talks to
// the main application through broadcasts and launch arguments. Main thread only.
class MenuBarAppDelegate : public QObject
{
    Q_OBJECT

public:
    // `bundlePath`: the agent's own bundle, from which the daemon and the main application are found.
    explicit MenuBarAppDelegate(QString bundlePath = Bundle::mainBundlePath());
    // Stops observing the broadcasts.
    ~MenuBarAppDelegate() override;

    // Observes updateVeltraneRunStatus, then runs menuBarCheck().
    void applicationDidFinishLaunching();
    void awakeFromNib() {}

    // True when the main application is running.
    [[nodiscard]] bool isVeltraneActive() const;
    // The stored isRunning, read through the shared domain attached anew.
    [[nodiscard]] bool isVeltraneEnabled() const;
    // Image and title from isRunning; when it is off, a running daemon is stopped. The status item is
    // created on the first refresh that finds a tray, and reused from then on.
    void updateMenubar();
    // Wires the pause/start entry, then refreshes.
    void menuBarCheck();
    // Starts the daemon beside the agent's bundle when none runs, or asks a running one to quit.
    void enableDaemon(bool on);

    // Menu actions.
    void aboutButtonPressed();
    void prefsButtonPressed();
    void toggleVeltraneRunStatus();

    [[nodiscard]] QMenu* sysMenuBar() const { return m_sysMenuBar.get(); }
    [[nodiscard]] QSystemTrayIcon* statusItem() const { return m_statusItem.get(); }
    [[nodiscard]] QAction* runStateItem() const { return m_runStateItem; }
    void setRunStateItem(QAction* item) { m_runStateItem = item; }

    // Image and title of the entry for this state, without reading or changing anything else.
    void showRunState(bool running);

private:
    enum class DaemonWhenOff
    {
        Stop,
        Leave,
    };
    void refresh(DaemonWhenOff daemonWhenOff);
    // Creates the status item once a tray exists, and gives it the menu and the current image.
    void showStatusItem();
    void openMainApplication(QLatin1StringView argument, QLatin1StringView notification);

    QString m_bundlePath;
    std::unique_ptr<QMenu> m_sysMenuBar;
    std::unique_ptr<QSystemTrayIcon> m_statusItem;
    QAction* m_runStateItem = nullptr;
    QIcon m_pausedImage;
    QIcon m_runningImage;
    QIcon m_image;
    StatusTrayWatch m_trayWatch;
};
