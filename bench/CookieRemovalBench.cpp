// Times the removal of 15,000 of 20,000 Chrome cookies three ways on copies of one database: one
// connection and one transaction per record (as a naive cleaner would), the worker's own cookie
// step, and one set-based DELETE of the same rows as the floor. Then a whole cookie step over three
// such profiles. The fast ways run several times on fresh copies and report their medians.
#include "CookieStores.h"
#include "worker/Sqlite.h"
#include "worker/WorkerAppDelegate.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>

namespace {

constexpr int cookieCount = 20000;
constexpr int goneCount = 15000;
constexpr int repeats = 7;
const QString chromeFolder = QStringLiteral("/Library/Application Support/Google/Chrome/");

QList<CookieStores::Cookie> generatedCookies()
{
    QList<CookieStores::Cookie> cookies;
    for (int i = 0; i < cookieCount; ++i) {
        const QString site = i < goneCount ? QStringLiteral("gone.test") : QStringLiteral("kept.com");
        cookies.append({QStringLiteral("host%1.").arg(i % 700) + site, QStringLiteral("n%1").arg(i),
                        13300000000000000 + i});
    }
    return cookies;
}

qint64 rowsIn(const QString& database)
{
    Sqlite sqlite;
    if (!sqlite.open(database))
        return -1;
    const auto rows = sqlite.executeQuery(QStringLiteral("SELECT COUNT(*) AS n FROM cookies;"));
    return rows ? rows->first().value(QStringLiteral("n")).toLongLong() : -1;
}

QString quoted(const QString& value)
{
    return QString(value).replace(QLatin1Char('\''), QLatin1String("''"));
}

// Open, DELETE, close for every record, each DELETE its own transaction.
double literalRemoval(const QString& database)
{
    Sqlite reader;
    if (!reader.open(database))
        return -1;
    const auto rows =
        reader.executeQuery(QStringLiteral("SELECT * FROM cookies WHERE host_key LIKE '%.gone.test';"));
    reader.close();
    QElapsedTimer clock;
    clock.start();
    for (const QVariantMap& row : rows.value_or(Sqlite::Rows())) {
        Sqlite sqlite;
        if (!sqlite.open(database))
            continue;
        (void)sqlite.executeQuery(
            QStringLiteral("DELETE FROM cookies WHERE host_key = '%1' AND creation_utc = '%2';")
                .arg(quoted(row.value(QStringLiteral("host_key")).toString()),
                     quoted(row.value(QStringLiteral("creation_utc")).toString())));
    }
    return double(clock.nsecsElapsed()) / 1e9;
}

const KeepList keepList{{QStringLiteral("kept.com")}};

// Reading and sorting alone; the step does this first.
double workerInventory()
{
    QElapsedTimer clock;
    clock.start();
    const CookieInventory inventory = WorkerAppDelegate::cookies(QStringLiteral("Google Chrome"), keepList);
    const double seconds = double(clock.nsecsElapsed()) / 1e9;
    return inventory.cookieCount == goneCount ? seconds : -1;
}

double workerRemoval()
{
    QElapsedTimer clock;
    clock.start();
    const QList<qint64> counts = WorkerAppDelegate({}).removeCookies(QStringLiteral("Google Chrome"),
                                                                     KeepList{{QStringLiteral("kept.com")}});
    const double seconds = double(clock.nsecsElapsed()) / 1e9;
    return counts.value(0) > 0 ? seconds : -1;
}

double setRemoval(const QString& database)
{
    Sqlite sqlite;
    if (!sqlite.open(database))
        return -1;
    QElapsedTimer clock;
    clock.start();
    if (!sqlite.executeNonQuery(QStringLiteral("DELETE FROM cookies WHERE host_key LIKE '%.gone.test';")))
        return -1;
    return double(clock.nsecsElapsed()) / 1e9;
}

bool placeProfiles(const QString& home, const QString& source, const QStringList& profiles)
{
    QByteArray entries;
    for (const QString& profile : profiles) {
        entries += (entries.isEmpty() ? "" : ",") + ("\"" + profile.toUtf8() + "\":{\"name\":\"n\"}");
        QDir().mkpath(home + chromeFolder + profile);
        QFile::remove(home + chromeFolder + profile + QStringLiteral("/Cookies"));
        if (!QFile::copy(source, home + chromeFolder + profile + QStringLiteral("/Cookies")))
            return false;
    }
    QFile localState(home + chromeFolder + QStringLiteral("Local State"));
    return localState.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           localState.write("{\"profile\":{\"info_cache\":{" + entries + "}}}") > 0;
}

double median(QList<double> times)
{
    std::sort(times.begin(), times.end());
    return times.at(times.size() / 2);
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication application(argc, argv);
    QTemporaryDir work;
    const QString home = work.path() + QStringLiteral("/home");
    qputenv("HOME", home.toUtf8());
    const QString source = work.path() + QStringLiteral("/Cookies");
    if (!CookieStores::writeChrome(source, generatedCookies()))
        return 1;

    const QString literalCopy = work.path() + QStringLiteral("/literal");
    const QString setCopy = work.path() + QStringLiteral("/set");
    if (!QFile::copy(source, literalCopy))
        return 1;
    const double literal = literalRemoval(literalCopy);
    QList<double> inventories, workers, floors;
    for (int run = 0; run < repeats; ++run) {
        QFile::remove(setCopy);
        if (!QFile::copy(source, setCopy) || !placeProfiles(home, source, {QStringLiteral("Default")}))
            return 1;
        inventories.append(workerInventory());
        workers.append(workerRemoval());
        floors.append(setRemoval(setCopy));
    }
    const double inventory = median(inventories);
    const double worker = median(workers);
    const double floor = median(floors);
    const qint64 left = rowsIn(home + chromeFolder + QStringLiteral("Default/Cookies"));
    if (literal < 0 || inventory < 0 || worker < 0 || floor < 0 || left != rowsIn(setCopy) ||
        left != rowsIn(literalCopy))
        return 1;
    std::printf("SQLite %s; %d cookies, %d removed, %lld left in each copy\n", qPrintable(Sqlite::version()),
                cookieCount, goneCount, left);
    std::printf("(a) open/DELETE/close per record: %8.3f s (once); (b) and (c): medians of %d runs\n",
                literal, repeats);
    std::printf("(b) worker cookie step:           %8.3f s   (a)/(b) = %.1f\n", worker, literal / worker);
    std::printf("    of which listing the cookies: %8.3f s, deleting them: %.3f s\n", inventory,
                worker - inventory);
    std::printf("(c) one set-based DELETE:         %8.3f s   (b)/(c) = %.2f, deleting/(c) = %.2f\n", floor,
                worker / floor, (worker - inventory) / floor);

    if (!placeProfiles(home, source,
                       {QStringLiteral("Default"), QStringLiteral("Profile 1"), QStringLiteral("Profile 2")}))
        return 1;
    const double threeProfiles = workerRemoval();
    if (threeProfiles < 0)
        return 1;
    std::printf("worker cookie step, three profiles (%d removals): %.3f s\n", 3 * goneCount, threeProfiles);
    return 0;
}
