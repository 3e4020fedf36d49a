#pragma once

#include <QDBusAbstractAdaptor>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariantMap>

// FAKE at the desktop boundary: no notification server can run without a display here, so tests own
// org.freedesktop.Notifications on their private bus and record every notification it receives.
class NotificationRecorder : public QObject
{
    Q_OBJECT

public:
    struct Notification
    {
        QString applicationName;
        QString summary;
        QString body;
        QStringList actions;
        QVariantMap hints;
    };

    NotificationRecorder();
    ~NotificationRecorder() override;

    // False when the name could not be taken on the session bus.
    [[nodiscard]] bool isRegistered() const { return m_registered; }
    [[nodiscard]] const QList<Notification>& received() const { return m_received; }
    void clear() { m_received.clear(); }

    void record(const Notification& notification);

private:
    QList<Notification> m_received;
    bool m_registered = false;
};

class NotificationsAdaptor : public QDBusAbstractAdaptor
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    explicit NotificationsAdaptor(NotificationRecorder* recorder);

public Q_SLOTS:
    uint Notify(const QString& appName, uint replacesId, const QString& appIcon, const QString& summary,
                const QString& body, const QStringList& actions, const QVariantMap& hints, int expireTimeout);
    QStringList GetCapabilities();
    QString GetServerInformation(QString& vendor, QString& version, QString& specVersion);

private:
    NotificationRecorder* m_recorder;
    uint m_lastId = 0;
};
