#include "common/ProcessControl.h"
#include "FakeBundle.h"
#include "Sandbox.h"
#include "platform/Workspace.h"

#include <QDir>
#include <QFileInfo>
#include <QTest>

#include <csignal>

namespace {

std::optional<RunningApplication> runningWithIdentifier(const QString& bundleIdentifier)
{
    for (const RunningApplication& application : Workspace::sharedWorkspace().runningApplications()) {
        if (application.bundleIdentifier == bundleIdentifier)
            return application;
    }
    return std::nullopt;
}

} // namespace

class ProcessControlTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void startsWithArgumentsShowsAsRunningAndStopsPolitely()
    {
        Sandbox sandbox;
        const QString reports = sandbox.rootPath(QStringLiteral("reports"));
        QVERIFY(QDir().mkpath(reports));
        qputenv("FAKE_APP_REPORT_DIR", reports.toLocal8Bit());
        const QString bundle =
            FakeBundle::make(sandbox.rootPath(QStringLiteral("Applications")), QStringLiteral("Tester.app"),
                             {QStringLiteral("test.workspace.Tester"), QStringLiteral("Tester")});
        QVERIFY(!bundle.isEmpty());
        QVERIFY(!ProcessControl::isRunning(QStringLiteral("test.workspace.Tester")));

        const QStringList arguments = {QStringLiteral("Google Chrome"), QStringLiteral("quote\"d 'name'"),
                                       QString(), QStringLiteral("-flag")};
        ProcessControl::start(bundle, arguments);
        QTRY_COMPARE(FakeBundle::reports(reports).size(), 1);
        const qint64 processIdentifier = FakeBundle::reports(reports).firstKey();
        QCOMPARE(FakeBundle::reports(reports).first(), arguments);

        QVERIFY(ProcessControl::isRunning(QStringLiteral("test.workspace.Tester")));
        QVERIFY(!ProcessControl::isRunning(QStringLiteral("test.workspace.tester")));
        const auto application = runningWithIdentifier(QStringLiteral("test.workspace.Tester"));
        QVERIFY(application);
        QCOMPARE(application->processIdentifier, processIdentifier);
        QCOMPARE(application->localizedName, QStringLiteral("Tester"));
        QCOMPARE(application->bundlePath, bundle);

        ProcessControl::stop(QStringLiteral("test.workspace.Tester"));
        // Gone from /proc altogether: ended and reaped, no zombie left.
        const QString procEntry = QStringLiteral("/proc/%1").arg(processIdentifier);
        QTRY_VERIFY_WITH_TIMEOUT(!QFileInfo::exists(procEntry), 3000);
        QVERIFY(!ProcessControl::isRunning(QStringLiteral("test.workspace.Tester")));
        qunsetenv("FAKE_APP_REPORT_DIR");
    }

    void stopsOnlyTheFirstMatchAndNothingElse()
    {
        Sandbox sandbox;
        const QString applications = sandbox.rootPath(QStringLiteral("Applications"));
        const QString first =
            FakeBundle::make(applications, QStringLiteral("One.app"),
                             {QStringLiteral("test.workspace.Same"), QStringLiteral("One")});
        const QString second =
            FakeBundle::make(applications, QStringLiteral("Two.app"),
                             {QStringLiteral("test.workspace.Same"), QStringLiteral("Two")});
        const QString other =
            FakeBundle::make(applications, QStringLiteral("Other.app"),
                             {QStringLiteral("test.workspace.Other"), QStringLiteral("Other")});
        auto& workspace = Workspace::sharedWorkspace();
        QVERIFY(workspace.launchApplicationAtPath(first, {}));
        QTest::qWait(20); // keeps the start order apart
        QVERIFY(workspace.launchApplicationAtPath(second, {}));
        QVERIFY(workspace.launchApplicationAtPath(other, {}));
        QTRY_COMPARE(FakeBundle::runningApplicationsUnder(sandbox.root()).size(), 3);

        ProcessControl::stop(QStringLiteral("test.workspace.Nothing"));
        ProcessControl::stop(QStringLiteral("test.workspace.Same"));
        QTRY_COMPARE(FakeBundle::runningApplicationsUnder(sandbox.root()).size(), 2);
        QTest::qWait(300);
        const auto remaining = FakeBundle::runningApplicationsUnder(sandbox.root());
        QCOMPARE(remaining.size(), 2);
        QCOMPARE(remaining.at(0).localizedName, QStringLiteral("Two"));
        QCOMPARE(remaining.at(1).localizedName, QStringLiteral("Other"));
        for (const RunningApplication& application : remaining)
            kill(static_cast<pid_t>(application.processIdentifier), SIGKILL);
        QTRY_VERIFY(FakeBundle::runningApplicationsUnder(sandbox.root()).isEmpty());
    }
};

QTEST_GUILESS_MAIN(ProcessControlTest)
#include "ProcessControlTest.moc"
