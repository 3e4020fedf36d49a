// The daemon's figures: how soon a worker starts after a browser quits, what the daemon costs while
// idle among a few hundred processes, and how much memory it keeps. Prints the figures; run by hand:
//   build/bench/DaemonBench
#include "FakeBundle.h"
#include "ProcessTimes.h"
#include "Sandbox.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTest>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int quits = 50;
constexpr int idleSeconds = 60;
constexpr int idleProcesses = 300;

// CLOCK_REALTIME nanoseconds, the clock of file times.
qint64 nowNanoseconds()
{
    timespec now = {};
    clock_gettime(CLOCK_REALTIME, &now);
    return static_cast<qint64>(now.tv_sec) * 1000000000LL + now.tv_nsec;
}

// When each fake application reporting into `folder` started: pid -> the time of its report.
QMap<qint64, qint64> startTimes(const QString& folder)
{
    QMap<qint64, qint64> result;
    const auto reports = FakeBundle::reports(folder);
    for (auto it = reports.cbegin(); it != reports.cend(); ++it) {
        struct stat info = {};
        const QByteArray path = QFile::encodeName(folder + QLatin1Char('/') + QString::number(it.key()));
        if (::stat(path.constData(), &info) == 0)
            result.insert(it.key(),
                          static_cast<qint64>(info.st_mtim.tv_sec) * 1000000000LL + info.st_mtim.tv_nsec);
    }
    return result;
}

QByteArray procField(qint64 pid, const char* file, const QByteArray& key)
{
    QFile status(QStringLiteral("/proc/%1/%2").arg(pid).arg(QLatin1String(file)));
    if (!status.open(QIODevice::ReadOnly))
        return {};
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(key))
            return line.mid(key.size()).trimmed();
    }
    return {};
}

