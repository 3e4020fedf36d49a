// Times the removal of 15,000 of 20,000 Chrome cookies three ways on copies of one database: one
// connection and one transaction per record (as a naive cleaner would), the worker's own cookie
// step, and one set-based DELETE of the same rows as the floor. Then a whole cookie step over three
// such profiles with every cookie removed, beside one set-based DELETE per database. The fast ways
// run several times on fresh copies and report their medians. Then the step over one database of
// 250,000, 500,000 and 1,000,000 cookies, each in a child process of its own so that its peak
// memory is its own, and "Local State" files of 25,000 to 200,000 profiles (alone: --profiles).
#include "BenchCookies.h"
#include "worker/Sqlite.h"
#include "worker/WorkerAppDelegate.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <QProcess>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <sys/resource.h>

namespace {

constexpr int cookieCount = 20000;
constexpr int goneCount = 15000;
constexpr int repeats = 7;
const QString chromeFolder = QStringLiteral("/Library/Application Support/Google/Chrome/");

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

// Every cookie of every profile goes: nothing is kept.
double workerRemovalOfAll()
{
    QElapsedTimer clock;
    clock.start();
    const QList<qint64> counts =
        WorkerAppDelegate({}).removeCookies(QStringLiteral("Google Chrome"), KeepList{});
    const double seconds = double(clock.nsecsElapsed()) / 1e9;
    return counts.value(0) == 3 * cookieCount ? seconds : -1;
}

// One set-based DELETE per database, the rows found by the database alone.
double setRemovalOfAll(const QStringList& databases, const QString& statement)
{
    QElapsedTimer clock;
    clock.start();
    for (const QString& database : databases) {
        Sqlite sqlite;
        if (!sqlite.open(database) || !sqlite.executeNonQuery(statement))
            return -1;
    }
    return double(clock.nsecsElapsed()) / 1e9;
}

// A Chrome jar of `count` cookies over 50,000 hosts, written by SQLite itself.
bool writeLargeJar(const QString& path, qint64 count)
{
    if (!CookieStores::writeChrome(path, {}))
        return false;
    Sqlite sqlite;
    return sqlite.open(path) && sqlite.beginTransaction() &&
           sqlite.executeNonQuery(
               QStringLiteral(
                   "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < ?) "
                   "INSERT INTO cookies SELECT 13300000000000000 + i, 'host' || (i % 50000) || "
                   "CASE WHEN i % 4 = 0 THEN '.kept.com' ELSE '.gone.test' END, '', 'n' || i, 'v', "
                   "x'00', '/', 13400000000000000, 1, 1, 13300000000000000, 1, 1, 1, 0, 2, 443, "
                   "13300000000000000, 0, 0 FROM n;"),
               QVariantList{count}) &&
           sqlite.commit();
}

// The child's side: the cookie step alone over the home it was given; prints seconds and peak KiB.
int runLargePass()
{
    QElapsedTimer clock;
    clock.start();
    const QList<qint64> counts =
        WorkerAppDelegate({}).removeCookies(QStringLiteral("Google Chrome"), keepList);
    const double seconds = double(clock.nsecsElapsed()) / 1e9;
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("%.3f %ld %lld\n", seconds, usage.ru_maxrss, counts.value(0));
    return 0;
}

void largePasses(const QString& work, const QString& program)
{
    std::printf("one database, three quarters of its cookies removed (child process per size):\n");
    for (const qint64 count : {250000, 500000, 1000000}) {
        const QString home = work + QStringLiteral("/large%1").arg(count);
        const QString database = home + chromeFolder + QStringLiteral("Default/Cookies");
        QDir().mkpath(home + chromeFolder + QStringLiteral("Default"));
        QFile localState(home + chromeFolder + QStringLiteral("Local State"));
        if (!writeLargeJar(database, count) || !localState.open(QIODevice::WriteOnly) ||
            localState.write(R"({"profile":{"info_cache":{"Default":{"name":"n"}}}})") <= 0)
            return;
        localState.close();
        QProcess child;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("HOME"), home);
        child.setProcessEnvironment(environment);
        child.start(program, {QStringLiteral("--large-pass")});
        child.waitForFinished(-1);
        const QList<QByteArray> figures = child.readAllStandardOutput().trimmed().split(' ');
        if (figures.size() != 3)
            return;
        const double seconds = figures.at(0).toDouble();
        std::printf(
            "  %8lld cookies: %7.3f s, %6.2f us per cookie, peak memory %6.1f MiB, %lld removed, %lld left\n",
            count, seconds, seconds * 1e6 / double(count), figures.at(1).toDouble() / 1024.0,
            figures.at(2).toLongLong(), rowsIn(database));
        QDir(home).removeRecursively();
    }
}

