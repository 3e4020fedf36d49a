// FAKE at the desktop boundary: no desktop panel can run here, so the tests own the panel's
// StatusNotifierWatcher on their private bus. It implements only what Qt's tray icon uses: the
// registration of items and hosts, the IsStatusNotifierHostRegistered and RegisteredStatusNotifierItems
// properties (listed in its introspection data, where Qt looks for them) and the signals. An item or
// a host leaves the lists when its bus name goes away.
//   veltrane-fakestatusnotifierwatcher [--host]
// With --host a host counts as registered from the start, as with a panel that brings both. Prints
// "ready" once the watcher's name is owned; ends on SIGTERM, letting its name go as a panel that stops.
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusContext>
#include <QDBusMessage>
#include <QDBusServiceWatcher>
#include <QStringList>

#include <csignal>
#include <cstdio>

namespace {

class FakeStatusNotifierWatcher : public QObject, protected QDBusContext
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(bool IsStatusNotifierHostRegistered READ isStatusNotifierHostRegistered)
    Q_PROPERTY(QStringList RegisteredStatusNotifierItems READ registeredStatusNotifierItems)
    Q_PROPERTY(int ProtocolVersion READ protocolVersion)

public:
    explicit FakeStatusNotifierWatcher(bool withHost)
    {
        if (withHost)
            m_hosts.append(QStringLiteral("fake-panel"));
        m_names.setConnection(QDBusConnection::sessionBus());
        m_names.setWatchMode(QDBusServiceWatcher::WatchForUnregistration);
        connect(&m_names, &QDBusServiceWatcher::serviceUnregistered, this,
                &FakeStatusNotifierWatcher::nameLost);
    }

    [[nodiscard]] bool isStatusNotifierHostRegistered() const { return !m_hosts.isEmpty(); }
    [[nodiscard]] QStringList registeredStatusNotifierItems() const { return m_items; }
    [[nodiscard]] int protocolVersion() const { return 0; }

public Q_SLOTS:
    void RegisterStatusNotifierItem(const QString& serviceOrPath)
    {
        // An item may name itself by object path only; its bus name is then the caller's.
        const QString item =
            serviceOrPath.startsWith(QLatin1Char('/')) ? message().service() + serviceOrPath : serviceOrPath;
        if (m_items.contains(item))
            return;
        m_items.append(item);
        m_names.addWatchedService(busName(item));
        Q_EMIT StatusNotifierItemRegistered(item);
    }

    void RegisterStatusNotifierHost(const QString& service)
    {
        if (m_hosts.contains(service))
            return;
        m_hosts.append(service);
        m_names.addWatchedService(service);
        Q_EMIT StatusNotifierHostRegistered();
    }

Q_SIGNALS:
    void StatusNotifierItemRegistered(const QString& item);
    void StatusNotifierItemUnregistered(const QString& item);
    void StatusNotifierHostRegistered();
    void StatusNotifierHostUnregistered();

private:
    static QString busName(const QString& item) { return item.section(QLatin1Char('/'), 0, 0); }

    void nameLost(const QString& name)
    {
        const QStringList items = m_items;
        for (const QString& item : items) {
            if (busName(item) == name) {
                m_items.removeAll(item);
                Q_EMIT StatusNotifierItemUnregistered(item);
            }
        }
        if (m_hosts.removeAll(name) > 0)
            Q_EMIT StatusNotifierHostUnregistered();
        m_names.removeWatchedService(name);
    }

    QStringList m_items;
    QStringList m_hosts;
    QDBusServiceWatcher m_names;
};

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication application(argc, argv);
    std::signal(SIGTERM, [](int) { _exit(0); });
    const bool withHost = QCoreApplication::arguments().contains(QStringLiteral("--host"));
    FakeStatusNotifierWatcher watcher(withHost);
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.registerObject(QStringLiteral("/StatusNotifierWatcher"), &watcher,
                            QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllSignals |
                                QDBusConnection::ExportAllProperties) ||
        !bus.registerService(QStringLiteral("org.kde.StatusNotifierWatcher"))) {
        std::fprintf(stderr, "cannot own org.kde.StatusNotifierWatcher\n");
        return 1;
    }
    std::printf("ready\n");
    std::fflush(stdout);
    return QCoreApplication::exec();
}

#include "FakeStatusNotifierWatcher.moc"
