// Figures of the quit watch that the daemon runs: what it costs while nothing happens, with a few
// hundred processes running, and how long an application's exit takes to be reported.
//   WorkspaceWatchBench [idle seconds, default 30] [quits, default 50] [processes, default 300]
#include "FakeBundle.h"
#include "platform/Workspace.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

double cpuSeconds()
{
    rusage usage = {};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

void runEventLoopFor(int milliseconds)
{
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    loop.exec();
}

double percentile(std::vector<double> values, double fraction)
{
    std::sort(values.begin(), values.end());
    const auto index = static_cast<size_t>(fraction * static_cast<double>(values.size() - 1) + 0.5);
    return values.at(index);
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication application(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    const int idleSeconds = arguments.size() > 1 ? arguments.at(1).toInt() : 30;
    const int quits = arguments.size() > 2 ? arguments.at(2).toInt() : 50;
    const int processes = arguments.size() > 3 ? arguments.at(3).toInt() : 300;

    QTemporaryDir folder;
    qputenv("VELTRANE_ROOT", folder.path().toLocal8Bit());
    // Plain processes, with no pipes to this one that its event loop would have to watch.
    std::vector<pid_t> sleepers;
    for (int index = 0; index < processes; ++index) {
        pid_t sleeper = 0;
        char program[] = "sleep";
        char duration[] = "100000";
        char* sleepArguments[] = {program, duration, nullptr};
        if (posix_spawnp(&sleeper, program, nullptr, nullptr, sleepArguments, environ) == 0)
            sleepers.push_back(sleeper);
    }

    auto& workspace = Workspace::sharedWorkspace();
    workspace.startObservingTerminations();
    // Past the time in which a young process is looked at again for an exec.
    runEventLoopFor(6000);
    const double cpuBefore = cpuSeconds();
    QElapsedTimer wall;
    wall.start();
    runEventLoopFor(idleSeconds * 1000);
    const double idleShare = (cpuSeconds() - cpuBefore) / (static_cast<double>(wall.elapsed()) / 1000.0);
    printf("idle: %.3f %% of one core over %d s, %d other processes running\n", idleShare * 100.0,
           idleSeconds, processes);

    const QString bundle =
        FakeBundle::make(folder.path() + QStringLiteral("/Applications"), QStringLiteral("Firefox.app"),
                         {QStringLiteral("bench.workspace.Firefox"), QStringLiteral("Firefox")});
    std::vector<double> latencies;
    QEventLoop waitForReport;
    QElapsedTimer sinceExit;
    QTimer timeout;
    timeout.setSingleShot(true);
    timeout.setInterval(5000);
    QObject::connect(&timeout, &QTimer::timeout, &waitForReport, &QEventLoop::quit);
    // Only its own application: other programs of this user may come and go meanwhile.
    QObject::connect(&workspace, &Workspace::didTerminateApplication, &waitForReport,
                     [&](const QString&, const QString& bundleIdentifier) {
                         if (bundleIdentifier != QLatin1String("bench.workspace.Firefox"))
                             return;
                         latencies.push_back(static_cast<double>(sinceExit.nsecsElapsed()) / 1e6);
                         timeout.stop();
                         waitForReport.quit();
                     });
    for (int quit = 0; quit < quits; ++quit) {
        if (!workspace.launchApplicationAtPath(bundle, {}))
            return 1;
        // Long enough for the watch to have found it (it looks twice a second).
        runEventLoopFor(1000);
        const auto running = FakeBundle::runningApplicationsUnder(folder.path());
        if (running.isEmpty())
            return 1;
        timeout.start();
        sinceExit.start();
        kill(static_cast<pid_t>(running.first().processIdentifier), SIGKILL);
        waitForReport.exec();
    }
    if (latencies.empty())
        return 1;
    printf("exit -> report, %zu of %d quits reported: median %.2f ms, 95th percentile %.2f ms, max %.2f ms\n",
           latencies.size(), quits, percentile(latencies, 0.5), percentile(latencies, 0.95),
           *std::max_element(latencies.begin(), latencies.end()));

    for (const pid_t sleeper : sleepers) {
        kill(sleeper, SIGKILL);
        waitpid(sleeper, nullptr, 0);
    }
    return 0;
}
