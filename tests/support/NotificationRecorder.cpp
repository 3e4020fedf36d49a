#include "NotificationRecorder.h"

#include <QDBusConnection>

namespace {
const QString serviceName = QStringLiteral("org.freedesktop.Notifications");
}

NotificationRecorder::NotificationRecorder()
{
    new NotificationsAdaptor(this);
    QDBusConnection bus = QDBusConnection::sessionBus();
    m_registered = bus.registerObject(QStringLiteral("/org/freedesktop/Notifications"), this) &&
                   bus.registerService(serviceName);
}

NotificationRecorder::~NotificationRecorder()
{
    if (m_registered) {
        QDBusConnection::sessionBus().unregisterService(serviceName);
        QDBusConnection::sessionBus().unregisterObject(QStringLiteral("/org/freedesktop/Notifications"));
    }
}

void NotificationRecorder::record(const Notification& notification)
{
    m_received.append(notification);
}

NotificationsAdaptor::NotificationsAdaptor(NotificationRecorder* recorder)
    : QDBusAbstractAdaptor(recorder), m_recorder(recorder)
{
}

uint NotificationsAdaptor::Notify(const QString& appName, uint, const QString&, const QString& summary,
                                  const QString& body, const QStringList& actions, const QVariantMap& hints,
                                  int)
{
    m_recorder->record({appName, summary, body, actions, hints});
    return ++m_lastId;
}

QStringList NotificationsAdaptor::GetCapabilities()
{
    return {QStringLiteral("body")};
}

QString NotificationsAdaptor::GetServerInformation(QString& vendor, QString& version, QString& specVersion)
{
    vendor = QStringLiteral("Veltrane tests");
    version = QStringLiteral("1");
    specVersion = QStringLiteral("1.2");
    return QStringLiteral("NotificationRecorder");
}