double percentile(QList<double> values, double fraction)
{
    std::sort(values.begin(), values.end());
    const auto index = static_cast<qsizetype>(fraction * static_cast<double>(values.size() - 1) + 0.5);
    return values.at(std::min(index, values.size() - 1));
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication application(argc, argv);
    Sandbox sandbox;
    // The built daemon beside a stand-in worker that only logs its start.
    const QString resources = sandbox.rootPath(QStringLiteral("Suite.app/Contents/Resources"));
    const QString daemonBundle = resources + QStringLiteral("/VeltraneDaemon.app");
    const QString builtDaemon = QStringLiteral(VELTRANE_BUNDLE_PATH "/Contents/Resources/VeltraneDaemon.app");
    const QString workerReports = sandbox.rootPath(QStringLiteral("worker-reports"));
    const QString safariReports = sandbox.rootPath(QStringLiteral("safari-reports"));
    const QString safari = FakeBundle::make(
        sandbox.rootPath(QStringLiteral("Applications")), QStringLiteral("Safari.app"),
        {QStringLiteral("com.apple.Safari"), QStringLiteral("Safari"), QStringLiteral("Safari")});
    const FakeBundle::Description worker(QStringLiteral("com.orvando.VeltraneWorker"),
                                         QStringLiteral("VeltraneWorker"), QStringLiteral("VeltraneWorker"));
    if (!QDir().mkpath(daemonBundle + QStringLiteral("/Contents/MacOS")) || !QDir().mkpath(workerReports) ||
        !QDir().mkpath(safariReports) ||
        !QFile::copy(builtDaemon + QStringLiteral("/Contents/Info.plist"),
                     daemonBundle + QStringLiteral("/Contents/Info.plist")) ||
        !QFile::copy(builtDaemon + QStringLiteral("/Contents/MacOS/VeltraneDaemon"),
                     daemonBundle + QStringLiteral("/Contents/MacOS/VeltraneDaemon")) ||
        FakeBundle::make(resources, QStringLiteral("VeltraneWorker.app"), worker).isEmpty() ||
        safari.isEmpty()) {
        std::fprintf(stderr, "cannot set up the sandbox\n");
        return 1;
    }

    // The daemon's workers inherit its environment: the stand-in worker reports its start.
    QProcessEnvironment daemonEnvironment = sandbox.environment();
    daemonEnvironment.insert(QStringLiteral("FAKE_APP_REPORT_DIR"), workerReports);
    QProcess daemon;
    daemon.setProcessEnvironment(daemonEnvironment);
    daemon.start(daemonBundle + QStringLiteral("/Contents/MacOS/VeltraneDaemon"), {});
    if (!daemon.waitForStarted()) {
        std::fprintf(stderr, "the daemon did not start\n");
        return 1;
    }
    QTest::qWait(1000);

    // (1) From a browser's quit to the worker's start.
    QProcessEnvironment safariEnvironment = sandbox.environment();
    safariEnvironment.insert(QStringLiteral("FAKE_APP_REPORT_DIR"), safariReports);
    QList<double> latencies;
    for (int i = 0; i < quits; ++i) {
        QProcess browser;
        browser.setProcessEnvironment(safariEnvironment);
        browser.start(safari + QStringLiteral("/Contents/MacOS/Safari"), {});
        if (!QTest::qWaitFor([&] { return FakeBundle::reports(safariReports).size() > i; }, 5000))
            break;
        QTest::qWait(1200); // the daemon notices new processes within a second
        const auto workersBefore = startTimes(workerReports);
        const qint64 quitAt = nowNanoseconds();
        ::kill(static_cast<pid_t>(browser.processId()), SIGTERM);
        browser.waitForFinished(5000);
        if (!QTest::qWaitFor([&] { return startTimes(workerReports).size() > workersBefore.size(); }, 5000)) {
            std::fprintf(stderr, "quit %d: no worker started\n", i + 1);
            continue;
        }
        // One figure per quit: the first worker that started after it; a worker started by some other
        // application of this user quitting is stopped as well.
        const auto workers = startTimes(workerReports);
        qint64 firstStart = -1;
        for (auto it = workers.cbegin(); it != workers.cend(); ++it) {
            if (workersBefore.contains(it.key()))
                continue;
            if (firstStart < 0 || it.value() < firstStart)
                firstStart = it.value();
            ::kill(static_cast<pid_t>(it.key()), SIGTERM);
        }
        latencies.append(static_cast<double>(firstStart - quitAt) / 1e6);
    }
    if (!latencies.isEmpty())
        std::printf("quit -> worker start over %lld quits: median %.1f ms, p95 %.1f ms, max %.1f ms "
                    "(target p95 < 100 ms)\n",
                    static_cast<long long>(latencies.size()), percentile(latencies, 0.5),
                    percentile(latencies, 0.95), percentile(latencies, 1.0));

    // (2) Idle among a few hundred processes.
    const QString idleProgram = sandbox.rootPath(QStringLiteral("idle/FakeApp"));
    if (!FakeBundle::installProgram(idleProgram))
        return 1;
    std::vector<std::unique_ptr<QProcess>> crowd;
    for (int i = 0; i < idleProcesses; ++i) {
        crowd.push_back(std::make_unique<QProcess>());
        crowd.back()->start(idleProgram, {});
    }
    QTest::qWait(3000);
    const qint64 before = ProcessTimes::cpuTicks(daemon.processId());
    QTest::qWait(idleSeconds * 1000);
    const qint64 spent = ProcessTimes::cpuTicks(daemon.processId()) - before;
    const double seconds = static_cast<double>(spent) / static_cast<double>(::sysconf(_SC_CLK_TCK));
    std::printf("idle CPU over %d s with %d more processes: %.3f s = %.3f %% of one core (target < 0.5 %%)\n",
                idleSeconds, idleProcesses, seconds, 100.0 * seconds / idleSeconds);

    // (3) Memory.
    std::printf("resident memory: %s now, %s at most\n",
                procField(daemon.processId(), "status", "VmRSS:").constData(),
                procField(daemon.processId(), "status", "VmHWM:").constData());

    for (auto& process : crowd) {
        process->terminate();
        process->waitForFinished(2000);
    }
    daemon.terminate();
    daemon.waitForFinished(2000);
    return 0;
}
