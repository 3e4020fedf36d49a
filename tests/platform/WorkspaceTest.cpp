#include "platform/Workspace.h"
#include "FakeBundle.h"
#include "Sandbox.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTest>

#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

// A line "<field>:\t<value>" of /proc/<pid>/status.
QByteArray statusField(qint64 processIdentifier, const QByteArray& field)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(processIdentifier));
    if (!status.open(QIODevice::ReadOnly))
        return QByteArray();
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(field + ':'))
            return line.mid(field.size() + 1).trimmed();
    }
    return QByteArray();
}

void endAll(const QList<RunningApplication>& applications)
{
    for (const RunningApplication& application : applications)
        kill(static_cast<pid_t>(application.processIdentifier), SIGKILL);
}

} // namespace

class WorkspaceTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void refusesBundlesItCannotStart()
    {
        Sandbox sandbox;
        const QString folder = sandbox.rootPath(QStringLiteral("Applications"));
        auto& workspace = Workspace::sharedWorkspace();
        QVERIFY(!workspace.launchApplicationAtPath(folder + QStringLiteral("/Missing.app"), {}));
        const QString noExecutableKey = FakeBundle::make(folder, QStringLiteral("NoKey.app"),
                                                         {QStringLiteral("test.workspace.NoKey"), {}, {}});
        QVERIFY(!workspace.launchApplicationAtPath(noExecutableKey, {}));

        const FakeBundle::Description missing{
            QStringLiteral("test.workspace.Gone"), {}, QStringLiteral("Gone")};
        const QString gone = FakeBundle::make(folder, QStringLiteral("Gone.app"), missing);
        QVERIFY(QFile::remove(FakeBundle::executable(gone, missing)));
        QVERIFY(!workspace.launchApplicationAtPath(gone, {}));

        const FakeBundle::Description plain{
            QStringLiteral("test.workspace.Plain"), {}, QStringLiteral("Plain")};
        const QString notExecutable = FakeBundle::make(folder, QStringLiteral("Plain.app"), plain);
        QVERIFY(QFile::setPermissions(FakeBundle::executable(notExecutable, plain), QFile::ReadOwner));
        QVERIFY(!workspace.launchApplicationAtPath(notExecutable, {}));

        const QString malformed = FakeBundle::make(folder, QStringLiteral("Malformed.app"),
                                                   {QStringLiteral("test.workspace.Malformed"), {}});
        QFile plist(malformed + QStringLiteral("/Contents/Info.plist"));
        QVERIFY(plist.open(QIODevice::WriteOnly | QIODevice::Truncate));
        plist.write("<plist><dict><key>CFBundleExecutable</key><string>FakeApp");
        plist.close();
        QVERIFY(!workspace.launchApplicationAtPath(malformed, {}));
        QVERIFY(FakeBundle::runningApplicationsUnder(sandbox.root()).isEmpty());
    }

    void startsDetachedWithACleanSlate()
    {
        Sandbox sandbox;
        const QString bundle =
            FakeBundle::make(sandbox.rootPath(QStringLiteral("Applications")), QStringLiteral("Clean.app"),
                             {QStringLiteral("test.workspace.Clean")});
        // What this process holds must not reach the child: a blocked and an ignored signal, and an
        // open descriptor without close-on-exec.
        sigset_t blocked;
        sigemptyset(&blocked);
        sigaddset(&blocked, SIGUSR1);
        sigprocmask(SIG_BLOCK, &blocked, nullptr);
        struct sigaction ignore = {};
        ignore.sa_handler = SIG_IGN;
        struct sigaction previous = {};
        sigaction(SIGHUP, &ignore, &previous);
        const int inherited = open("/dev/null", O_RDONLY);

        const bool launched = Workspace::sharedWorkspace().launchApplicationAtPath(bundle, {});
        sigprocmask(SIG_UNBLOCK, &blocked, nullptr);
        sigaction(SIGHUP, &previous, nullptr);
        close(inherited);
        QVERIFY(launched);
        QTRY_COMPARE(FakeBundle::runningApplicationsUnder(sandbox.root()).size(), 1);
        const qint64 processIdentifier =
            FakeBundle::runningApplicationsUnder(sandbox.root()).first().processIdentifier;

        QCOMPARE(statusField(processIdentifier, "SigBlk"), QByteArray("0000000000000000"));
        QCOMPARE(statusField(processIdentifier, "SigIgn"), QByteArray("0000000000000000"));
        // Its own session, hence its own process group.
        QCOMPARE(statusField(processIdentifier, "NSsid"), QByteArray::number(processIdentifier));
        QCOMPARE(statusField(processIdentifier, "NSpgid"), QByteArray::number(processIdentifier));
        QStringList descriptors = QDir(QStringLiteral("/proc/%1/fd").arg(processIdentifier))
                                      .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System);
        descriptors.sort();
        QCOMPARE(descriptors, QStringList({QStringLiteral("0"), QStringLiteral("1"), QStringLiteral("2")}));
        endAll(FakeBundle::runningApplicationsUnder(sandbox.root()));
    }

    void listsMainProcessesOnly()
    {
        Sandbox sandbox;
        const QString reports = sandbox.rootPath(QStringLiteral("reports"));
        QVERIFY(QDir().mkpath(reports));
        // No CFBundleName: the name is the bundle folder's.
        const QString bundle =
            FakeBundle::make(sandbox.rootPath(QStringLiteral("Applications")),
                             QStringLiteral("Has Helpers.app"), {QStringLiteral("test.workspace.Helpers")});
        QVERIFY(FakeBundle::launchWithEnvironment(
            bundle, {{"FAKE_APP_REPORT_DIR", reports.toLocal8Bit()}, {"FAKE_APP_CHILDREN", "2"}}));
        QTRY_COMPARE(FakeBundle::reports(reports).size(), 3);

        const auto applications = FakeBundle::runningApplicationsUnder(sandbox.root());
        QCOMPARE(applications.size(), 1);
        QCOMPARE(applications.first().localizedName, QStringLiteral("Has Helpers"));
        QCOMPARE(applications.first().bundleIdentifier, QStringLiteral("test.workspace.Helpers"));
        const QByteArray main = QByteArray::number(applications.first().processIdentifier);
        int helpers = 0;
        for (const qint64 processIdentifier : FakeBundle::reports(reports).keys())
            helpers += statusField(processIdentifier, "PPid") == main ? 1 : 0;
        QCOMPARE(helpers, 2);
        for (const qint64 processIdentifier : FakeBundle::reports(reports).keys())
            kill(static_cast<pid_t>(processIdentifier), SIGKILL);
    }

    void keepsRecognisingAReplacedProgram()
    {
        Sandbox sandbox;
        const FakeBundle::Description description{QStringLiteral("test.workspace.Updated"),
                                                  QStringLiteral("Updated")};
        const QString bundle = FakeBundle::make(sandbox.rootPath(QStringLiteral("Applications")),
                                                QStringLiteral("Updated.app"), description);
        QVERIFY(Workspace::sharedWorkspace().launchApplicationAtPath(bundle, {}));
        QTRY_COMPARE(FakeBundle::runningApplicationsUnder(sandbox.root()).size(), 1);
        // An update replaces the program while it runs: /proc shows it as "(deleted)".
        QVERIFY(QFile::remove(FakeBundle::executable(bundle, description)));
        QVERIFY(FakeBundle::installProgram(FakeBundle::executable(bundle, description)));
        const auto applications = FakeBundle::runningApplicationsUnder(sandbox.root());
        QCOMPARE(applications.size(), 1);
        QCOMPARE(applications.first().localizedName, QStringLiteral("Updated"));
        QCOMPARE(applications.first().bundlePath, bundle);
        endAll(applications);
    }

    void knowsInstalledBrowsersByTheirProgram()
    {
        Sandbox sandbox;
        const QString chromium = sandbox.rootPath(QStringLiteral("usr/lib/chromium/chromium"));
        QVERIFY(FakeBundle::installProgram(chromium));
        QProcess browser;
        browser.start(chromium, {});
        QVERIFY(browser.waitForStarted());
        QTRY_COMPARE(FakeBundle::runningApplicationsUnder(sandbox.root()).size(), 1);
        const RunningApplication application = FakeBundle::runningApplicationsUnder(sandbox.root()).first();
        QCOMPARE(application.localizedName, QStringLiteral("Chromium"));
        QCOMPARE(application.bundleIdentifier, QStringLiteral("org.chromium.Chromium"));
        QCOMPARE(application.bundlePath, chromium);
        QCOMPARE(application.processIdentifier, browser.processId());

        browser.kill();
        QVERIFY(browser.waitForFinished());
    }

    void knowsSnapBrowsersOfAnyRevision()
    {
        Sandbox sandbox;
        const QString firefox = sandbox.rootPath(QStringLiteral("snap/firefox/6103/usr/lib/firefox/firefox"));
        QVERIFY(FakeBundle::installProgram(firefox));
        // The same program outside a revision folder is no browser.
        const QString stray = sandbox.rootPath(QStringLiteral("snap/firefox/usr/lib/firefox/firefox"));
        QVERIFY(FakeBundle::installProgram(stray));
        QProcess browser;
        browser.start(firefox, {});
        QProcess other;
        other.start(stray, {});
        QVERIFY(browser.waitForStarted() && other.waitForStarted());
        QTRY_COMPARE(FakeBundle::runningApplicationsUnder(sandbox.root()).size(), 1);
        const RunningApplication application = FakeBundle::runningApplicationsUnder(sandbox.root()).first();
        QCOMPARE(application.localizedName, QStringLiteral("Firefox"));
        QCOMPARE(application.bundleIdentifier, QStringLiteral("org.mozilla.firefox"));
        QCOMPARE(application.bundlePath, firefox);
        browser.kill();
        other.kill();
        QVERIFY(browser.waitForFinished() && other.waitForFinished());
    }

    void terminatesOnlyTheApplicationItWasGiven()
    {
        Sandbox sandbox;
        const QString bundle =
            FakeBundle::make(sandbox.rootPath(QStringLiteral("Applications")), QStringLiteral("Target.app"),
                             {QStringLiteral("test.workspace.Target")});
        auto& workspace = Workspace::sharedWorkspace();
        QVERIFY(workspace.launchApplicationAtPath(bundle, {}));
        QTRY_COMPARE(FakeBundle::runningApplicationsUnder(sandbox.root()).size(), 1);
        RunningApplication application = FakeBundle::runningApplicationsUnder(sandbox.root()).first();

        // A pid that now runs some other program is left alone.
        RunningApplication stale = application;
        stale.bundlePath = sandbox.rootPath(QStringLiteral("Applications/Other.app"));
        QVERIFY(!workspace.terminate(stale));
        RunningApplication none;
        QVERIFY(!workspace.terminate(none));
        QTest::qWait(100);
        QCOMPARE(FakeBundle::runningApplicationsUnder(sandbox.root()).size(), 1);

        QVERIFY(workspace.terminate(application));
        QTRY_VERIFY(!QFileInfo::exists(QStringLiteral("/proc/%1").arg(application.processIdentifier)));
        QVERIFY(!workspace.terminate(application));
    }
};

QTEST_GUILESS_MAIN(WorkspaceTest)
#include "WorkspaceTest.moc"
