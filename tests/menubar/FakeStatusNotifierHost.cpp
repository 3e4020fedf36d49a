#include "FakeStatusNotifierHost.h"

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusReply>
#include <QDBusVariant>
#include <QDateTime>
#include <QTest>

namespace {
const QString watcherService = QStringLiteral("org.kde.StatusNotifierWatcher");
const QString watcherPath = QStringLiteral("/StatusNotifierWatcher");
const QString itemInterface = QStringLiteral("org.kde.StatusNotifierItem");
const QString menuInterface = QStringLiteral("com.canonical.dbusmenu");
const QString propertiesInterface = QStringLiteral("org.freedesktop.DBus.Properties");
constexpr int callTimeoutMs = 5000;

QVariant property(const QString& service, const QString& path, const QString& interface, const QString& name)
{
    QDBusMessage get =
        QDBusMessage::createMethodCall(service, path, propertiesInterface, QStringLiteral("Get"));
    get << interface << name;
    const QDBusMessage reply = QDBusConnection::sessionBus().call(get, QDBus::Block, callTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return {};
    return reply.arguments().first().value<QDBusVariant>().variant();
}

QList<FakeStatusNotifierHost::Image> images(const QVariant& value)
{
    QList<FakeStatusNotifierHost::Image> result;
    if (!value.canConvert<QDBusArgument>())
        return result;
    const QDBusArgument argument = value.value<QDBusArgument>();
    argument.beginArray();
    while (!argument.atEnd()) {
        int width = 0;
        int height = 0;
        QByteArray bytes;
        argument.beginStructure();
        argument >> width >> height >> bytes;
        argument.endStructure();
        result.append({QSize(width, height), bytes});
    }
    argument.endArray();
    return result;
}

// One node of a dbusmenu layout, (ia{sv}av); only the top level is kept.
FakeStatusNotifierHost::Entry entry(const QDBusArgument& node)
{
    FakeStatusNotifierHost::Entry result;
    QVariantMap properties;
    node.beginStructure();
    node >> result.id >> properties;
    node.beginArray();
    while (!node.atEnd()) {
        QDBusVariant child;
        node >> child;
    }
    node.endArray();
    node.endStructure();
    result.label = properties.value(QStringLiteral("label")).toString();
    result.separator = properties.value(QStringLiteral("type")).toString() == QLatin1String("separator");
    result.enabled = properties.value(QStringLiteral("enabled"), true).toBool();
    return result;
}
} // namespace

bool FakeStatusNotifierHost::registerAsHost()
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    const QString name =
        QStringLiteral("org.kde.StatusNotifierHost-%1").arg(QCoreApplication::applicationPid());
    if (!bus.interface()->isServiceRegistered(name) && !bus.registerService(name))
        return false;
    QDBusMessage call = QDBusMessage::createMethodCall(watcherService, watcherPath, watcherService,
                                                       QStringLiteral("RegisterStatusNotifierHost"));
    call << name;
    return bus.call(call, QDBus::Block, callTimeoutMs).type() == QDBusMessage::ReplyMessage;
}

QStringList FakeStatusNotifierHost::registeredItems()
{
    return property(watcherService, watcherPath, watcherService,
                    QStringLiteral("RegisteredStatusNotifierItems"))
        .toStringList();
}

QStringList FakeStatusNotifierHost::registeredItemsOf(qint64 pid)
{
    QStringList items;
    QDBusConnectionInterface* bus = QDBusConnection::sessionBus().interface();
    for (const QString& item : registeredItems()) {
        const QDBusReply<uint> owner = bus->servicePid(item.section(QLatin1Char('/'), 0, 0));
        if (pid > 0 && owner.isValid() && owner.value() == pid)
            items.append(item);
    }
    return items;
}

QStringList FakeStatusNotifierHost::itemConnectionsOf(qint64 pid)
{
    QStringList connections;
    QDBusConnectionInterface* bus = QDBusConnection::sessionBus().interface();
    const QStringList names = bus->registeredServiceNames().value();
    for (const QString& name : names) {
        const QDBusReply<uint> owner = bus->servicePid(name);
        if (!name.startsWith(QLatin1Char(':')) || pid <= 0 || !owner.isValid() || owner.value() != pid)
            continue;
        if (property(name, QStringLiteral("/StatusNotifierItem"), itemInterface, QStringLiteral("Status"))
                .isValid())
            connections.append(name);
    }
    return connections;
}

