#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

struct xcb_connection_t;

// A private X server (Xvfb) for tests that look at another program's windows as a desktop would:
// the titles of the top-level windows it shows, and the window manager's close request.
class XDisplay
{
public:
    XDisplay();
    ~XDisplay();
    XDisplay(const XDisplay&) = delete;
    XDisplay& operator=(const XDisplay&) = delete;

    // False when no X server could be started here (Xvfb is missing).
    [[nodiscard]] bool isValid() const { return m_connection != nullptr; }
    // ":<number>", for DISPLAY.
    [[nodiscard]] QString name() const { return m_name; }

    // Titles of the mapped top-level windows, in stacking order.
    [[nodiscard]] QStringList shownWindows() const;
    // Sends WM_DELETE_WINDOW to the shown window with this title, as a window manager's close button
    // does; false when there is none.
    bool close(const QString& title) const;

private:
    QProcess m_server;
    QString m_name;
    xcb_connection_t* m_connection = nullptr;
};
