#pragma once

#include <QLatin1StringView>
#include <QObject>

#include <memory>

class QAbstractButton;
class QLabel;
class QMainWindow;
class QMenu;
class Popover;

namespace Ui {
class Prefs;
}

// Controller of the preferences window "Prefs": every control edits one key of the shared preferences
// domain at once and follows the key while the window is open. When its window closes it announces
// releaseWindow and destroys itself after the current event; the next window gets a new controller.
class PrefsController : public QObject
{
    Q_OBJECT
    // Available to the interface; the controller itself neither reads nor writes it.
    Q_PROPERTY(bool running MEMBER m_running)

public:
    // Loads the window from the interface file; `applicationMenu` (not owned) goes into its menu bar.
    explicit PrefsController(QMenu* applicationMenu = nullptr);
    ~PrefsController() override;

    // Shows the window and brings it to the front.
    void showWindow();

    [[nodiscard]] QMainWindow* prefsView() const { return m_prefsView.get(); }
    [[nodiscard]] QLabel* versionLabel() const;
    [[nodiscard]] QAbstractButton* prefsEnabledButton() const;
    [[nodiscard]] QAbstractButton* removeAllButton() const;
    [[nodiscard]] Popover* popover() const;
    [[nodiscard]] Popover* prefsPopover() const;
    [[nodiscard]] QAbstractButton* prefsPopoverButton() const;

    // Builds the version label and enables the two main controls.
    void startupCheck();
    // Show the popover next to `sender` (its right edge, or the bottom edge for the second one), or
    // close it when it is shown.
    void togglePopover(QWidget* sender);
    void togglePrefsPopover(QWidget* sender);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void awakeFromNib();
    void bind(QAbstractButton* control, QLatin1StringView key);
    void windowWillClose();

    std::unique_ptr<QMainWindow> m_prefsView;
    std::unique_ptr<Ui::Prefs> m_ui;
    bool m_running = false;
};
