#include "FakeBundle.h"
#include "FlatpakSandbox.h"
#include "Sandbox.h"
#include "platform/Workspace.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTest>

#include <algorithm>
#include <csignal>

namespace {

// Long enough for a few rounds of the watch's look for new processes.
constexpr int settleMs = 1500;

// Identifiers of this run only: other programs of this user (other tests) come and go meanwhile.
QString identifier(const QString& name)
{
    return QStringLiteral("test.terminations%1.").arg(QCoreApplication::applicationPid()) + name;
}

// "<name>|<identifier without this run's prefix>" of this run's reported terminations.
QStringList terminations(const QSignalSpy& spy)
{
    QStringList names;
    for (const QList<QVariant>& arguments : spy) {
        const QString bundleIdentifier = arguments.at(1).toString();
        if (bundleIdentifier.startsWith(identifier(QString())))
            names.append(arguments.at(0).toString() + QLatin1Char('|') +
                         bundleIdentifier.mid(identifier(QString()).size()));
    }
    return names;
}

} // namespace

class WorkspaceTerminationsTest : public QObject
{
    Q_OBJECT

private:
    Sandbox m_sandbox;
    QString m_reports;
    QString m_earlyBundle;

    QString makeBundle(const QString& folderName, const QString& name)
    {
        return FakeBundle::make(m_sandbox.rootPath(QStringLiteral("Applications")), folderName,
                                {identifier(QFileInfo(folderName).completeBaseName()), name});
    }

    // Reports of processes whose program is `program`.
    QList<qint64> reportedBy(const QString& program) const
    {
        QList<qint64> processes;
        for (const qint64 processIdentifier : FakeBundle::reports(m_reports).keys()) {
            if (QFile::symLinkTarget(QStringLiteral("/proc/%1/exe").arg(processIdentifier)) == program)
                processes.append(processIdentifier);
        }
        return processes;
    }

private Q_SLOTS:
    void initTestCase()
    {
        m_reports = m_sandbox.rootPath(QStringLiteral("reports"));
        QVERIFY(QDir().mkpath(m_reports));
        qputenv("FAKE_APP_REPORT_DIR", m_reports.toLocal8Bit());
        // An application that already runs when the watch starts is watched as well.
        m_earlyBundle = makeBundle(QStringLiteral("Early.app"), QStringLiteral("Early"));
        QVERIFY(Workspace::sharedWorkspace().launchApplicationAtPath(m_earlyBundle, {}));
        QTRY_COMPARE(FakeBundle::runningApplicationsUnder(m_sandbox.root()).size(), 1);
        Workspace::sharedWorkspace().startObservingTerminations();
        Workspace::sharedWorkspace().startObservingTerminations();
    }

    void reportsAnApplicationThatRanBeforeTheWatch()
    {
        QSignalSpy spy(&Workspace::sharedWorkspace(), &Workspace::didTerminateApplication);
        const auto applications = FakeBundle::runningApplicationsUnder(m_sandbox.root());
        QCOMPARE(applications.size(), 1);
        kill(static_cast<pid_t>(applications.first().processIdentifier), SIGKILL);
        QTRY_COMPARE(terminations(spy).size(), 1);
        QTest::qWait(settleMs);
        QCOMPARE(terminations(spy), QStringList{QStringLiteral("Early|Early")});
    }