FakeStatusNotifierHost::Item FakeStatusNotifierHost::item(const QString& registered)
{
    Item result;
    const qsizetype slash = registered.indexOf(QLatin1Char('/'));
    result.service = slash < 0 ? registered : registered.left(slash);
    result.path = slash < 0 ? QStringLiteral("/StatusNotifierItem") : registered.mid(slash);
    QDBusMessage getAll = QDBusMessage::createMethodCall(result.service, result.path, propertiesInterface,
                                                         QStringLiteral("GetAll"));
    getAll << itemInterface;
    const QDBusMessage reply = QDBusConnection::sessionBus().call(getAll, QDBus::Block, callTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return result;
    const QVariantMap properties = qdbus_cast<QVariantMap>(reply.arguments().first().value<QDBusArgument>());
    result.status = properties.value(QStringLiteral("Status")).toString();
    result.menuPath = properties.value(QStringLiteral("Menu")).value<QDBusObjectPath>().path();
    result.icon = images(properties.value(QStringLiteral("IconPixmap")));
    return result;
}

QList<FakeStatusNotifierHost::Entry> FakeStatusNotifierHost::menu(const Item& item)
{
    QList<Entry> entries;
    if (item.menuPath.isEmpty())
        return entries;
    QDBusMessage call = QDBusMessage::createMethodCall(item.service, item.menuPath, menuInterface,
                                                       QStringLiteral("GetLayout"));
    call << 0 << -1 << QStringList();
    const QDBusMessage reply = QDBusConnection::sessionBus().call(call, QDBus::Block, callTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().size() < 2)
        return entries;
    const QDBusArgument root = reply.arguments().at(1).value<QDBusArgument>();
    QVariantMap rootProperties;
    int rootId = 0;
    root.beginStructure();
    root >> rootId >> rootProperties;
    root.beginArray();
    while (!root.atEnd()) {
        QDBusVariant child;
        root >> child;
        entries.append(entry(child.variant().value<QDBusArgument>()));
    }
    root.endArray();
    root.endStructure();
    return entries;
}

QStringList FakeStatusNotifierHost::labels(const Item& item)
{
    QStringList result;
    for (const Entry& each : menu(item))
        result.append(each.separator ? QStringLiteral("-") : each.label);
    return result;
}

bool FakeStatusNotifierHost::click(const Item& item, const QString& label)
{
    for (const Entry& each : menu(item)) {
        if (each.separator || each.label != label)
            continue;
        QDBusMessage event = QDBusMessage::createMethodCall(item.service, item.menuPath, menuInterface,
                                                            QStringLiteral("Event"));
        event << each.id << QStringLiteral("clicked") << QVariant::fromValue(QDBusVariant(0))
              << static_cast<uint>(QDateTime::currentSecsSinceEpoch());
        return QDBusConnection::sessionBus().call(event, QDBus::Block, callTimeoutMs).type() ==
               QDBusMessage::ReplyMessage;
    }
    return false;
}

FakeStatusNotifierWatcherProcess::FakeStatusNotifierWatcherProcess(Host host)
{
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.start(QStringLiteral(VELTRANE_FAKE_WATCHER),
                    host == Host::Registered ? QStringList{QStringLiteral("--host")} : QStringList{});
    m_ready = m_process.waitForStarted() &&
              QTest::qWaitFor([this] { return m_process.canReadLine() || m_process.waitForReadyRead(50); },
                              10000) &&
              m_process.readLine().trimmed() == "ready";
}

FakeStatusNotifierWatcherProcess::~FakeStatusNotifierWatcherProcess()
{
    (void)stop();
}

bool FakeStatusNotifierWatcherProcess::stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return true;
    m_process.terminate();
    // Once it has ended its name is released on the bus.
    return m_process.waitForFinished(5000);
}