// Local State files of many profiles, none of them with a folder: reading the list, and the whole
// cookie step that visits them.
void manyProfiles(const QString& work)
{
    std::printf("Local State of many profiles (no profile folders):\n");
    for (const int count : {25000, 50000, 100000, 200000}) {
        const QString home = work + QStringLiteral("/profiles%1").arg(count);
        qputenv("HOME", home.toUtf8());
        QByteArray entries;
        for (int i = 0; i < count; ++i)
            entries +=
                (i ? "," : "") + QByteArray("\"Profile ") + QByteArray::number(i) + "\":{\"name\":\"n\"}";
        QDir().mkpath(home + chromeFolder);
        QFile localState(home + chromeFolder + QStringLiteral("Local State"));
        if (!localState.open(QIODevice::WriteOnly) ||
            localState.write("{\"profile\":{\"info_cache\":{" + entries + "}}}") <= 0)
            return;
        localState.close();
        QElapsedTimer clock;
        clock.start();
        const qsizetype profiles = WorkerAppDelegate::userProfiles(QStringLiteral("Google Chrome")).size();
        const double reading = double(clock.nsecsElapsed()) / 1e9;
        clock.restart();
        WorkerAppDelegate worker({});
        (void)worker.removeCookies(QStringLiteral("Google Chrome"), keepList);
        const double step = double(clock.nsecsElapsed()) / 1e9;
        clock.restart();
        (void)worker.removeNonFavLocalStorage(QStringLiteral("Google Chrome"), keepList);
        (void)worker.removeFlash(QStringLiteral("Google Chrome"), keepList);
        const double others = double(clock.nsecsElapsed()) / 1e9;
        std::printf("  %6d profiles (%lld read): reading %.3f s, cookie step %.3f s, storage and Flash steps "
                    "%.3f s\n",
                    count, qint64(profiles), reading, step, others);
    }
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication application(argc, argv);
    if (argc > 1 && std::strcmp(argv[1], "--large-pass") == 0)
        return runLargePass();
    if (argc > 1 && std::strcmp(argv[1], "--profiles") == 0) {
        QTemporaryDir work;
        manyProfiles(work.path());
        return 0;
    }
    QTemporaryDir work;
    const QString home = work.path() + QStringLiteral("/home");
    qputenv("HOME", home.toUtf8());
    const QString source = work.path() + QStringLiteral("/Cookies");
    if (!CookieStores::writeChrome(source, BenchCookies::generated(cookieCount, goneCount)))
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
    const double inventory = BenchCookies::median(inventories);
    const double worker = BenchCookies::median(workers);
    const double floor = BenchCookies::median(floors);
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

    const QStringList three{QStringLiteral("Default"), QStringLiteral("Profile 1"),
                            QStringLiteral("Profile 2")};
    if (!placeProfiles(home, source, three))
        return 1;
    const double threeProfiles = workerRemoval();
    if (threeProfiles < 0)
        return 1;
    std::printf("worker cookie step, three profiles (%d removals): %.3f s\n", 3 * goneCount, threeProfiles);

    // Every cookie of three profiles, beside one set-based DELETE on copies of the same databases.
    QList<double> allWorkers, allFloors, allTruncations;
    QStringList copies;
    for (const QString& profile : three)
        copies.append(work.path() + QStringLiteral("/floor-") + profile);
    for (int run = 0; run < repeats; ++run) {
        for (const QString& copy : std::as_const(copies)) {
            QFile::remove(copy);
            if (!QFile::copy(source, copy))
                return 1;
        }
        if (!placeProfiles(home, source, three))
            return 1;
        allWorkers.append(workerRemovalOfAll());
        allFloors.append(setRemovalOfAll(
            copies,
            QStringLiteral(
                "DELETE FROM cookies WHERE host_key LIKE '%.gone.test' OR host_key LIKE '%.kept.com';")));
        for (const QString& copy : std::as_const(copies)) {
            QFile::remove(copy);
            if (!QFile::copy(source, copy))
                return 1;
        }
        // Without a WHERE clause SQLite drops the table's pages whole instead of deleting rows.
        allTruncations.append(setRemovalOfAll(copies, QStringLiteral("DELETE FROM cookies;")));
    }
    const double allWorker = BenchCookies::median(allWorkers);
    const double allFloor = BenchCookies::median(allFloors);
    const double allTruncation = BenchCookies::median(allTruncations);
    if (allWorker < 0 || allFloor < 0 || allTruncation < 0 ||
        rowsIn(home + chromeFolder + QStringLiteral("Profile 2/Cookies")) != 0)
        return 1;
    std::printf("three profiles, all %d cookies removed (medians of %d runs):\n", 3 * cookieCount, repeats);
    std::printf("  worker cookie step %.3f s   one DELETE ... WHERE per database %.3f s   ratio %.2f\n",
                allWorker, allFloor, allWorker / allFloor);
    std::printf("  worker cookie step %.3f s   one DELETE without WHERE per database %.3f s   ratio %.2f\n",
                allWorker, allTruncation, allWorker / allTruncation);

    largePasses(work.path(), QCoreApplication::applicationFilePath());
    manyProfiles(work.path());
    return 0;
}
