#include "platform/DistributedNotificationCenter.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMetaType>

#include <algorithm>

// Each notification name is a signal of this interface, sent on the session bus with the user info as
// its one argument (a{sv}); every process of the user that listens for that signal receives it.
namespace {
const QString objectPath = QStringLiteral("/com/orvando/Veltrane/DistributedNotifications");
const QString interfaceName = QStringLiteral("com.orvando.Veltrane.DistributedNotifications");

bool isValidMemberName(const QString& name)
{
    if (name.isEmpty() || name.size() > 255 || name.front().isDigit())
        return false;
    for (const QChar c : name) {
        if (!(c.isLetterOrNumber() && c.unicode() < 128) && c != QLatin1Char('_'))
            return false;
    }
    return true;
}

// Messages on one connection reach the bus in order, so once a Ping has been answered everything
// sent before it has been routed. The timeout keeps a hung bus from stalling the caller.
void roundTrip(const QDBusConnection& bus)
{
    (void)bus.call(QDBusMessage::createMethodCall(
                       QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
                       QStringLiteral("org.freedesktop.DBus.Peer"), QStringLiteral("Ping")),
                   QDBus::Block, 2000);
}
} // namespace

DistributedNotificationCenter& DistributedNotificationCenter::defaultCenter()
{
    static DistributedNotificationCenter center;
    return center;
}

DistributedNotificationCenter::DistributedNotificationCenter() = default;

bool DistributedNotificationCenter::isAvailable() const
{
    return QDBusConnection::sessionBus().isConnected();
}

void DistributedNotificationCenter::postNotificationName(const QString& name, const QVariantMap& userInfo)
{
    if (!isAvailable() || !isValidMemberName(name))
        return;
    QDBusMessage signal = QDBusMessage::createSignal(objectPath, interfaceName, name);
    signal << userInfo;
    QDBusConnection bus = QDBusConnection::sessionBus();
    // send() only queues; a poster that quits right after posting (the worker does) would lose the
    // broadcast if it were still queued when the process ends.
    if (bus.send(signal))
        roundTrip(bus);
}

void DistributedNotificationCenter::addObserver(const QString& name, QObject* context, Handler handler)
{
    if (!context || !isValidMemberName(name))
        return;
    if (!m_subscribedNames.contains(name) && isAvailable()) {
        QDBusConnection bus = QDBusConnection::sessionBus();
        if (bus.connect(QString(), objectPath, interfaceName, name, this, SLOT(dispatch(QDBusMessage)))) {
            m_subscribedNames.append(name);
            // The match rule goes out asynchronously; a round trip to the bus makes sure it is in
            // place before we return, so a broadcast posted right after is not missed.
            roundTrip(bus);
        }
    }
    const bool knownContext = std::any_of(m_observers.cbegin(), m_observers.cend(),
                                          [context](const Observer& o) { return o.context == context; });
    m_observers.append({name, context, std::move(handler)});
    if (!knownContext)
        connect(context, &QObject::destroyed, this, [this, context] { removeObserver(context); });
}

void DistributedNotificationCenter::removeObserver(QObject* context)
{
    m_observers.removeIf([context](const Observer& observer) { return observer.context == context; });
}

void DistributedNotificationCenter::dispatch(const QDBusMessage& message)
{
    QVariantMap userInfo;
    const QVariantList arguments = message.arguments();
    if (!arguments.isEmpty()) {
        const QVariant first = arguments.first();
        if (first.canConvert<QDBusArgument>())
            userInfo = qdbus_cast<QVariantMap>(first.value<QDBusArgument>());
        else
            userInfo = first.toMap();
    }
    // A handler may add or remove observers; work on a snapshot.
    const QList<Observer> observers = m_observers;
    for (const Observer& observer : observers) {
        if (observer.name != message.member())
            continue;
        const bool stillObserving =
            std::any_of(m_observers.cbegin(), m_observers.cend(), [&](const Observer& o) {
                return o.context == observer.context && o.name == observer.name;
            });
        if (stillObserving)
            observer.handler(userInfo);
    }
}
