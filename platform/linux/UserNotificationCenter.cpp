#include "platform/UserNotificationCenter.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>

// The desktop's notification service (org.freedesktop.Notifications on the session bus).
namespace {
const QString service = QStringLiteral("org.freedesktop.Notifications");
const QString path = QStringLiteral("/org/freedesktop/Notifications");
// Long enough for a busy notification server, short enough not to hold a worker up noticeably.
constexpr int replyTimeoutMs = 2000;
} // namespace

namespace UserNotificationCenter {

bool isAvailable()
{
    const QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !bus.interface())
        return false;
    if (bus.interface()->isServiceRegistered(service))
        return true;
    const QDBusReply<QStringList> activatable = bus.interface()->call(QStringLiteral("ListActivatableNames"));
    return activatable.isValid() && activatable.value().contains(service);
}

bool scheduleNotification(const QString& title, const QString& subtitle)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return false;
    QDBusMessage call = QDBusMessage::createMethodCall(service, path, service, QStringLiteral("Notify"));
    const QVariantMap hints{{QStringLiteral("suppress-sound"), true}};
    call << QStringLiteral("Veltrane")         // application name
         << quint32(0)                         // replaces no earlier notification
         << QString()                          // no icon
         << title << subtitle << QStringList() // no actions
         << hints << qint32(-1);               // the server's default expiry
    const QDBusMessage reply = bus.call(call, QDBus::Block, replyTimeoutMs);
    return reply.type() == QDBusMessage::ReplyMessage;
}

} // namespace UserNotificationCenter
