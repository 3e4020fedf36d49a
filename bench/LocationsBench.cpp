// Times a Chromium pass over a home with three profiles of 20,000 cookies each (15,000 of them of
// sites not kept), laid out once as the suite's first layout and once where Chromium lives on this
// system ("~/.config/chromium", "~/.cache/chromium"). Each layout runs several times on a fresh
// home; the medians stand side by side with their ratio. The pass is the worker's own: the context
// (locations, profiles, the running-browser guard), cookies, web storage, Flash and caches.
#include "BenchCookies.h"
#include "worker/WorkerAppDelegate.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <ctime>

namespace {

constexpr int cookieCount = 20000;
constexpr int goneCount = 15000;
constexpr int repeats = 15;
const QStringList profiles{QStringLiteral("Default"), QStringLiteral("Profile 1"),
                           QStringLiteral("Profile 2")};

struct Layout
{
    const char* name;
    QString folder;
    QString cache;
};

bool writeFile(const QString& path, const QByteArray& contents)
{
    QDir().mkpath(path.section(QLatin1Char('/'), 0, -2));
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(contents) == contents.size();
}

// One fresh home with the layout's three profiles, built from a template database by copying.
bool buildHome(const QString& home, const Layout& layout, const QString& templateDatabase)
{
    QByteArray entries;
    for (const QString& profile : profiles)
        entries += (entries.isEmpty() ? "" : ",") + ("\"" + profile.toUtf8() + "\":{\"name\":\"n\"}");
    if (!writeFile(home + layout.folder + QStringLiteral("/Local State"),
                   "{\"profile\":{\"info_cache\":{" + entries + "}}}"))
        return false;
    for (const QString& profile : profiles) {
        const QString folder = home + layout.folder + QLatin1Char('/') + profile;
        if (!QDir().mkpath(folder) || !QFile::copy(templateDatabase, folder + QStringLiteral("/Cookies")) ||
            !writeFile(folder + QStringLiteral("/Local Storage/http_gone.test_0.localstorage"), "x") ||
            !writeFile(home + layout.cache + QLatin1Char('/') + profile +
                           QStringLiteral("/Cache/Cache_Data/data"),
                       QByteArray(4096, 'c')))
            return false;
    }
    return true;
}

// This process's CPU time in milliseconds: less disturbed than wall time by other work on the machine.
double cpuMilliseconds()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication application(argc, argv);
    QTemporaryDir scratch;
    const QString templateDatabase = scratch.path() + QStringLiteral("/template/Cookies");
    if (!CookieStores::writeChrome(templateDatabase, BenchCookies::generated(cookieCount, goneCount))) {
        std::fprintf(stderr, "cannot write the template database\n");
        return 1;
    }
    const QList<Layout> layouts{
        {"first layout", QStringLiteral("/Library/Application Support/Chromium"),
         QStringLiteral("/Library/Caches/Chromium")},
        {"Linux layout", QStringLiteral("/.config/chromium"), QStringLiteral("/.cache/chromium")},
    };
    const KeepList keep{{QStringLiteral("kept.com")}, false};
    QList<QList<double>> times(layouts.size());
    QList<QList<double>> cpuTimes(layouts.size());
    QList<qint64> removed(layouts.size());
    // The layouts take turns, each going first every other round, so that a slower phase of the
    // machine and the order of the runs hit both alike.
    for (int round = 0; round < repeats; ++round) {
        for (qsizetype turn = 0; turn < layouts.size(); ++turn) {
            const qsizetype index = round % 2 == 0 ? turn : layouts.size() - 1 - turn;
            const QString home = scratch.path() + QStringLiteral("/home-%1-%2").arg(index).arg(round);
            if (!buildHome(home, layouts.at(index), templateDatabase)) {
                std::fprintf(stderr, "cannot build the home\n");
                return 1;
            }
            qputenv("HOME", QFile::encodeName(home));
            QElapsedTimer clock;
            clock.start();
            const double cpuStart = cpuMilliseconds();
            PassContext context = PassContext::forBrowser(QStringLiteral("Chromium"), SecureRemoval(false));
            context.keep = keep;
            const QList<qint64> counts = WorkerAppDelegate::removeCookies(context);
            (void)WorkerAppDelegate::removeNonFavLocalStorage(context);
            (void)WorkerAppDelegate::removeFlash(context);
            WorkerAppDelegate::removeBrowserCache(context);
            times[index].append(double(clock.nsecsElapsed()) / 1e6);
            cpuTimes[index].append(cpuMilliseconds() - cpuStart);
            removed[index] = counts.value(0);
            QDir(home).removeRecursively();
        }
    }
    std::printf("Chromium pass, 3 profiles x %d cookies (%d removed each), median of %d runs\n", cookieCount,
                goneCount, repeats);
    for (qsizetype index = 0; index < layouts.size(); ++index) {
        std::printf("  %-13s wall %8.1f ms   CPU %8.1f ms   cookies removed %lld\n", layouts.at(index).name,
                    BenchCookies::median(times.at(index)), BenchCookies::median(cpuTimes.at(index)),
                    static_cast<long long>(removed.at(index)));
    }
    std::printf("  ratio Linux / first layout: wall %.3f   CPU %.3f\n",
                BenchCookies::median(times.at(1)) / BenchCookies::median(times.at(0)),
                BenchCookies::median(cpuTimes.at(1)) / BenchCookies::median(cpuTimes.at(0)));

    // What differs between the layouts is only how the pass finds its profiles: the context alone.
    constexpr int contextRounds = 200;
    std::printf("Pass context alone (locations, profiles, running-browser guard), median of %d\n",
                contextRounds);
    for (qsizetype index = 0; index < layouts.size(); ++index) {
        const QString home = scratch.path() + QStringLiteral("/context-%1").arg(index);
        if (!buildHome(home, layouts.at(index), templateDatabase))
            return 1;
        qputenv("HOME", QFile::encodeName(home));
        QList<double> contextTimes;
        for (int round = 0; round < contextRounds; ++round) {
            QElapsedTimer clock;
            clock.start();
            const PassContext context =
                PassContext::forBrowser(QStringLiteral("Chromium"), SecureRemoval(false));
            contextTimes.append(double(clock.nsecsElapsed()) / 1e3);
            if (context.profiles.size() != profiles.size())
                return 1;
        }
        std::printf("  %-13s %8.1f us\n", layouts.at(index).name, BenchCookies::median(contextTimes));
    }
    return 0;
}
