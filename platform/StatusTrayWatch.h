#pragma once

#include <QObject>
#include <QTimer>

#include <memory>

class QDBusServiceWatcher;

// Tells when the desktop has a tray that can show the status item: a StatusNotifierWatcher on the
// session bus that reports a registered host, or an X11 system tray (the owner of the selection
// "_NET_SYSTEM_TRAY_S<screen>").
//
// WORKAROUND: Qt 6.4 decides once per process, when its first tray icon is made (even asking
// QSystemTrayIcon::isSystemTrayAvailable() counts), whether to use the StatusNotifierItem protocol,
// and an icon made while no panel is there never reaches one that comes later. So the agent makes
// its icon only once this watch has seen a tray, and it asks the bus and the X server itself.
class StatusTrayWatch : public QObject
{
    Q_OBJECT

public:
    explicit StatusTrayWatch(QObject* parent = nullptr);
    ~StatusTrayWatch() override;

    // Starts looking; trayAvailable() follows as soon as a tray is found, now or later. An X11 tray
    // counts only for the application's "xcb" platform (QGuiApplication::platformName()).
    void start(const QString& platformName);
    [[nodiscard]] bool isTrayAvailable() const { return m_statusNotifierHost || m_xembedTray; }

Q_SIGNALS:
    // A tray has become available (after none was known).
    void trayAvailable();

private Q_SLOTS:
    // Asks the current watcher, if any, whether a host has registered with it.
    void checkStatusNotifierWatcher();

private:
    void checkXEmbedTray();
    void setStatusNotifierHost(bool registered);
    void announceIfAvailable(bool wasAvailable);

    struct XConnection;
    std::unique_ptr<XConnection> m_x;
    QDBusServiceWatcher* m_serviceWatcher = nullptr;
    QTimer m_xembedPoll;
    // Answers of the bus arrive late; only those of the latest question count.
    quint64 m_question = 0;
    bool m_statusNotifierHost = false;
    bool m_xembedTray = false;
};