    void reportsEachApplicationOnceAndNeverItsHelpers()
    {
        QSignalSpy spy(&Workspace::sharedWorkspace(), &Workspace::didTerminateApplication);
        const QString bundle = makeBundle(QStringLiteral("Firefox.app"), QStringLiteral("Firefox"));
        const QString program = bundle + QStringLiteral("/Contents/MacOS/FakeApp");
        QVERIFY(FakeBundle::launchWithEnvironment(bundle, {{"FAKE_APP_CHILDREN", "2"}}));
        QTRY_COMPARE(reportedBy(program).size(), 3);
        QTest::qWait(settleMs);

        const qint64 main = FakeBundle::runningApplicationsUnder(m_sandbox.root()).first().processIdentifier;
        QList<qint64> helpers = reportedBy(program);
        helpers.removeAll(main);
        QCOMPARE(helpers.size(), 2);

        kill(static_cast<pid_t>(helpers.at(0)), SIGTERM);
        QTest::qWait(settleMs);
        QCOMPARE(terminations(spy).size(), 0);

        kill(static_cast<pid_t>(main), SIGTERM);
        QTRY_COMPARE(terminations(spy).size(), 1);
        QCOMPARE(terminations(spy), QStringList{QStringLiteral("Firefox|Firefox")});

        // The helper left behind is still a helper, though its parent is gone now.
        kill(static_cast<pid_t>(helpers.at(1)), SIGKILL);
        QTest::qWait(settleMs);
        QCOMPARE(terminations(spy).size(), 1);
    }

    void recognisesAProcessOnceItHasExeced()
    {
        QSignalSpy spy(&Workspace::sharedWorkspace(), &Workspace::didTerminateApplication);
        const QString launcher = makeBundle(QStringLiteral("Launcher.app"), QStringLiteral("Launcher"));
        // A name with quotes and spaces travels unchanged.
        const QString target = makeBundle(QStringLiteral("Target.app"), QStringLiteral("Tar\"get 'One'"));
        const QString targetProgram = target + QStringLiteral("/Contents/MacOS/FakeApp");
        // The forked process runs the launcher's program for a while, like one of its helpers, and
        // only then becomes the target application.
        QVERIFY(FakeBundle::launchWithEnvironment(
            launcher,
            {{"FAKE_APP_EXEC_AFTER_FORK", targetProgram.toLocal8Bit()}, {"FAKE_APP_EXEC_DELAY_MS", "700"}}));
        QTRY_COMPARE_WITH_TIMEOUT(reportedBy(targetProgram).size(), 1, 5000);
        QTest::qWait(settleMs);

        kill(static_cast<pid_t>(reportedBy(targetProgram).first()), SIGTERM);
        QTRY_COMPARE(terminations(spy).size(), 1);
        QCOMPARE(terminations(spy), QStringList{QStringLiteral("Tar\"get 'One'|Target")});

        const auto remaining = FakeBundle::runningApplicationsUnder(m_sandbox.root());
        QCOMPARE(remaining.size(), 1);
        kill(static_cast<pid_t>(remaining.first().processIdentifier), SIGTERM);
        QTRY_COMPARE(terminations(spy).size(), 2);
        QCOMPARE(terminations(spy).last(), QStringLiteral("Launcher|Launcher"));
    }

    void reportsAnApplicationRelaunchedByItsHelper()
    {
        QSignalSpy spy(&Workspace::sharedWorkspace(), &Workspace::didTerminateApplication);
        const QString bundle = makeBundle(QStringLiteral("Relaunching.app"), QStringLiteral("Relaunching"));
        const QString program = bundle + QStringLiteral("/Contents/MacOS/FakeApp");
        QVERIFY(FakeBundle::launchWithEnvironment(bundle, {{"FAKE_APP_RELAUNCH", "1"}}));
        QTRY_COMPARE(FakeBundle::runningApplicationsUnder(m_sandbox.root()).size(), 1);
        const qint64 first = FakeBundle::runningApplicationsUnder(m_sandbox.root()).first().processIdentifier;
        QTest::qWait(settleMs);

        // The helper starts the program anew once the first process has ended.
        kill(static_cast<pid_t>(first), SIGTERM);
        QTRY_COMPARE(terminations(spy).size(), 1);
        QTRY_COMPARE(reportedBy(program).size(), 1);
        QVERIFY(reportedBy(program).first() != first);
        QTest::qWait(settleMs);
        kill(static_cast<pid_t>(reportedBy(program).first()), SIGTERM);
        QTRY_COMPARE(terminations(spy).size(), 2);
        QCOMPARE(terminations(spy), QStringList(2, QStringLiteral("Relaunching|Relaunching")));
    }

