#include "FakeBundle.h"
#include "FakeStatusNotifierHost.h"
#include "Sandbox.h"
#include "menubar/MenuBarImages.h"
#include "platform/DistributedNotificationCenter.h"
#include "platform/UserDefaults.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QTest>

#include <csignal>
#include <memory>

// The agent is driven as a desktop panel drives it: it runs from the built bundle under a real X
// server, registers its status item with the tests' own watcher, and its menu is read and clicked
// over the bus.
namespace {

const QString daemonId = QStringLiteral("com.orvando.VeltraneDaemon");
const QString applicationId = QStringLiteral("com.orvando.Veltrane");
const QString startTitle = QStringLiteral("Start Veltrane");
const QString pauseTitle = QStringLiteral("Pause Veltrane");
const QString prefs = QStringLiteral("Preferences…");
const QString about = QStringLiteral("About Veltrane");
// Long enough for a wrong second start, or a late stop, to have shown.
constexpr int settleMs = 1500;

QString menuBarBundle()
{
    return BuiltSuite::bundle() + QStringLiteral("/Contents/Resources/VeltraneMenuBar.app");
}

// The running applications whose bundle is `folder` or lies inside it (the main application's bundle
// holds the others).
QList<RunningApplication> applicationsIn(const QString& folder)
{
    QList<RunningApplication> found;
    for (const RunningApplication& application : Workspace::sharedWorkspace().runningApplications()) {
        if (application.bundlePath == folder || application.bundlePath.startsWith(folder + QLatin1Char('/')))
            found.append(application);
    }
    return found;
}

QList<RunningApplication> running(const QString& folder, const QString& identifier)
{
    QList<RunningApplication> found;
    for (const RunningApplication& application : applicationsIn(folder)) {
        if (application.bundleIdentifier == identifier)
            found.append(application);
    }
    return found;
}

QStringList procList(qint64 pid, const char* file)
{
    QFile proc(QStringLiteral("/proc/%1/%2").arg(pid).arg(QLatin1String(file)));
    if (!proc.open(QIODevice::ReadOnly))
        return {};
    QStringList items = QString::fromLocal8Bit(proc.readAll()).split(QChar(0));
    if (!items.isEmpty() && items.last().isEmpty())
        items.removeLast();
    return items;
}

// Ends every program of the suite still running from `folder` (the daemon and the main application
// the agent started, the agent itself), so that no test sees another's.
void stopAll(const QString& folder)
{
    for (const RunningApplication& application : applicationsIn(folder))
        ::kill(static_cast<pid_t>(application.processIdentifier), SIGTERM);
    if (!QTest::qWaitFor([&] { return applicationsIn(folder).isEmpty(); }, 5000)) {
        for (const RunningApplication& application : applicationsIn(folder))
            ::kill(static_cast<pid_t>(application.processIdentifier), SIGKILL);
    }
}

// A main application or a daemon of this user that is not of the built suite: the agent would take it for
// its own.
QList<RunningApplication> foreignSuitePrograms()
{
    QList<RunningApplication> foreign;
    for (const RunningApplication& application : Workspace::sharedWorkspace().runningApplications()) {
        if ((application.bundleIdentifier == applicationId || application.bundleIdentifier == daemonId) &&
            application.bundlePath != BuiltSuite::bundle() &&
            !application.bundlePath.startsWith(BuiltSuite::bundle() + QLatin1Char('/')))
            foreign.append(application);
    }
    return foreign;
}

// The broadcasts this process hears.
class Broadcasts
{
public:
    Broadcasts()
    {
        for (const QString& name :
             {QStringLiteral("toggleVeltraneRunStatus"), QStringLiteral("veltraneOpenedFromMenu"),
              QStringLiteral("veltraneOpenedAboutFromMenu")}) {
            DistributedNotificationCenter::defaultCenter().addObserver(name, &m_context,
                                                                       [this, name](const QVariantMap& info) {
                                                                           m_heard.append({name, info});
                                                                       });
        }
    }
    [[nodiscard]] int count(const QString& name) const
    {
        return static_cast<int>(std::count_if(m_heard.cbegin(), m_heard.cend(),
                                              [&](const auto& heard) { return heard.first == name; }));
    }
    bool waitFor(const QString& name, int count)
    {
        return QTest::qWaitFor([&] { return this->count(name) >= count; }, 5000);
    }
    // The `count`th toggle has arrived and asked for `enabled`, its only user info.
    bool waitForToggle(int count, bool enabled)
    {
        const QString toggle = QStringLiteral("toggleVeltraneRunStatus");
        return waitFor(toggle, count) && this->count(toggle) == count &&
               last(toggle) == QVariantMap{{QStringLiteral("enabled"), enabled}};
    }
    [[nodiscard]] QVariantMap last(const QString& name) const
    {
        for (auto it = m_heard.crbegin(); it != m_heard.crend(); ++it) {
            if (it->first == name)
                return it->second;
        }
        return {};
    }

private:
    QObject m_context;
    QList<std::pair<QString, QVariantMap>> m_heard;
};

// Stands in for the main application, as far as the agent can tell: a running program with the main
// application's identifier, and an observer that stores the toggled state and announces it.
class ApplicationStandIn
{
public:
    explicit ApplicationStandIn(const Sandbox& sandbox) : m_sandbox(sandbox)
    {
        const QString bundle =
            FakeBundle::make(sandbox.rootPath(QStringLiteral("Elsewhere")), QStringLiteral("Veltrane.app"),
                             {applicationId, QStringLiteral("Veltrane"), QStringLiteral("Veltrane")});
        m_process.start(FakeBundle::executable(
                            bundle, {applicationId, QStringLiteral("Veltrane"), QStringLiteral("Veltrane")}),
                        {});
        DistributedNotificationCenter::defaultCenter().addObserver(
            QStringLiteral("toggleVeltraneRunStatus"), &m_context, [](const QVariantMap& info) {
                // Stored as the main application stores it: merged under the file's lock, then flushed,
                // so that a daemon publishing its key meanwhile loses nothing.
                auto& defaults = UserDefaults::standardUserDefaults();
                defaults.addSuiteNamed(QStringLiteral("com.orvando.Veltrane"));
                defaults.setBool(info.value(QStringLiteral("enabled")).toBool(), QStringLiteral("isRunning"));
                (void)defaults.synchronize();
                DistributedNotificationCenter::defaultCenter().postNotificationName(
                    QStringLiteral("updateVeltraneRunStatus"));
            });
    }
    ~ApplicationStandIn()
    {
        m_process.kill();
        m_process.waitForFinished(2000);
    }
    bool waitUntilSeen()
    {
        return m_process.waitForStarted() &&
               QTest::qWaitFor([&] { return !running(m_sandbox.root(), applicationId).isEmpty(); }, 5000);
    }

private:
    const Sandbox& m_sandbox;
    QObject m_context;
    QProcess m_process;
};

class Agent
{
public:
    explicit Agent(const Sandbox& sandbox, const QString& bundle = menuBarBundle(),
                   const QMap<QString, QString>& variables = {})
    {
        QProcessEnvironment environment = sandbox.environment();
        for (auto it = variables.cbegin(); it != variables.cend(); ++it) {
            if (it.value().isNull())
                environment.remove(it.key());
            else
                environment.insert(it.key(), it.value());
        }
        m_process.setProcessEnvironment(environment);
        m_process.setProcessChannelMode(QProcess::ForwardedChannels);
        m_process.start(BuiltSuite::executable(bundle), {});
        m_started = m_process.waitForStarted();
    }
    ~Agent()
    {
        m_process.kill();
        m_process.waitForFinished(2000);
    }
    [[nodiscard]] qint64 pid() const { return m_process.processId(); }
    [[nodiscard]] bool isRunning() const { return m_started && m_process.state() == QProcess::Running; }
    bool quit()
    {
        m_process.terminate();
        return m_process.waitForFinished(5000) && m_process.exitStatus() == QProcess::NormalExit &&
               m_process.exitCode() == 0;
    }
    // The agent's item as the watcher has it; empty until it has registered.
    [[nodiscard]] QString registeredItem() const
    {
        return FakeStatusNotifierHost::registeredItemsOf(pid()).value(0);
    }
    bool waitForItem(int timeoutMs = 10000)
    {
        return QTest::qWaitFor([&] { return !registeredItem().isEmpty(); }, timeoutMs);
    }
    [[nodiscard]] FakeStatusNotifierHost::Item item() const
    {
        return FakeStatusNotifierHost::item(registeredItem());
    }
    [[nodiscard]] QString runStateTitle() const
    {
        const QStringList labels = FakeStatusNotifierHost::labels(item());
        return labels.value(0);
    }
    bool waitForTitle(const QString& title)
    {
        return QTest::qWaitFor([&] { return runStateTitle() == title; }, 5000);
    }
    bool click(const QString& label) { return FakeStatusNotifierHost::click(item(), label); }

private:
    QProcess m_process;
    bool m_started = false;
};

class Daemon
{
public:
    explicit Daemon(const Sandbox& sandbox)
    {
        m_process.setProcessEnvironment(sandbox.environment());
        m_process.start(BuiltSuite::executable(BuiltSuite::daemonBundle()), {});
    }
    ~Daemon()
    {
        m_process.kill();
        m_process.waitForFinished(2000);
    }
    bool waitUntilSeen()
    {
        return m_process.waitForStarted() &&
               QTest::qWaitFor([&] { return !running(BuiltSuite::bundle(), daemonId).isEmpty(); }, 5000);
    }
    // Once it has published the installed browsers, it takes quit requests in order.
    bool waitUntilReady(const Sandbox& sandbox)
    {
        return waitUntilSeen() &&
               QTest::qWaitFor(
                   [&] { return sandbox.readDefaults().contains(QStringLiteral("enabledBrowsersArray")); },
                   10000);
    }
    [[nodiscard]] qint64 pid() const { return m_process.processId(); }
    // Ended by the polite quit request, in order.
    bool waitForQuit()
    {
        // It may have ended already, while the test waited for something else.
        (void)m_process.waitForFinished(5000);
        return m_process.state() == QProcess::NotRunning && m_process.exitStatus() == QProcess::NormalExit &&
               m_process.exitCode() == 0;
    }

private:
    QProcess m_process;
};

} // namespace

class MenuBarAppDelegateTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        const QByteArray test = QTest::currentTestFunction();
        if (test == "endsWithAMessageWithoutADisplay" || test == "imagesAreMasksAtEveryPanelSize")
            return;
        QList<RunningApplication> foreign;
        if (!QTest::qWaitFor([&] { return (foreign = foreignSuitePrograms()).isEmpty(); }, 10000))
            QSKIP(qPrintable(QStringLiteral("another copy of the suite runs for this user (%1): the agent "
                                            "would take it for its own")
                                 .arg(foreign.first().bundlePath)));
    }
    void cleanup() { stopAll(BuiltSuite::bundle()); }

    void startsPausedAndStopsARunningDaemon()
    {
        Sandbox sandbox;
        FakeStatusNotifierWatcherProcess watcher(FakeStatusNotifierWatcherProcess::Host::Registered);
        QVERIFY(watcher.isReady());
        Daemon daemon(sandbox);
        QVERIFY(daemon.waitUntilReady(sandbox));

        Agent agent(sandbox);
        QVERIFY(agent.waitForItem());
        QVERIFY(daemon.waitForQuit());
        const FakeStatusNotifierHost::Item item = agent.item();
        QCOMPARE(item.status, QStringLiteral("Active"));
        QCOMPARE(FakeStatusNotifierHost::labels(item),
                 (QStringList{startTitle, QStringLiteral("-"), prefs, about}));
        QVERIFY(!item.icon.isEmpty());
        QVERIFY(running(BuiltSuite::bundle(), daemonId).isEmpty());
        QCOMPARE(FakeStatusNotifierHost::itemConnectionsOf(agent.pid()).size(), 1);
        QVERIFY(agent.quit());
    }

    void startAndPauseGoThroughTheApplication()
    {
        Sandbox sandbox;
        Broadcasts broadcasts;
        FakeStatusNotifierWatcherProcess watcher(FakeStatusNotifierWatcherProcess::Host::Registered);
        QVERIFY(watcher.isReady());
        ApplicationStandIn application(sandbox);
        QVERIFY(application.waitUntilSeen());
        Agent agent(sandbox, menuBarBundle(),
                    {{QStringLiteral("XDG_ACTIVATION_TOKEN"), QStringLiteral("token")}});
        QVERIFY(agent.waitForItem());
        QCOMPARE(agent.runStateTitle(), startTitle);
        const auto pausedIcon = agent.item().icon;

        QVERIFY(agent.click(startTitle));
        QVERIFY(broadcasts.waitForToggle(1, true));
        QVERIFY(agent.waitForTitle(pauseTitle));
        QVERIFY(agent.item().icon != pausedIcon);
        // The daemon of the agent's own bundle, started in the background, and it stays.
        QTest::qWait(settleMs);
        const auto daemons = running(BuiltSuite::bundle(), daemonId);
        QCOMPARE(daemons.size(), 1);
        QCOMPARE(daemons.first().bundlePath, BuiltSuite::daemonBundle());
        QVERIFY(!procList(daemons.first().processIdentifier, "environ")
                     .contains(QStringLiteral("XDG_ACTIVATION_TOKEN=token")));

        QVERIFY(agent.click(pauseTitle));
        QVERIFY(broadcasts.waitForToggle(2, false));
        QVERIFY(agent.waitForTitle(startTitle));
        QCOMPARE(agent.item().icon, pausedIcon);
        QVERIFY(QTest::qWaitFor([] { return running(BuiltSuite::bundle(), daemonId).isEmpty(); }, 5000));

        // A daemon that already runs is kept: no second one.
        Daemon daemon(sandbox);
        QVERIFY(daemon.waitUntilSeen());
        QVERIFY(agent.click(startTitle));
        QVERIFY(agent.waitForTitle(pauseTitle));
        QTest::qWait(settleMs);
        const auto afterwards = running(BuiltSuite::bundle(), daemonId);
        QCOMPARE(afterwards.size(), 1);
        QCOMPARE(afterwards.first().processIdentifier, daemon.pid());
        QVERIFY(agent.isRunning());
    }

    void startWithoutTheApplicationStoresNothing()
    {
        Sandbox sandbox;
        Broadcasts broadcasts;
        FakeStatusNotifierWatcherProcess watcher(FakeStatusNotifierWatcherProcess::Host::Registered);
        QVERIFY(watcher.isReady());
        Agent agent(sandbox);
        QVERIFY(agent.waitForItem());

        // Nobody stores the new state, so the agent's refresh sees cleaning still off.
        QVERIFY(agent.click(startTitle));
        QVERIFY(broadcasts.waitForToggle(1, true));
        QTest::qWait(settleMs);
        QCOMPARE(agent.runStateTitle(), startTitle);
        QVERIFY(running(BuiltSuite::bundle(), daemonId).isEmpty());
        QVERIFY(!sandbox.readDefaults().contains(QStringLiteral("isRunning")));
    }

    void preferencesAndAboutStartTheApplicationOnlyWhenItIsNotRunning()
    {
        Sandbox sandbox;
        // A main application that starts keeps the agent it finds running.
        QVERIFY(sandbox.writeDefaults({{QStringLiteral("showInMenuBar"), true}}));
        Broadcasts broadcasts;
        FakeStatusNotifierWatcherProcess watcher(FakeStatusNotifierWatcherProcess::Host::Registered);
        QVERIFY(watcher.isReady());
        Agent agent(sandbox, menuBarBundle(),
                    {{QStringLiteral("XDG_ACTIVATION_TOKEN"), QStringLiteral("token")}});
        QVERIFY(agent.waitForItem());

        QVERIFY(agent.click(prefs));
        QVERIFY(broadcasts.waitFor(QStringLiteral("veltraneOpenedFromMenu"), 1));
        QVERIFY(
            QTest::qWaitFor([] { return !running(BuiltSuite::bundle(), applicationId).isEmpty(); }, 5000));
        const RunningApplication application = running(BuiltSuite::bundle(), applicationId).first();
        QCOMPARE(application.bundlePath, BuiltSuite::bundle());
        QCOMPARE(procList(application.processIdentifier, "cmdline").mid(1),
                 QStringList{QStringLiteral("openedFromMenu")});
        // Started in the foreground: the desktop's activation token is passed on.
        QVERIFY(procList(application.processIdentifier, "environ")
                    .contains(QStringLiteral("XDG_ACTIVATION_TOKEN=token")));

        // While it runs, only the broadcasts.
        QVERIFY(agent.click(prefs));
        QVERIFY(broadcasts.waitFor(QStringLiteral("veltraneOpenedFromMenu"), 2));
        QVERIFY(agent.click(about));
        QVERIFY(broadcasts.waitFor(QStringLiteral("veltraneOpenedAboutFromMenu"), 1));
        QTest::qWait(settleMs);
        QCOMPARE(running(BuiltSuite::bundle(), applicationId).size(), 1);
        QVERIFY(broadcasts.last(QStringLiteral("veltraneOpenedFromMenu")).isEmpty());

        ::kill(static_cast<pid_t>(application.processIdentifier), SIGTERM);
        QVERIFY(QTest::qWaitFor([] { return running(BuiltSuite::bundle(), applicationId).isEmpty(); }, 5000));
        QVERIFY(agent.click(about));
        QVERIFY(broadcasts.waitFor(QStringLiteral("veltraneOpenedAboutFromMenu"), 2));
        QVERIFY(
            QTest::qWaitFor([] { return !running(BuiltSuite::bundle(), applicationId).isEmpty(); }, 5000));
        const RunningApplication second = running(BuiltSuite::bundle(), applicationId).first();
        QCOMPARE(procList(second.processIdentifier, "cmdline").mid(1),
                 QStringList{QStringLiteral("openedAboutFromMenu")});
        QCOMPARE(broadcasts.count(QStringLiteral("veltraneOpenedFromMenu")), 2);
        QVERIFY(agent.isRunning());
    }

    void manyRefreshesLeaveOneItem()
    {
        Sandbox sandbox;
        FakeStatusNotifierWatcherProcess watcher(FakeStatusNotifierWatcherProcess::Host::Registered);
        QVERIFY(watcher.isReady());
        Agent agent(sandbox);
        QVERIFY(agent.waitForItem());

        // Broadcasts that carry what the agent does not expect change nothing but the refresh.
        const QList<QVariantMap> userInfos{{},
                                           {{QStringLiteral("enabled"), QStringLiteral("yes")}},
                                           {{QStringLiteral("isRunning"), QVariantList{1, 2}}},
                                           {{QStringLiteral("enabled"), false}}};
        QVERIFY(sandbox.writeDefaults({{QStringLiteral("isRunning"), true}}));
        for (int round = 0; round < 3; ++round) {
            for (const QVariantMap& userInfo : userInfos)
                DistributedNotificationCenter::defaultCenter().postNotificationName(
                    QStringLiteral("updateVeltraneRunStatus"), userInfo);
        }
        QVERIFY(agent.waitForTitle(pauseTitle));
        QTest::qWait(settleMs);
        QCOMPARE(FakeStatusNotifierHost::itemConnectionsOf(agent.pid()).size(), 1);
        QCOMPARE(FakeStatusNotifierHost::registeredItemsOf(agent.pid()).size(), 1);
        QVERIFY(agent.isRunning());
    }

    void waitsForATrayAndFollowsAPanelThatRestarts()
    {
        Sandbox sandbox;
        Agent agent(sandbox);
        QTest::qWait(settleMs);
        QVERIFY(agent.isRunning());
        QVERIFY(FakeStatusNotifierHost::itemConnectionsOf(agent.pid()).isEmpty());

        // A watcher without a host is no tray yet.
        auto watcher =
            std::make_unique<FakeStatusNotifierWatcherProcess>(FakeStatusNotifierWatcherProcess::Host::None);
        QVERIFY(watcher->isReady());
        QTest::qWait(settleMs);
        QVERIFY(FakeStatusNotifierHost::itemConnectionsOf(agent.pid()).isEmpty());
        QVERIFY(FakeStatusNotifierHost::registerAsHost());
        QVERIFY(agent.waitForItem());
        QCOMPARE(agent.runStateTitle(), startTitle);

        // The panel goes away and a new one comes.
        QVERIFY(watcher->stop());
        watcher = std::make_unique<FakeStatusNotifierWatcherProcess>(
            FakeStatusNotifierWatcherProcess::Host::Registered);
        QVERIFY(watcher->isReady());
        QVERIFY(agent.waitForItem());
        QTest::qWait(settleMs);
        QCOMPARE(FakeStatusNotifierHost::registeredItems().size(), 1);
        QCOMPARE(FakeStatusNotifierHost::itemConnectionsOf(agent.pid()).size(), 1);
        QCOMPARE(agent.runStateTitle(), startTitle);
        QVERIFY(agent.quit());
    }

    void docksIntoAnX11TrayWithoutStatusNotifiers()
    {
        Sandbox sandbox;
        Agent agent(sandbox);
        QTest::qWait(settleMs);
        QVERIFY(agent.isRunning());

        QProcess tray;
        tray.start(QStringLiteral(VELTRANE_FAKE_XEMBED_TRAY), {});
        QVERIFY(tray.waitForStarted());
        QByteArray said;
        QVERIFY(QTest::qWaitFor(
            [&] {
                said += tray.readAllStandardOutput();
                return said.contains("docked");
            },
            10000));
        QVERIFY(said.startsWith("ready\n"));
        QTest::qWait(settleMs);
        said += tray.readAllStandardOutput();
        QCOMPARE(said.count("docked"), 1);
        QVERIFY(FakeStatusNotifierHost::itemConnectionsOf(agent.pid()).isEmpty());
        QVERIFY(agent.isRunning());
        tray.terminate();
        QVERIFY(tray.waitForFinished(5000));
        QVERIFY(agent.quit());
    }

    void goesOnWithoutItsSiblingsOrABus()
    {
        Sandbox sandbox;
        Broadcasts broadcasts;
        // A copy of the agent's bundle with neither a daemon beside it nor a main application around it.
        const QString bundle =
            sandbox.rootPath(QStringLiteral("Suite.app/Contents/Resources/VeltraneMenuBar.app"));
        QVERIFY(QDir().mkpath(bundle + QStringLiteral("/Contents/MacOS")));
        QVERIFY(QDir().mkpath(bundle + QStringLiteral("/Contents/Resources")));
        for (const QString& file : {QStringLiteral("Info.plist"), QStringLiteral("Resources/menu.svg"),
                                    QStringLiteral("Resources/menu_running.svg")})
            QVERIFY(QFile::copy(menuBarBundle() + QStringLiteral("/Contents/") + file,
                                bundle + QStringLiteral("/Contents/") + file));
        QVERIFY(QFile::copy(BuiltSuite::executable(menuBarBundle()), BuiltSuite::executable(bundle)));
        FakeStatusNotifierWatcherProcess watcher(FakeStatusNotifierWatcherProcess::Host::Registered);
        QVERIFY(watcher.isReady());
        {
            Agent agent(sandbox, bundle);
            QVERIFY(agent.waitForItem());
            QVERIFY(agent.click(startTitle));
            QVERIFY(agent.click(prefs));
            QVERIFY(agent.click(about));
            QVERIFY(broadcasts.waitFor(QStringLiteral("toggleVeltraneRunStatus"), 1));
            QVERIFY(broadcasts.waitFor(QStringLiteral("veltraneOpenedFromMenu"), 1));
            QVERIFY(broadcasts.waitFor(QStringLiteral("veltraneOpenedAboutFromMenu"), 1));
            QVERIFY(agent.isRunning());
            QVERIFY(FakeBundle::runningApplicationsUnder(sandbox.root()).size() == 1);
            QVERIFY(agent.quit());
        }
        // No session bus: no tray and no broadcasts, but the agent runs until it is asked to quit.
        Agent withoutBus(
            sandbox, menuBarBundle(),
            {{QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), QStringLiteral("unix:path=/nonexistent/bus")}});
        QTest::qWait(settleMs);
        QVERIFY(withoutBus.isRunning());
        QVERIFY(withoutBus.quit());
    }

    void endsWithAMessageWithoutADisplay()
    {
        Sandbox sandbox;
        QProcess agent;
        QProcessEnvironment environment = sandbox.environment();
        environment.remove(QStringLiteral("DISPLAY"));
        environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
        environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
        agent.setProcessEnvironment(environment);
        agent.start(BuiltSuite::executable(menuBarBundle()), {});
        QVERIFY(agent.waitForFinished(10000));
        QCOMPARE(agent.exitStatus(), QProcess::NormalExit);
        QCOMPARE(agent.exitCode(), 1);
        QVERIFY2(agent.readAllStandardError().contains("no display server answers"), "message");

        // A display that cannot be reached.
        environment.insert(QStringLiteral("DISPLAY"), QStringLiteral(":4242"));
        agent.setProcessEnvironment(environment);
        agent.start(BuiltSuite::executable(menuBarBundle()), {});
        QVERIFY(agent.waitForFinished(10000));
        QCOMPARE(agent.exitStatus(), QProcess::NormalExit);
        QCOMPARE(agent.exitCode(), 1);
        QVERIFY(agent.readAllStandardError().contains("no display server answers"));

        // Qt takes the next platform listed when the first has no display.
        Agent fallingBack(sandbox, menuBarBundle(),
                          {{QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("wayland;xcb")},
                           {QStringLiteral("WAYLAND_DISPLAY"), QString()}});
        QTest::qWait(settleMs);
        QVERIFY(fallingBack.isRunning());
        QVERIFY(fallingBack.quit());
    }

    void imagesAreMasksAtEveryPanelSize()
    {
        const QString resources = menuBarBundle() + QStringLiteral("/Contents/Resources");
        for (const QLatin1StringView name : {MenuBarImages::paused, MenuBarImages::running}) {
            const QIcon icon = MenuBarImages::image(resources, name);
            QVERIFY(!icon.isNull());
            QVERIFY(icon.isMask());
            for (const int size : MenuBarImages::panelSizes()) {
                const QImage image = icon.pixmap(QSize(size, size), 1.0).toImage();
                QCOMPARE(image.size(), QSize(size, size));
                // Drawn, not blank, and not filling the square either.
                int opaque = 0;
                for (int y = 0; y < size; ++y) {
                    for (int x = 0; x < size; ++x)
                        opaque += qAlpha(image.pixel(x, y)) > 200 ? 1 : 0;
                }
                QVERIFY2(opaque > size * size / 8 && opaque < size * size * 3 / 4,
                         qPrintable(QString::number(opaque)));
            }
        }
        const QIcon paused = MenuBarImages::image(resources, MenuBarImages::paused);
        const QIcon on = MenuBarImages::image(resources, MenuBarImages::running);
        QVERIFY(paused.pixmap(22).toImage() != on.pixmap(22).toImage());
        // A missing or broken image is no image, not a crash.
        QVERIFY(MenuBarImages::image(resources, QLatin1StringView("missing")).isNull());
        QTemporaryDir folder;
        QFile broken(folder.filePath(QStringLiteral("menu.svg")));
        QVERIFY(broken.open(QIODevice::WriteOnly) && broken.write("<svg><path d=") > 0);
        broken.close();
        QVERIFY(MenuBarImages::image(folder.path(), MenuBarImages::paused).isNull());
    }
};

QTEST_MAIN(MenuBarAppDelegateTest)
#include "MenuBarAppDelegateTest.moc"
