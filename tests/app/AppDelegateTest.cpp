#include "app/AppDelegate.h"
#include "DesktopEntry.h"
#include "FakeBundle.h"
#include "Sandbox.h"
#include "SuiteBundle.h"
#include "XDisplay.h"
#include "app/Popover.h"
#include "app/PrefsController.h"
#include "app/StartAtLoginController.h"
#include "common/ProcessControl.h"
#include "platform/DistributedNotificationCenter.h"
#include "platform/UserDefaults.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QMainWindow>
#include <QMenu>
#include <QProcess>
#include <QTest>
#include <QTimer>

#include <csignal>

namespace {

const QString daemonId = QStringLiteral("com.orvando.VeltraneDaemon");
const QString prefsTitle = QStringLiteral("Veltrane Preferences");
const QString aboutTitle = QStringLiteral("About Veltrane");
const QString changeThenQuit = QStringLiteral("--change-then-quit");

// Autostart folders inside the sandbox, for this process and the programs it starts.
class Session
{
public:
    explicit Session(const Sandbox& sandbox) : m_sandbox(sandbox)
    {
        qputenv("XDG_CONFIG_HOME", sandbox.homePath(QStringLiteral(".config")).toLocal8Bit());
        qputenv("XDG_CONFIG_DIRS", sandbox.rootPath(QStringLiteral("etc/xdg")).toLocal8Bit());
    }
    ~Session()
    {
        qunsetenv("XDG_CONFIG_HOME");
        qunsetenv("XDG_CONFIG_DIRS");
    }
    [[nodiscard]] QProcessEnvironment environment() const
    {
        QProcessEnvironment environment = m_sandbox.environment();
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), m_sandbox.homePath(QStringLiteral(".config")));
        environment.insert(QStringLiteral("XDG_CONFIG_DIRS"), m_sandbox.rootPath(QStringLiteral("etc/xdg")));
        return environment;
    }
    [[nodiscard]] QString autostartEntry() const
    {
        return m_sandbox.homePath(QStringLiteral(".config/autostart/com.orvando.VeltraneHelper.desktop"));
    }

private:
    const Sandbox& m_sandbox;
};

// The built main application, started as the desktop or the menu-bar agent would start it.
class Application
{
public:
    Application(const QProcessEnvironment& environment, const QStringList& arguments)
    {
        m_process.setProcessEnvironment(environment);
        m_process.setProcessChannelMode(QProcess::ForwardedChannels);
        m_process.start(BuiltSuite::executable(BuiltSuite::bundle()), arguments);
    }
    ~Application()
    {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
    QProcess& process() { return m_process; }
    bool quit()
    {
        m_process.terminate();
        return m_process.waitForFinished(10000) && m_process.exitStatus() == QProcess::NormalExit &&
               m_process.exitCode() == 0;
    }

private:
    QProcess m_process;
};

QProcessEnvironment onDisplay(QProcessEnvironment environment, const XDisplay& display)
{
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    environment.insert(QStringLiteral("DISPLAY"), display.name());
    return environment;
}

bool daemonRuns(bool wanted)
{
    return QTest::qWaitFor([&] { return ProcessControl::isRunning(daemonId) == wanted; }, 10000);
}

void stopDaemon()
{
    ProcessControl::stop(daemonId);
    (void)daemonRuns(false);
}

int runningInstances()
{
    int count = 0;
    for (const RunningApplication& application : Workspace::sharedWorkspace().runningApplications())
        count += application.bundlePath == BuiltSuite::bundle() ? 1 : 0;
    return count;
}

// FAKE at the desktop boundary: no mail program runs here; the desktop's handler of mailto links
// records what it is asked to open.
class MailHandler : public QObject
{
    Q_OBJECT

public:
    QList<QUrl> opened;

public Q_SLOTS:
    void open(const QUrl& url) { opened.append(url); }
};

// The child side of quitRightAfterAChangeKeepsIt: ticks "remove everything", quits at once.
int changeSettingThenQuit(int argc, char* argv[])
{
    QApplication application(argc, argv);
    AppDelegate::initialize(QString::fromLocal8Bit(argv[2]));
    AppDelegate delegate;
    delegate.awakeFromNib();
    QTimer::singleShot(0, &delegate, [&delegate] {
        QTest::mouseClick(delegate.prefsController()->removeAllButton(), Qt::LeftButton);
        QAction* quit = delegate.applicationMenu()->findChild<QAction*>(QStringLiteral("quitAction"));
        if (quit && quit->shortcut() == QKeySequence(Qt::CTRL | Qt::Key_Q))
            quit->trigger();
    });
    return QApplication::exec();
}

} // namespace

class AppDelegateTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void theWindowDrivesTheSuite()
    {
        Sandbox sandbox;
        Session session(sandbox);
        const QString suite =
            SuiteBundle::make(sandbox.rootPath(QStringLiteral("Suite")), SuiteBundle::Daemon::Built);
        QVERIFY(!suite.isEmpty());
        const auto agentRuns = [&] {
            const auto running = FakeBundle::runningApplicationsUnder(suite);
            return std::any_of(running.cbegin(), running.cend(), [&](const RunningApplication& application) {
                return application.bundlePath == SuiteBundle::menuBar(suite);
            });
        };
        AppDelegate::initialize(suite);
        AppDelegate delegate;
        delegate.awakeFromNib();
        delegate.applicationDidFinishLaunching();
        QPointer<PrefsController> prefs = delegate.prefsController();
        QVERIFY(prefs && prefs->prefsView()->isVisible());
        QVERIFY(!prefs->prefsEnabledButton()->isChecked());

        // The switch stores isRunning at once; the daemon of the bundle follows it.
        QTest::mouseClick(prefs->prefsEnabledButton(), Qt::LeftButton);
        QCOMPARE(sandbox.readDefaults().value(QStringLiteral("isRunning")), QVariant(true));
        QVERIFY(daemonRuns(true));
        QTest::mouseClick(prefs->prefsEnabledButton(), Qt::LeftButton);
        QCOMPARE(sandbox.readDefaults().value(QStringLiteral("isRunning")), QVariant(false));
        QVERIFY(daemonRuns(false));

        // The startup popover opens below its button; a click on the button closes it.
        QAbstractButton* startupButton = prefs->prefsPopoverButton();
        QTest::mouseClick(startupButton, Qt::LeftButton);
        Popover* popover = prefs->prefsPopover();
        QVERIFY(QTest::qWaitForWindowExposed(popover));
        QVERIFY(popover->geometry().top() >=
                startupButton->mapToGlobal(QPoint(0, startupButton->height())).y());
        QTest::mouseClick(startupButton, Qt::LeftButton);
        QVERIFY(QTest::qWaitFor([&] { return !popover->isVisible(); }));
        QTest::qWait(100);
        QVERIFY(!popover->isVisible());
        QTest::mouseClick(startupButton, Qt::LeftButton);
        QVERIFY(QTest::qWaitForWindowExposed(popover));

        // showInMenuBar starts and stops the agent.
        auto* showInMenuBar = popover->findChild<QAbstractButton*>(QStringLiteral("showInMenuBarButton"));
        QTest::mouseClick(showInMenuBar, Qt::LeftButton);
        QVERIFY(QTest::qWaitFor(agentRuns, 5000));
        QTest::mouseClick(showInMenuBar, Qt::LeftButton);
        QVERIFY(QTest::qWaitFor([&] { return !agentRuns(); }, 5000));

        // openAtLogin writes the autostart entry; its Exec starts the helper, which opens the application.
        auto* openAtLogin = popover->findChild<QAbstractButton*>(QStringLiteral("openAtLoginButton"));
        QTest::mouseClick(openAtLogin, Qt::LeftButton);
        QVERIFY(delegate.loginController()->enabled());
        const QStringList exec = DesktopEntry::execArguments(
            DesktopEntry::read(session.autostartEntry()).value(QStringLiteral("Exec")));
        QCOMPARE(exec,
                 QStringList{SuiteBundle::helper(suite) + QStringLiteral("/Contents/MacOS/VeltraneHelper")});
        const QString reports = sandbox.rootPath(QStringLiteral("reports"));
        QVERIFY(QDir().mkpath(reports));
        QProcessEnvironment environment = session.environment();
        environment.insert(QStringLiteral("FAKE_APP_REPORT_DIR"), reports);
        QProcess helper;
        helper.setProcessEnvironment(environment);
        helper.start(exec.first(), exec.mid(1));
        QVERIFY(helper.waitForFinished(20000));
        QCOMPARE(helper.exitCode(), 0);
        QVERIFY(QTest::qWaitFor([&] { return FakeBundle::reports(reports).size() == 1; }, 5000));
        for (const RunningApplication& application : FakeBundle::runningApplicationsUnder(sandbox.root()))
            ::kill(static_cast<pid_t>(application.processIdentifier), SIGKILL);
        QTest::mouseClick(openAtLogin, Qt::LeftButton);
        QVERIFY(!QFileInfo::exists(session.autostartEntry()));
        QTest::keyClick(popover, Qt::Key_Escape);
        QVERIFY(!popover->isVisible());

        // Closing the window disposes of its controller after the event; the next one starts afresh
        // from the stored values.
        QVERIFY(prefs->prefsView()->close());
        QVERIFY(QTest::qWaitFor([&] { return prefs.isNull(); }));
        QVERIFY(!delegate.prefsController());
        UserDefaults::standardUserDefaults().setBool(true, QStringLiteral("removeAll"));
        delegate.showPrefs();
        QVERIFY(delegate.prefsController() && delegate.prefsController()->removeAllButton()->isChecked());
        QVERIFY(!delegate.prefsController()->prefsEnabledButton()->isChecked());

        // Send Feedback opens a new message through the desktop.
        MailHandler mail;
        QDesktopServices::setUrlHandler(QStringLiteral("mailto"), &mail, "open");
        delegate.applicationMenu()->findChild<QAction*>(QStringLiteral("sendFeedbackAction"))->trigger();
        QDesktopServices::unsetUrlHandler(QStringLiteral("mailto"));
        QCOMPARE(mail.opened.size(), 1);
        QCOMPARE(mail.opened.first().toString(QUrl::FullyEncoded),
                 QStringLiteral("mailto:feedback@orvando.com?&subject=Veltrane%20feedback"));
    }

    void aSettingsFileThatCannotBeReadIsNeverOverwritten()
    {
        Sandbox sandbox;
        Session session(sandbox);
        const QString suite =
            SuiteBundle::make(sandbox.rootPath(QStringLiteral("Suite")), SuiteBundle::Daemon::Fake);
        const QString file = QStringLiteral("Library/Preferences/com.orvando.Veltrane.plist");
        const QByteArray corrupt =
            "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>isRunning</key><true/>";
        QVERIFY(sandbox.writeFile(file, corrupt));
        AppDelegate::initialize(suite);
        {
            AppDelegate delegate;
            delegate.awakeFromNib();
            delegate.applicationDidFinishLaunching();
            QVERIFY(!delegate.prefsController()->prefsEnabledButton()->isChecked());
            QTest::qWait(200);
        }
        QFile stored(sandbox.homePath(file));
        QVERIFY(stored.open(QIODevice::ReadOnly));
        QCOMPARE(stored.readAll(), corrupt);
        stored.close();

        // A folder in the file's place: the window opens all the same and the folder stays.
        QVERIFY(stored.remove());
        QVERIFY(QDir().mkpath(sandbox.homePath(file)));
        {
            AppDelegate delegate;
            delegate.awakeFromNib();
            delegate.applicationDidFinishLaunching();
            QVERIFY(delegate.prefsController()->prefsView()->isVisible());
            QTest::qWait(200);
        }
        QVERIFY(QFileInfo(sandbox.homePath(file)).isDir());
    }

    void quitRightAfterAChangeKeepsIt()
    {
        Sandbox sandbox;
        Session session(sandbox);
        const QString suite =
            SuiteBundle::make(sandbox.rootPath(QStringLiteral("Suite")), SuiteBundle::Daemon::Fake);
        QProcess child;
        child.setProcessEnvironment(session.environment());
        child.setProcessChannelMode(QProcess::ForwardedChannels);
        child.start(QCoreApplication::applicationFilePath(), {changeThenQuit, suite});
        QVERIFY(child.waitForFinished(20000));
        QCOMPARE(child.exitCode(), 0);
        QCOMPARE(sandbox.readDefaults().value(QStringLiteral("removeAll")), QVariant(true));
    }

    void broadcastsSetTheRunStateAndQuittingStopsNothing()
    {
        Sandbox sandbox;
        Session session(sandbox);
        QObject observer;
        int updates = 0;
        auto& center = DistributedNotificationCenter::defaultCenter();
        center.addObserver(QStringLiteral("updateVeltraneRunStatus"), &observer,
                           [&](const QVariantMap&) { ++updates; });
        const auto toggle = [&](const QVariantMap& userInfo) {
            center.postNotificationName(QStringLiteral("toggleVeltraneRunStatus"), userInfo);
        };
        const auto stored = [&] { return sandbox.readDefaults().value(QStringLiteral("isRunning")); };

        Application application(session.environment(), {});
        // The application listens once it has started; until then a broadcast is lost.
        QVERIFY(QTest::qWaitFor(
            [&] {
                toggle({{QStringLiteral("enabled"), true}});
                return QTest::qWaitFor([&] { return stored() == QVariant(true); }, 300);
            },
            20000));
        QVERIFY(daemonRuns(true));
        QVERIFY(QTest::qWaitFor([&] { return updates > 0; }, 5000));

        int before = updates;
        toggle({{QStringLiteral("enabled"), false}});
        QVERIFY(QTest::qWaitFor([&] { return stored() == QVariant(false); }, 5000));
        QVERIFY(daemonRuns(false));
        QVERIFY(QTest::qWaitFor([&] { return updates > before; }, 5000));

        toggle({{QStringLiteral("enabled"), true}});
        QVERIFY(daemonRuns(true));
        before = updates;
        // No user info, or an "enabled" that is no boolean, switches cleaning off.
        toggle({});
        QVERIFY(QTest::qWaitFor([&] { return stored() == QVariant(false); }, 5000));
        QVERIFY(daemonRuns(false));
        QVERIFY(QTest::qWaitFor([&] { return updates > before; }, 5000));
        toggle({{QStringLiteral("enabled"), true}});
        QVERIFY(daemonRuns(true));
        toggle({{QStringLiteral("enabled"), QStringLiteral("yes")}});
        QVERIFY(daemonRuns(false));
        QCOMPARE(stored(), QVariant(false));

        // Quitting the application leaves the daemon running.
        toggle({{QStringLiteral("enabled"), true}});
        QVERIFY(daemonRuns(true));
        QVERIFY(application.quit());
        QTest::qWait(500);
        QVERIFY(ProcessControl::isRunning(daemonId));
        stopDaemon();
    }

    void launchArgumentsChooseTheWindow_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QString>("notShown");
        QTest::newRow("none") << QStringList() << prefsTitle << aboutTitle;
        QTest::newRow("openedFromMenu")
            << QStringList{QStringLiteral("openedFromMenu")} << prefsTitle << aboutTitle;
        QTest::newRow("openedAboutFromMenu")
            << QStringList{QStringLiteral("openedAboutFromMenu")} << aboutTitle << prefsTitle;
        QTest::newRow("both, preferences first")
            << QStringList{QStringLiteral("openedFromMenu"), QStringLiteral("openedAboutFromMenu")}
            << prefsTitle << aboutTitle;
        QTest::newRow("both, About first")
            << QStringList{QStringLiteral("openedAboutFromMenu"), QStringLiteral("openedFromMenu")}
            << aboutTitle << prefsTitle;
    }

    void launchArgumentsChooseTheWindow()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, shown);
        QFETCH(QString, notShown);
        XDisplay display;
        if (!display.isValid())
            QSKIP("No X server (Xvfb) can be started here");
        Sandbox sandbox;
        Session session(sandbox);
        Application application(onDisplay(session.environment(), display), arguments);
        QVERIFY(QTest::qWaitFor([&] { return display.shownWindows().contains(shown); }, 20000));
        QTest::qWait(500);
        QCOMPARE(display.shownWindows(), QStringList{shown});
        QVERIFY(!display.shownWindows().contains(notShown));
        QVERIFY(application.quit());
    }

    void aSecondStartLeavesOneInstanceWithItsWindow()
    {
        XDisplay display;
        if (!display.isValid())
            QSKIP("No X server (Xvfb) can be started here");
        Sandbox sandbox;
        Session session(sandbox);
        const QProcessEnvironment environment = onDisplay(session.environment(), display);
        // Two starts at once: one of them ends, the other shows one window.
        Application first(environment, {});
        Application racing(environment, {});
        QVERIFY(QTest::qWaitFor(
            [&] {
                return first.process().state() == QProcess::NotRunning ||
                       racing.process().state() == QProcess::NotRunning;
            },
            20000));
        Application& survivor = first.process().state() == QProcess::Running ? first : racing;
        QVERIFY(QTest::qWaitFor([&] { return display.shownWindows() == QStringList{prefsTitle}; }, 20000));
        QCOMPARE(runningInstances(), 1);

        // Closing the window leaves the application running; the next start brings a window back.
        QVERIFY(display.close(prefsTitle));
        QVERIFY(QTest::qWaitFor([&] { return display.shownWindows().isEmpty(); }, 10000));
        QVERIFY(survivor.process().state() == QProcess::Running);
        Application second(environment, {});
        QVERIFY(second.process().waitForFinished(20000));
        QCOMPARE(second.process().exitCode(), 0);
        QVERIFY(QTest::qWaitFor([&] { return display.shownWindows() == QStringList{prefsTitle}; }, 10000));
        QCOMPARE(runningInstances(), 1);
        QVERIFY(survivor.quit());
    }

    void runsWithoutABusAndRefusesWithoutADisplay()
    {
        Sandbox sandbox;
        Session session(sandbox);
        QProcessEnvironment noDisplay = session.environment();
        noDisplay.remove(QStringLiteral("QT_QPA_PLATFORM"));
        noDisplay.remove(QStringLiteral("WAYLAND_DISPLAY"));
        noDisplay.insert(QStringLiteral("DISPLAY"), QStringLiteral(":9999"));
        const auto run = [&](const QProcessEnvironment& environment) {
            QProcess process;
            process.setProcessEnvironment(environment);
            process.start(BuiltSuite::executable(BuiltSuite::bundle()), {});
            const bool finished = process.waitForFinished(10000);
            return std::tuple(finished && process.exitStatus() == QProcess::NormalExit, process.exitCode(),
                              process.readAllStandardError());
        };
        const auto [ended, code, message] = run(noDisplay);
        QVERIFY(ended);
        QCOMPARE(code, 1);
        QVERIFY2(message.contains("Veltrane cannot open its window") && message.contains("desktop session"),
                 message.constData());

        // Without a session bus it runs on its own, and quits on request.
        QProcessEnvironment noBus = session.environment();
        noBus.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"),
                     QStringLiteral("unix:path=/nonexistent/bus"));
        Application alone(noBus, {});
        QVERIFY(alone.process().waitForStarted());
        QTest::qWait(1500);
        QCOMPARE(alone.process().state(), QProcess::Running);
        QVERIFY(alone.quit());
    }
};

int main(int argc, char* argv[])
{
    if (argc == 3 && argv[1] == changeThenQuit)
        return changeSettingThenQuit(argc, argv);
    QApplication application(argc, argv);
    AppDelegateTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "AppDelegateTest.moc"
