#include "FakeBundle.h"
#include "Sandbox.h"
#include "SuiteBundle.h"

#include <QFileInfo>
#include <QTest>

#include <csignal>

namespace {

enum Started : unsigned
{
    Nothing = 0,
    Watcher = 1,
    Agent = 2,
    MainApplication = 4,
};

// The suite's programs that run now, the main application's own included.
QList<RunningApplication> suitePrograms(const QString& suite)
{
    return FakeBundle::runningApplicationsUnder(QFileInfo(suite).absolutePath());
}

// Which of the suite's programs run now, from their bundles.
unsigned runningPrograms(const QString& suite)
{
    unsigned running = Nothing;
    const QList<RunningApplication> applications = suitePrograms(suite);
    for (const RunningApplication& application : applications) {
        if (application.bundlePath == SuiteBundle::daemon(suite))
            running |= Watcher;
        else if (application.bundlePath == SuiteBundle::menuBar(suite))
            running |= Agent;
        else if (application.bundlePath == suite)
            running |= MainApplication;
    }
    return running;
}

void stopAll(const QString& suite)
{
    for (const RunningApplication& application : suitePrograms(suite))
        ::kill(static_cast<pid_t>(application.processIdentifier), SIGKILL);
    (void)QTest::qWaitFor([&] { return runningPrograms(suite) == Nothing; }, 5000);
}

} // namespace

class HelperAppDelegateTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void startsWhatTheSettingsAskFor_data()
    {
        QTest::addColumn<QVariantMap>("settings");
        QTest::addColumn<unsigned>("alreadyRunning");
        QTest::addColumn<unsigned>("expected");
        const QString isRunning = QStringLiteral("isRunning");
        const QString showInMenuBar = QStringLiteral("showInMenuBar");
        const QString openAtLogin = QStringLiteral("openAtLogin");

        QTest::newRow("nothing stored: nothing starts") << QVariantMap() << +Nothing << +Nothing;
        QTest::newRow("cleaning on: the watcher, not the application")
            << QVariantMap{{isRunning, true}, {openAtLogin, true}} << +Nothing << +Watcher;
        QTest::newRow("cleaning on, watcher running: no second one, no application")
            << QVariantMap{{isRunning, true}, {openAtLogin, true}} << +Watcher << +Watcher;
        QTest::newRow("only open at login: only the application")
            << QVariantMap{{openAtLogin, true}} << +Nothing << +MainApplication;
        QTest::newRow("menu bar wanted: only the agent")
            << QVariantMap{{showInMenuBar, true}, {openAtLogin, true}} << +Nothing << +Agent;
        QTest::newRow("cleaning off but a watcher still runs: left alone, no application")
            << QVariantMap{{openAtLogin, true}} << +Watcher << +Watcher;
        QTest::newRow("agent already running: no application")
            << QVariantMap{{openAtLogin, true}, {showInMenuBar, true}} << +Agent << +Agent;
        QTest::newRow("both wanted: both start")
            << QVariantMap{{isRunning, true}, {showInMenuBar, true}} << +Nothing << +(Watcher | Agent);
        // Stored text and numbers read as booleans do; anything else reads as false.
        QTest::newRow("other value types")
            << QVariantMap{{isRunning, QStringLiteral("maybe")}, {showInMenuBar, 1}} << +Nothing << +Agent;
    }

    void startsWhatTheSettingsAskFor()
    {
        QFETCH(QVariantMap, settings);
        QFETCH(unsigned, alreadyRunning);
        QFETCH(unsigned, expected);
        Sandbox sandbox;
        const QString suite =
            SuiteBundle::make(sandbox.rootPath(QStringLiteral("Suite")), SuiteBundle::Daemon::Fake);
        QVERIFY(!suite.isEmpty());
        QVERIFY(settings.isEmpty() || sandbox.writeDefaults(settings));
        if (alreadyRunning & Watcher)
            QVERIFY(FakeBundle::launchWithEnvironment(SuiteBundle::daemon(suite), {}));
        if (alreadyRunning & Agent)
            QVERIFY(FakeBundle::launchWithEnvironment(SuiteBundle::menuBar(suite), {}));
        QVERIFY(QTest::qWaitFor([&] { return runningPrograms(suite) == alreadyRunning; }, 5000));
        const QList<RunningApplication> before = suitePrograms(suite);

        const auto run =
            BuiltSuite::runProgram(BuiltSuite::executable(SuiteBundle::helper(suite)), {}, sandbox, 20000);
        QVERIFY2(run.finished && run.exitCode == 0, run.output.constData());
        // Launches return once the program runs, so everything the helper started is there now.
        const unsigned running = runningPrograms(suite);
        const QList<RunningApplication> after = suitePrograms(suite);
        stopAll(suite);
        QCOMPARE(running, expected);
        // One process per program: nothing was started twice.
        QCOMPARE(after.size(), qPopulationCount(expected));
        for (const RunningApplication& application : before)
            QVERIFY(std::any_of(after.cbegin(), after.cend(), [&](const RunningApplication& now) {
                return now.processIdentifier == application.processIdentifier;
            }));
    }
};

QTEST_GUILESS_MAIN(HelperAppDelegateTest)
#include "HelperAppDelegateTest.moc"
