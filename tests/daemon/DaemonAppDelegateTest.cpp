#include "daemon/DaemonAppDelegate.h"
#include "FakeBundle.h"
#include "NotificationRecorder.h"
#include "ProcessTimes.h"
#include "Sandbox.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTest>

#include <csignal>
#include <memory>

namespace {

const QString enabledBrowsers = QStringLiteral("enabledBrowsersArray");
const QString safariId = QStringLiteral("com.apple.Safari");
const QString chromeId = QStringLiteral("com.google.Chrome");
const QString firefoxId = QStringLiteral("org.mozilla.firefox");
const QString operaId = QStringLiteral("com.operasoftware.Opera");

// The running daemon scans for new processes at least once a second; an application must have been
// seen before its quit can be noticed.
constexpr int discoveryMs = 2000;
// Long enough for a worker that was wrongly started to have shown its notification.
constexpr int quietMs = 2500;

// A bundle "<folder>/<file name>" named `name`, run by a copy of the fake application.
bool makeBundle(const QString& folder, const QString& fileName, const QString& name,
                const QString& identifier)
{
    return !FakeBundle::make(folder, fileName, {identifier, name, name}).isEmpty();
}

// One run of a fake application; it reports its start and its helpers' in a folder of its own.
class FakeApp
{
public:
    FakeApp(const Sandbox& sandbox, const QString& executable, int helpers = 0)
        : m_reports(sandbox.rootPath(QStringLiteral("reports-%1").arg(++s_runs)))
    {
        QDir().mkpath(m_reports);
        QProcessEnvironment environment = sandbox.environment();
        environment.insert(QStringLiteral("FAKE_APP_REPORT_DIR"), m_reports);
        if (helpers > 0)
            environment.insert(QStringLiteral("FAKE_APP_CHILDREN"), QString::number(helpers));
        m_process.setProcessEnvironment(environment);
        m_process.start(executable, {});
    }
    ~FakeApp()
    {
        for (const qint64 helper : helperPids())
            ::kill(static_cast<pid_t>(helper), SIGKILL);
        m_process.kill();
        m_process.waitForFinished(2000);
    }

    bool waitForStart(int helpers = 0)
    {
        return QTest::qWaitFor([&] { return FakeBundle::reports(m_reports).size() == helpers + 1; }, 5000);
    }
    // The polite quit request; the fake application ends on it.
    bool quit()
    {
        m_process.terminate();
        return m_process.waitForFinished(5000);
    }
    [[nodiscard]] bool hasFinished() const { return m_process.state() == QProcess::NotRunning; }

    [[nodiscard]] QList<qint64> helperPids() const
    {
        QList<qint64> helpers;
        const auto reports = FakeBundle::reports(m_reports);
        for (auto it = reports.cbegin(); it != reports.cend(); ++it) {
            if (it.value() == QStringList{QStringLiteral("--helper")})
                helpers.append(it.key());
        }
        return helpers;
    }

private:
    static inline int s_runs = 0;
    QString m_reports;
    QProcess m_process;
};

class Daemon
{
public:
    explicit Daemon(const Sandbox& sandbox, const QString& bundle = BuiltSuite::daemonBundle())
    {
        m_process.setProcessEnvironment(sandbox.environment());
        m_process.setProcessChannelMode(QProcess::ForwardedChannels);
        m_process.start(BuiltSuite::executable(bundle), {});
    }
    ~Daemon()
    {
        m_process.kill();
        m_process.waitForFinished(2000);
    }
    [[nodiscard]] bool isRunning() const { return m_process.state() == QProcess::Running; }
    [[nodiscard]] qint64 pid() const { return m_process.processId(); }
    bool quit()
    {
        m_process.terminate();
        return m_process.waitForFinished(2000) && m_process.exitStatus() == QProcess::NormalExit &&
               m_process.exitCode() == 0;
    }

private:
    QProcess m_process;
};

QStringList publishedBrowsers(const Sandbox& sandbox)
{
    return sandbox.readDefaults().value(enabledBrowsers).toStringList();
}

bool waitForPublished(const Sandbox& sandbox, const QStringList& expected, int timeoutMs = 1000)
{
    const bool published = QTest::qWaitFor(
        [&] {
            return sandbox.readDefaults().contains(enabledBrowsers) && publishedBrowsers(sandbox) == expected;
        },
        timeoutMs);
    if (!published)
        qWarning() << "published" << publishedBrowsers(sandbox) << "expected" << expected;
    return published;
}

bool waitForNotifications(const NotificationRecorder& recorder, int count)
{
    return QTest::qWaitFor([&] { return recorder.received().size() >= count; }, 10000);
}

} // namespace

class DaemonAppDelegateTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void startsAWorkerForEachBrowserQuit()
    {
        Sandbox sandbox;
        NotificationRecorder recorder;
        QVERIFY(recorder.isRegistered());
        QVERIFY(sandbox.writeDefaults({{QStringLiteral("displayNotifications"), true}}));
        const QString applications = sandbox.rootPath(QStringLiteral("Applications"));
        QVERIFY(makeBundle(applications, QStringLiteral("Safari.app"), QStringLiteral("Safari"), safariId));
        QVERIFY(
            makeBundle(applications, QStringLiteral("Swift.app"), QStringLiteral("Swift Browser"), operaId));
        QVERIFY(
            makeBundle(applications, QStringLiteral("Firefox.app"), QStringLiteral("Firefox"), firefoxId));
        QVERIFY(makeBundle(applications, QStringLiteral("Opera.app"), QStringLiteral("Opera"),
                           QStringLiteral("com.example.opera")));
        Daemon daemon(sandbox);
        QVERIFY(waitForPublished(sandbox, {safariId, firefoxId, operaId}, 10000));

        FakeApp safari(sandbox, applications + QStringLiteral("/Safari.app/Contents/MacOS/Safari"));
        FakeApp swift(sandbox, applications + QStringLiteral("/Swift.app/Contents/MacOS/Swift Browser"));
        FakeApp firefox(sandbox, applications + QStringLiteral("/Firefox.app/Contents/MacOS/Firefox"), 2);
        FakeApp namedOpera(sandbox, applications + QStringLiteral("/Opera.app/Contents/MacOS/Opera"));
        QVERIFY(safari.waitForStart() && swift.waitForStart() && firefox.waitForStart(2) &&
                namedOpera.waitForStart());
        QTest::qWait(discoveryMs);

        // A browser's own child process ending is no quit; nor is an "Opera" that is not Opera.
        QCOMPARE(::kill(static_cast<pid_t>(firefox.helperPids().first()), SIGTERM), 0);
        QVERIFY(namedOpera.quit());
        QTest::qWait(quietMs);
        QVERIFY(recorder.received().isEmpty());

        const QList<std::pair<FakeApp*, QString>> quits{{&safari, QStringLiteral("Safari")},
                                                        {&swift, QStringLiteral("Opera")},
                                                        {&firefox, QStringLiteral("Firefox")}};
        for (const auto& [app, browser] : quits) {
            const auto before = recorder.received().size();
            QVERIFY(app->quit());
            QVERIFY2(waitForNotifications(recorder, before + 1), qPrintable(browser));
            const auto& notification = recorder.received().last();
            QCOMPARE(notification.summary, QStringLiteral("Veltrane"));
            QVERIFY2(notification.body.endsWith(QStringLiteral(" removed from ") + browser),
                     qPrintable(notification.body));
        }
        QTest::qWait(quietMs);
        QCOMPARE(recorder.received().size(), 3);
        QVERIFY(daemon.quit());
    }

    void anyQuitAsksTheRunningWorkerToQuit()
    {
        Sandbox sandbox;
        NotificationRecorder recorder;
        QVERIFY(recorder.isRegistered());
        QVERIFY(sandbox.writeDefaults({{QStringLiteral("displayNotifications"), true}}));
        // A worker that is still busy: a stand-in bundle with the worker's identifier.
        const QString elsewhere = sandbox.rootPath(QStringLiteral("Elsewhere"));
        QVERIFY(makeBundle(elsewhere, QStringLiteral("VeltraneWorker.app"), QStringLiteral("VeltraneWorker"),
                           QStringLiteral("com.orvando.VeltraneWorker")));
        const QString applications = sandbox.rootPath(QStringLiteral("Applications"));
        QVERIFY(makeBundle(applications, QStringLiteral("TextEdit.app"), QStringLiteral("TextEdit"),
                           QStringLiteral("com.apple.TextEdit")));
        Daemon daemon(sandbox);
        QVERIFY(waitForPublished(sandbox, {}, 10000));

        const QString workerProgram =
            elsewhere + QStringLiteral("/VeltraneWorker.app/Contents/MacOS/VeltraneWorker");
        FakeApp worker(sandbox, workerProgram);
        FakeApp finishingWorker(sandbox, workerProgram);
        FakeApp textEdit(sandbox, applications + QStringLiteral("/TextEdit.app/Contents/MacOS/TextEdit"));
        QVERIFY(worker.waitForStart() && finishingWorker.waitForStart() && textEdit.waitForStart());
        QTest::qWait(discoveryMs);

        // A worker that ends leaves the one that still runs alone.
        QVERIFY(finishingWorker.quit());
        QTest::qWait(quietMs);
        QVERIFY(!worker.hasFinished());

        QVERIFY(textEdit.quit());
        QVERIFY(QTest::qWaitFor([&] { return worker.hasFinished(); }, 5000));
        QTest::qWait(quietMs);
        QVERIFY(recorder.received().isEmpty());
        QVERIFY(daemon.isRunning());
    }

    void publishesTheInstalledBrowsersInProbeOrder()
    {
        Sandbox sandbox;
        const QString applications = sandbox.rootPath(QStringLiteral("Applications"));
        QVERIFY(
            makeBundle(applications, QStringLiteral("Firefox.app"), QStringLiteral("Firefox"), firefoxId));
        QVERIFY(makeBundle(applications, QStringLiteral("Swift.app"), QStringLiteral("Swift"), operaId));
        QVERIFY(makeBundle(applications, QStringLiteral("Safari.app"), QStringLiteral("Safari"), safariId));
        // Bundles that cannot be read are simply not counted.
        QVERIFY(QDir().mkpath(applications + QStringLiteral("/Empty.app/Contents")));
        QVERIFY(QDir().mkpath(applications + QStringLiteral("/Broken.app/Contents")));
        QFile broken(applications + QStringLiteral("/Broken.app/Contents/Info.plist"));
        QVERIFY(broken.open(QIODevice::WriteOnly) && broken.write("<plist><dict><key>CFBundle") > 0);
        broken.close();

        Daemon daemon(sandbox);
        QVERIFY(waitForPublished(sandbox, {safariId, firefoxId, operaId}, 10000));

        QVERIFY(makeBundle(applications, QStringLiteral("Google Chrome.app"), QStringLiteral("Google Chrome"),
                           chromeId));
        QVERIFY(waitForPublished(sandbox, {safariId, chromeId, firefoxId, operaId}));
        QVERIFY(QDir(applications + QStringLiteral("/Safari.app")).removeRecursively());
        QVERIFY(waitForPublished(sandbox, {chromeId, firefoxId, operaId}));

        // The whole folder goes away and comes back.
        QVERIFY(QDir(applications).removeRecursively());
        QVERIFY(waitForPublished(sandbox, {}));
        const QString staging = sandbox.rootPath(QStringLiteral("staging"));
        QVERIFY(makeBundle(staging, QStringLiteral("Safari.app"), QStringLiteral("Safari"), safariId));
        QVERIFY(QDir().rename(staging, applications));
        QVERIFY(waitForPublished(sandbox, {safariId}));

        // A quit request ends the daemon in order.
        QVERIFY(daemon.quit());
    }

    void publishesBrowsersInstalledWithSnapOrFlatpak()
    {
        Sandbox sandbox;
        const auto writeEntry = [&](const QString& relative) {
            const QString path = sandbox.rootPath(relative);
            QFile entry(path);
            return QDir().mkpath(QFileInfo(path).absolutePath()) && entry.open(QIODevice::WriteOnly) &&
                   entry.write("[Desktop Entry]\n") > 0;
        };
        Daemon daemon(sandbox);
        QVERIFY(waitForPublished(sandbox, {}, 10000));
        // An install lays its launcher down, then its desktop entry, which the daemon notices.
        QVERIFY(FakeBundle::installProgram(
            sandbox.rootPath(QStringLiteral("var/lib/flatpak/exports/bin/org.chromium.Chromium"))));
        QVERIFY(writeEntry(
            QStringLiteral("var/lib/flatpak/exports/share/applications/org.chromium.Chromium.desktop")));
        QVERIFY(waitForPublished(sandbox, {QStringLiteral("org.chromium.Chromium")}, 10000));
        QVERIFY(FakeBundle::installProgram(sandbox.rootPath(QStringLiteral("snap/bin/firefox"))));
        QVERIFY(writeEntry(QStringLiteral("var/lib/snapd/desktop/applications/firefox_firefox.desktop")));
        QVERIFY(waitForPublished(sandbox, {QStringLiteral("org.chromium.Chromium"), firefoxId}, 10000));
        QVERIFY(daemon.quit());
    }

    void keepsWhatOtherProcessesWriteMeanwhile()
    {
        Sandbox sandbox;
        const QString applications = sandbox.rootPath(QStringLiteral("Applications"));
        QVERIFY(makeBundle(applications, QStringLiteral("Safari.app"), QStringLiteral("Safari"), safariId));
        Daemon daemon(sandbox);
        QVERIFY(waitForPublished(sandbox, {safariId}, 10000));

        // Another program stores its key over and over while every change here makes the daemon write.
        QProcess writer;
        writer.setProcessEnvironment(sandbox.environment());
        writer.start(qEnvironmentVariable("VELTRANE_TESTTOOL"),
                     {QStringLiteral("write"), QStringLiteral("writtenElsewhere"), QStringLiteral("300")});
        QVERIFY(writer.waitForStarted());
        int changes = 0;
        while (writer.state() != QProcess::NotRunning) {
            QFile file(applications + QStringLiteral("/change-%1").arg(changes++ % 20));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.close();
            QTest::qWait(2);
        }
        QCOMPARE(writer.exitCode(), 0);
        QVERIFY(changes > 10);

        QVERIFY(QFile::remove(applications + QStringLiteral("/change-0")));
        QTest::qWait(300);
        const QVariantMap stored = sandbox.readDefaults();
        QCOMPARE(stored.value(QStringLiteral("writtenElsewhere")).toInt(), 299);
        QCOMPARE(stored.value(enabledBrowsers).toStringList(), QStringList{safariId});
    }

    void goesOnWithoutAWorkerAndRestsAfterAFlood()
    {
        Sandbox sandbox;
        NotificationRecorder recorder;
        QVERIFY(sandbox.writeDefaults({{QStringLiteral("displayNotifications"), true}}));
        // A copy of the daemon's bundle that has no worker beside it.
        const QString resources = sandbox.rootPath(QStringLiteral("Suite.app/Contents/Resources"));
        const QString bundle = resources + QStringLiteral("/VeltraneDaemon.app");
        QVERIFY(QDir().mkpath(bundle + QStringLiteral("/Contents/MacOS")));
        QVERIFY(QFile::copy(BuiltSuite::daemonBundle() + QStringLiteral("/Contents/Info.plist"),
                            bundle + QStringLiteral("/Contents/Info.plist")));
        QVERIFY(
            QFile::copy(BuiltSuite::executable(BuiltSuite::daemonBundle()), BuiltSuite::executable(bundle)));
        const QString applications = sandbox.rootPath(QStringLiteral("Applications"));
        QVERIFY(makeBundle(applications, QStringLiteral("Safari.app"), QStringLiteral("Safari"), safariId));
        Daemon daemon(sandbox, bundle);
        QVERIFY(waitForPublished(sandbox, {safariId}, 10000));

        FakeApp safari(sandbox, applications + QStringLiteral("/Safari.app/Contents/MacOS/Safari"));
        QVERIFY(safari.waitForStart());
        QTest::qWait(discoveryMs);
        QVERIFY(safari.quit());
        QTest::qWait(quietMs);
        QVERIFY(daemon.isRunning());
        QVERIFY(recorder.received().isEmpty());

        // Thousands of files at once, then nothing: the daemon must settle, not spin.
        QVERIFY(QDir().mkpath(applications + QStringLiteral("/Flood")));
        for (int i = 0; i < 3000; ++i) {
            QFile file(applications + QStringLiteral("/Flood/file-%1").arg(i));
            QVERIFY(file.open(QIODevice::WriteOnly));
        }
        QVERIFY(QDir(applications + QStringLiteral("/Flood")).removeRecursively());
        QTest::qWait(1000);
        const qint64 before = ProcessTimes::cpuTicks(daemon.pid());
        QTest::qWait(2000);
        const qint64 spent = ProcessTimes::cpuTicks(daemon.pid()) - before;
        QVERIFY2(before >= 0 && spent < ::sysconf(_SC_CLK_TCK) / 2, qPrintable(QString::number(spent)));

        QVERIFY(makeBundle(applications, QStringLiteral("Google Chrome.app"), QStringLiteral("Google Chrome"),
                           chromeId));
        QVERIFY(waitForPublished(sandbox, {safariId, chromeId}));
        QVERIFY(daemon.quit());
    }

    void createsOneStreamPerProcessAndRefreshesOnEachBatch()
    {
        Sandbox sandbox;
        const QString applications = sandbox.rootPath(QStringLiteral("Applications"));
        QVERIFY(QDir().mkpath(applications));
        const QString domainFile =
            sandbox.homePath(QStringLiteral("Library/Preferences/com.orvando.Veltrane.plist"));
        {
            DaemonAppDelegate delegate;
            delegate.applicationDidFinishLaunching();
            FileEventStream* const stream = delegate._applicationstream();
            QVERIFY(stream);
            delegate.watchApplicationsFolder();
            QCOMPARE(delegate._applicationstream(), stream);
            QVERIFY(sandbox.readDefaults().contains(enabledBrowsers));

            // The key is written again on every batch, changed or not.
            QVERIFY(QFile::remove(domainFile));
            QVERIFY(QDir().mkdir(applications + QStringLiteral("/Some.app")));
            QVERIFY(QTest::qWaitFor([&] { return sandbox.readDefaults().contains(enabledBrowsers); }, 1000));

            // Desktop entries count as installed applications too, in a folder that appears later.
            QVERIFY(QFile::remove(domainFile));
            QVERIFY(sandbox.writeFile(QStringLiteral(".local/share/applications/firefox.desktop"),
                                      "[Desktop Entry]\n"));
            QVERIFY(QTest::qWaitFor([&] { return sandbox.readDefaults().contains(enabledBrowsers); }, 1000));
        }
        // Torn down: no stream is left to write.
        QVERIFY(QFile::remove(domainFile));
        QVERIFY(QDir().mkdir(applications + QStringLiteral("/Other.app")));
        QTest::qWait(300);
        QVERIFY(!QFile::exists(domainFile));
    }
};

QTEST_GUILESS_MAIN(DaemonAppDelegateTest)
#include "DaemonAppDelegateTest.moc"