    void reportsAFlatpakBrowserOnceWithItsSandboxedHelpers()
    {
        if (!FlatpakSandbox::available())
            QSKIP("no mount namespaces here (unshare needs root or user namespaces)");
        QSignalSpy spy(&Workspace::sharedWorkspace(), &Workspace::didTerminateApplication);
        const auto chromiumTerminations = [&spy] {
            return std::count_if(spy.begin(), spy.end(), [](const QList<QVariant>& arguments) {
                return arguments.at(1).toString() == QLatin1String("org.chromium.Chromium");
            });
        };
        const QByteArray system =
            "[Application]\nname=org.chromium.Chromium\n\n[Instance]\n"
            "app-path=/var/lib/flatpak/app/org.chromium.Chromium/x86_64/stable/1/files\n";
        const QString folder = m_sandbox.rootPath(QStringLiteral("flatpak"));
        // A sandbox whose description never comes, and one of an application that is no browser.
        FlatpakSandbox stuck(folder + QStringLiteral("/stuck"), {});
        FlatpakSandbox other(folder + QStringLiteral("/other"), "[Application]\nname=org.example.Editor\n");
        QVERIFY(stuck.waitForProgram() != 0 && other.waitForProgram() != 0);

        FlatpakSandbox browser(folder + QStringLiteral("/browser"), system);
        const qint64 main = browser.waitForProgram();
        QVERIFY(main != 0);
        QTest::qWait(settleMs);
        // Its helpers run in sandboxes of their own, started through the portal, not by the browser.
        FlatpakSandbox helper(folder + QStringLiteral("/helper"), system);
        QVERIFY(helper.waitForProgram() != 0);
        // A Firefox installed for the user alone, in the home folder.
        FlatpakSandbox firefox(
            folder + QStringLiteral("/firefox"),
            "[Application]\nname=org.mozilla.firefox\n[Instance]\napp-path=" + QDir::homePath().toUtf8() +
                "/.local/share/flatpak/app/org.mozilla.firefox\n",
            QStringLiteral("/app/lib/firefox/firefox"));
        QVERIFY(firefox.waitForProgram() != 0);
        QTest::qWait(settleMs);

        QList<RunningApplication> applications;
        for (const RunningApplication& application : Workspace::sharedWorkspace().runningApplications()) {
            if (application.bundlePath.contains(QLatin1String("/flatpak/exports/bin/")))
                applications.append(application);
        }
        QCOMPARE(applications.size(), 2);
        QCOMPARE(applications.at(0).processIdentifier, main);
        QCOMPARE(applications.at(0).localizedName, QStringLiteral("Chromium"));
        QCOMPARE(applications.at(0).bundlePath,
                 m_sandbox.rootPath(QStringLiteral("var/lib/flatpak/exports/bin/org.chromium.Chromium")));
        QCOMPARE(applications.at(1).bundlePath,
                 QDir::homePath() + QStringLiteral("/.local/share/flatpak/exports/bin/org.mozilla.firefox"));

        helper.kill();
        stuck.kill();
        other.kill();
        QTest::qWait(settleMs);
        QCOMPARE(chromiumTerminations(), 0);
        kill(static_cast<pid_t>(main), SIGTERM);
        QTRY_COMPARE(chromiumTerminations(), 1);
        QTest::qWait(settleMs);
        QCOMPARE(chromiumTerminations(), 1);
    }

    // Whatever a failed case left running would otherwise outlive the test.
    void cleanup()
    {
        for (const qint64 processIdentifier : FakeBundle::reports(m_reports).keys()) {
            // Only while the pid still runs a program of the sandbox.
            const QString program =
                QFile::symLinkTarget(QStringLiteral("/proc/%1/exe").arg(processIdentifier));
            if (program.startsWith(m_sandbox.root() + QLatin1Char('/')))
                kill(static_cast<pid_t>(processIdentifier), SIGKILL);
        }
    }

    void cleanupTestCase() { qunsetenv("FAKE_APP_REPORT_DIR"); }
};

QTEST_GUILESS_MAIN(WorkspaceTerminationsTest)
#include "WorkspaceTerminationsTest.moc"
