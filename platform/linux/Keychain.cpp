#include "platform/Keychain.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusReply>
#include <QDateTime>

// The Secret Service on the session bus stands in for the login keychain: an internet password is
// an item with a "server" attribute, as in the network-password schema.
namespace {

using Attributes = QMap<QString, QString>;

const QString serviceName = QStringLiteral("org.freedesktop.secrets");
const QString servicePath = QStringLiteral("/org/freedesktop/secrets");
const QString serviceInterface = QStringLiteral("org.freedesktop.Secret.Service");
const QString itemInterface = QStringLiteral("org.freedesktop.Secret.Item");
const QString propertiesInterface = QStringLiteral("org.freedesktop.DBus.Properties");
constexpr int callTimeout = 10000;

bool canBeStarted(const QDBusConnection& bus)
{
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("ListActivatableNames"));
    const QDBusReply<QStringList> names = bus.call(call, QDBus::Block, callTimeout);
    // When the bus cannot say, the store may still be there: do not take it for absent.
    return !names.isValid() || names.value().contains(serviceName);
}

QList<QDBusObjectPath> pathsFrom(const QVariant& value)
{
    return qdbus_cast<QList<QDBusObjectPath>>(value.value<QDBusArgument>());
}

std::optional<QVariantMap> itemProperties(const QDBusConnection& bus, const QDBusObjectPath& item)
{
    QDBusMessage call = QDBusMessage::createMethodCall(serviceName, item.path(), propertiesInterface,
                                                       QStringLiteral("GetAll"));
    call << itemInterface;
    const QDBusReply<QVariantMap> reply = bus.call(call, QDBus::Block, callTimeout);
    if (!reply.isValid())
        return std::nullopt;
    return reply.value();
}

QDateTime dateFrom(const QVariant& seconds)
{
    return QDateTime::fromSecsSinceEpoch(seconds.toLongLong(), Qt::UTC);
}

// The record of one item, or nothing when the item is no internet password.
std::optional<QVariantMap> recordFrom(const QVariantMap& properties)
{
    const Attributes attributes =
        qdbus_cast<Attributes>(properties.value(QStringLiteral("Attributes")).value<QDBusArgument>());
    if (!attributes.contains(QStringLiteral("server")))
        return std::nullopt;
    QVariantMap record;
    record.insert(QStringLiteral("srvr"), attributes.value(QStringLiteral("server")));
    if (attributes.contains(QStringLiteral("authtype")))
        record.insert(QStringLiteral("atyp"), attributes.value(QStringLiteral("authtype")));
    if (attributes.contains(QStringLiteral("user")))
        record.insert(QStringLiteral("acct"), attributes.value(QStringLiteral("user")));
    if (attributes.contains(QStringLiteral("service")))
        record.insert(QStringLiteral("svce"), attributes.value(QStringLiteral("service")));
    record.insert(QStringLiteral("labl"), properties.value(QStringLiteral("Label")).toString());
    record.insert(QStringLiteral("cdat"), dateFrom(properties.value(QStringLiteral("Created"))));
    record.insert(QStringLiteral("mdat"), dateFrom(properties.value(QStringLiteral("Modified"))));
    return record;
}

} // namespace

namespace Keychain {

InternetPasswords copyInternetPasswords(const QString& service, const QString& account)
{
    qDBusRegisterMetaType<Attributes>();
    InternetPasswords result;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        result.status = Status::notAvailable;
        return result;
    }
    if (!bus.interface()->isServiceRegistered(serviceName).value() && !canBeStarted(bus)) {
        result.status = Status::itemNotFound;
        return result;
    }

    Attributes query;
    if (!service.isEmpty())
        query.insert(QStringLiteral("service"), service);
    if (!account.isEmpty())
        query.insert(QStringLiteral("user"), account);
    QDBusMessage search = QDBusMessage::createMethodCall(serviceName, servicePath, serviceInterface,
                                                         QStringLiteral("SearchItems"));
    search << QVariant::fromValue(query);
    const QDBusMessage reply = bus.call(search, QDBus::Block, callTimeout);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().size() != 2)
        return result;
    // A locked item shows no attributes, so whether it is a web-form password cannot be told.
    if (!pathsFrom(reply.arguments().at(1)).isEmpty()) {
        result.status = Status::interactionNotAllowed;
        return result;
    }
    for (const QDBusObjectPath& item : pathsFrom(reply.arguments().at(0))) {
        const auto properties = itemProperties(bus, item);
        if (!properties)
            return InternetPasswords{};
        if (auto record = recordFrom(*properties))
            result.items.append(*record);
    }
    result.status = result.items.isEmpty() ? Status::itemNotFound : Status::success;
    return result;
}

} // namespace Keychain
