// The built worker killed with SIGKILL in the middle of a pass: at spread-out moments, and at each
// of its unlink, rename and sync calls (strace injects the signal there). Every database must pass
// its integrity check with every favourite's data in place, and one more complete pass must leave
// exactly what one uninterrupted pass leaves.
#include "CookieStores.h"
#include "Sandbox.h"
#include "TestKeyring.h"
#include "platform/HttpCookieStorage.h"
#include "worker/Sqlite.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QMap>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTest>
#include <QThread>

using CookieStores::Cookie;

namespace {

const QString chrome = QStringLiteral("home/Library/Application Support/Google/Chrome/");
const QString silverlight =
    QStringLiteral("home/Library/Application Support/Microsoft/Silverlight/is/a/b/c/");
const QString safariJar = QStringLiteral("home/Library/Cookies/Cookies.binarycookies");
const QStringList commitCalls{QStringLiteral("unlink"),    QStringLiteral("unlinkat"),
                              QStringLiteral("rename"),    QStringLiteral("renameat"),
                              QStringLiteral("renameat2"), QStringLiteral("fsync"),
                              QStringLiteral("fdatasync")};

// The favourite is example.com; gone.test and other.test are not kept.
const QList<Cookie> cookies{{QStringLiteral(".example.com"), QStringLiteral("session"), 13300000000000001},
                            {QStringLiteral(".example.com"), QStringLiteral("SIDCC"), 13300000000000002},
                            {QStringLiteral(".gone.test"), QStringLiteral("pref"), 13300000000000003},
                            {QStringLiteral("other.test"), QStringLiteral("x"), 13300000000000004}};
const QStringList origins{QStringLiteral("http_example.com_0"), QStringLiteral("http_gone.test_0"),
                          QStringLiteral("https_www.other.test_0"), QStringLiteral("chrome-extension_abc_0")};

bool write(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

bool writeSilverlightStore(const QString& run, const QString& store, const QString& site,
                           const QString& group)
{
    return write(run + silverlight + "s/" + store + "/id.dat", site.toUtf8()) &&
           write(run + silverlight + "s/" + store + "/group.dat", group.toUtf8()) &&
           write(run + silverlight + "s/" + store + "/f/data.bin", QByteArray(3000, 'd')) &&
           write(run + silverlight + "g/" + group + "/quota.dat", "1");
}

// A home with something of every kind for the pass to remove or keep, under `run`/home.
bool writeHome(const QString& run, bool withKeptSilverlightStore)
{
    bool written = write(run + chrome + "Local State",
                         R"({"profile":{"info_cache":{"Default":{"name":"a"},"Profile 1":{"name":"b"}}}})");
    for (const QString& profile : {QStringLiteral("Default/"), QStringLiteral("Profile 1/")}) {
        const QString folder = run + chrome + profile;
        QStringList rows;
        for (const QString& origin : origins) {
            rows.append(
                QStringLiteral("INSERT INTO Databases(origin, name) VALUES('%1', 'db');").arg(origin));
            written = written && write(folder + "databases/" + origin + "/1", QByteArray(2000, 'w')) &&
                      write(folder + "databases/" + origin + "/2", QByteArray(100, 'x'));
        }
        rows.prepend(
            QStringLiteral("CREATE TABLE Databases(id INTEGER PRIMARY KEY, origin TEXT, name TEXT);"));
        written =
            written && CookieStores::writeChrome(folder + "Cookies", cookies) &&
            CookieStores::writeChannelIds(folder + "Origin Bound Certs",
                                          {QStringLiteral("example.com"), QStringLiteral("gone.test")}) &&
            CookieStores::writeDatabase(folder + "databases/Databases.db", rows);
        for (const QString& origin :
             {QStringLiteral("http_example.com_0"), QStringLiteral("http_gone.test_0")}) {
            written = written && write(folder + "Local Storage/" + origin + ".localstorage", "ls") &&
                      write(folder + "Local Storage/" + origin + ".localstorage-journal", "j");
        }
    }
    written = written && write(run + safariJar, CookieStores::binaryCookies(cookies));
    written =
        written &&
        write(run + "home/Library/Preferences/Macromedia/Flash Player/#SharedObjects/R/gone.test/a.sol",
              "f") &&
        write(run + "home/Library/Preferences/Macromedia/Flash Player/#SharedObjects/R/example.com/a.sol",
              "f");
    written =
        written &&
        writeSilverlightStore(run, QStringLiteral("s1"), QStringLiteral("gone.test"), QStringLiteral("g1")) &&
        writeSilverlightStore(run, QStringLiteral("s2"), QStringLiteral("other.test"), QStringLiteral("g2"));
    if (withKeptSilverlightStore)
        written = written && writeSilverlightStore(run, QStringLiteral("s3"),
                                                   QStringLiteral("www.example.com"), QStringLiteral("g3"));
    return written && QDir().mkpath(run + "root");
}

bool isDatabase(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) && file.read(16) == QByteArray("SQLite format 3\0", 16);
}

// Every table's rows, sorted: two databases with the same rows are the same to the browser.
QString databaseContents(const QString& path)
{
    Sqlite sqlite;
    if (!sqlite.open(path))
        return QStringLiteral("unopenable");
    QStringList lines;
    const auto tables = sqlite.executeQuery(
        QStringLiteral("SELECT name FROM sqlite_master WHERE type = 'table' ORDER BY name;"));
    for (const auto& table : tables.value_or(Sqlite::Rows())) {
        const QString name = table.value(QStringLiteral("name")).toString();
        const auto rows = sqlite.executeQuery(QStringLiteral("SELECT * FROM \"%1\";").arg(name));
        for (const auto& row : rows.value_or(Sqlite::Rows())) {
            QStringList values;
            for (auto it = row.cbegin(); it != row.cend(); ++it)
                values.append(it.key() + QLatin1Char('=') + it.value().toString());
            lines.append(name + QLatin1Char(':') + values.join(QLatin1Char(',')));
        }
    }
    lines.sort();
    return lines.join(QLatin1Char('\n'));
}

// What is on disk under `run`: every entry with its type, files by content, databases by rows.
QMap<QString, QString> snapshot(const QString& run)
{
    QMap<QString, QString> entries;
    QDirIterator it(run, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QFileInfo info = it.fileInfo();
        QString value = info.isSymLink() ? QStringLiteral("link")
                        : info.isDir()   ? QStringLiteral("folder")
                                         : QString();
        if (value.isEmpty() && isDatabase(path)) {
            value = databaseContents(path);
        } else if (value.isEmpty()) {
            QFile file(path);
            value = file.open(QIODevice::ReadOnly)
                        ? QString::fromLatin1(
                              QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha1).toHex())
                        : QStringLiteral("unreadable");
        }
        entries.insert(path.mid(run.size()), value);
    }
    return entries;
}

bool copyTree(const QString& from, const QString& to)
{
    return QProcess::execute(QStringLiteral("cp"), {QStringLiteral("-a"), from, to}) == 0;
}

} // namespace

class WorkerKillTest : public QObject
{
    Q_OBJECT

    Sandbox m_sandbox;
    TestKeyring* m_keyring = nullptr;
    QString m_strace;

    QString worker() const { return BuiltSuite::executable(BuiltSuite::workerBundle()); }

    QProcessEnvironment environment(const QString& run) const
    {
        QProcessEnvironment environment = m_sandbox.environment();
        environment.insert(QStringLiteral("HOME"), run + QStringLiteral("home"));
        environment.insert(QStringLiteral("VELTRANE_ROOT"), run + QStringLiteral("root"));
        return environment;
    }

    // Runs one pass in `run`, through `straceArguments` when given; false when it did not end by itself.
    bool runPass(const QString& run, const QString& browser, const QStringList& straceArguments = {},
                 int killAfterMs = -1) const
    {
        QProcess process;
        QProcessEnvironment variables = environment(run);
        // LeakSanitizer cannot run under ptrace; the other sanitizers can.
        if (!straceArguments.isEmpty())
            variables.insert(QStringLiteral("ASAN_OPTIONS"), variables.value(QStringLiteral("ASAN_OPTIONS")) +
                                                                 QStringLiteral(":detect_leaks=0"));
        process.setProcessEnvironment(variables);
        process.setProcessChannelMode(QProcess::MergedChannels);
        if (straceArguments.isEmpty())
            process.start(worker(), {browser});
        else
            process.start(m_strace, straceArguments + QStringList{QStringLiteral("--"), worker(), browser});
        if (!process.waitForStarted())
            return false;
        if (killAfterMs >= 0 && !process.waitForFinished(killAfterMs)) {
            process.kill();
            process.waitForFinished();
            return false;
        }
        process.waitForFinished(120000);
        return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    }

    // The checks right after a kill, made on a copy: opening a database would roll back its journal,
    // which is the next pass's work.
    void checkKilledHome(const QString& run, const QString& browser, const QString& what) const
    {
        const QString copy = m_sandbox.homePath(QStringLiteral("check/"));
        QDir(copy).removeRecursively();
        QVERIFY2(copyTree(run, copy), qPrintable(what));
        QDirIterator it(copy, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            if (isDatabase(path))
                QVERIFY2(CookieStores::passesIntegrityCheck(path),
                         qPrintable(what + QLatin1Char(' ') + path));
        }
        for (const QString& profile : {QStringLiteral("Default/"), QStringLiteral("Profile 1/")}) {
            const QString folder = copy + chrome + profile;
            QVERIFY2(CookieStores::contents(folder + "Cookies", QStringLiteral("cookies"),
                                            QStringLiteral("host_key"))
                         .contains(QStringLiteral(".example.com|session")),
                     qPrintable(what));
            QVERIFY2(CookieStores::channelIds(folder + "Origin Bound Certs")
                         .contains(QStringLiteral("example.com")),
                     qPrintable(what));
            QVERIFY2(QFile::exists(folder + "databases/http_example.com_0/1"), qPrintable(what));
            QVERIFY2(QFile::exists(folder + "Local Storage/http_example.com_0.localstorage"),
                     qPrintable(what));
        }
        if (browser == QLatin1String("Safari")) {
            bool kept = false;
            for (const HttpCookie& cookie : HttpCookieStorage(copy + safariJar).cookies())
                kept = kept || (cookie.domain == QLatin1String(".example.com") &&
                                cookie.name == QLatin1String("session"));
            QVERIFY2(kept, qPrintable(what));
        } else {
            QVERIFY2(QFile::exists(copy + silverlight + "s/s3/f/data.bin"), qPrintable(what));
            QVERIFY2(QFile::exists(copy + silverlight + "g/g3/quota.dat"), qPrintable(what));
        }
    }

    // Kills a pass on a fresh copy of the home, checks it, finishes with one more pass and compares.
    void killAndFinish(const QString& browser, const QMap<QString, QString>& expected,
                       const QStringList& strace, int killAfterMs, const QString& what)
    {
        const QString run = m_sandbox.homePath(QStringLiteral("run/"));
        QDir(run).removeRecursively();
        QVERIFY(copyTree(m_sandbox.homePath(QStringLiteral("template")), run.chopped(1)));
        (void)runPass(run, browser, strace, killAfterMs);
        checkKilledHome(run, browser, what);
        if (QTest::currentTestFailed())
            return;
        QVERIFY2(runPass(run, browser), qPrintable(what));
        const QMap<QString, QString> finished = snapshot(run);
        for (auto it = expected.cbegin(); it != expected.cend(); ++it)
            QVERIFY2(finished.value(it.key()) == it.value(),
                     qPrintable(what + QStringLiteral(": differs or missing: ") + it.key()));
        for (auto it = finished.cbegin(); it != finished.cend(); ++it)
            QVERIFY2(expected.contains(it.key()),
                     qPrintable(what + QStringLiteral(": left behind: ") + it.key()));
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_sandbox.isValid());
        QVERIFY(QFile::exists(worker()));
        m_strace = QStandardPaths::findExecutable(QStringLiteral("strace"));
        // A container may forbid tracing; the timed kills still run then.
        if (!m_strace.isEmpty() &&
            QProcess::execute(
                m_strace, {QStringLiteral("-o"), QStringLiteral("/dev/null"), QStringLiteral("true")}) != 0)
            m_strace.clear();
        m_keyring = new TestKeyring(m_sandbox);
        QVERIFY(m_keyring->isRunning());
        QVERIFY(m_keyring->storeInternetPassword(QStringLiteral("www.example.com"), QStringLiteral("form"),
                                                 QStringLiteral("me")));
    }

    void cleanupTestCase() { delete m_keyring; }

    void killedPassIsFinishedByTheNext_data()
    {
        QTest::addColumn<QString>("browser");
        QTest::addColumn<bool>("keptSilverlightStore");
        // Chrome: a kept Silverlight store, so stores go one by one; Safari: none, so the folder goes whole.
        QTest::newRow("Google Chrome") << QStringLiteral("Google Chrome") << true;
        QTest::newRow("Safari") << QStringLiteral("Safari") << false;
    }

    void killedPassIsFinishedByTheNext()
    {
        QFETCH(QString, browser);
        QFETCH(bool, keptSilverlightStore);
        const QString templateHome = m_sandbox.homePath(QStringLiteral("template/"));
        QDir(templateHome).removeRecursively();
        QVERIFY(writeHome(templateHome, keptSilverlightStore));

        // One uninterrupted pass, timed and traced: its end state is the one every other must reach.
        const QString reference = m_sandbox.homePath(QStringLiteral("reference/"));
        QDir(reference).removeRecursively();
        QVERIFY(copyTree(templateHome.chopped(1), reference.chopped(1)));
        QElapsedTimer clock;
        clock.start();
        const QString trace = m_sandbox.homePath(QStringLiteral("trace.log"));
        QMap<QString, int> calls;
        if (m_strace.isEmpty()) {
            QVERIFY(runPass(reference, browser));
        } else {
            QVERIFY(runPass(reference, browser,
                            {QStringLiteral("-f"), QStringLiteral("-qq"), QStringLiteral("-o"), trace,
                             QStringLiteral("-e"),
                             QStringLiteral("trace=") + commitCalls.join(QLatin1Char(','))}));
            QFile log(trace);
            QVERIFY(log.open(QIODevice::ReadOnly));
            const QRegularExpression call(QStringLiteral("^\\d+\\s+(\\w+)\\("));
            for (const QByteArray& line : log.readAll().split('\n')) {
                const auto match = call.match(QString::fromUtf8(line));
                if (match.hasMatch())
                    ++calls[match.captured(1)];
            }
        }
        const qint64 passMs = clock.elapsed();
        const QMap<QString, QString> expected = snapshot(reference);
        // The pass did remove something of each kind, so the kills below land in real work.
        if (keptSilverlightStore) {
            QVERIFY(!expected.contains(chrome + "Default/databases/http_gone.test_0"));
            QVERIFY(expected.contains(chrome + "Default/databases/http_example.com_0/1"));
            QVERIFY(expected.contains(silverlight + "s/s3/id.dat"));
        } else {
            QVERIFY(
                !expected.contains(QStringLiteral("home/Library/Application Support/Microsoft/Silverlight")));
        }

        for (int step = 1; step <= 8; ++step) {
            const int at = int(passMs * step / 9);
            killAndFinish(browser, expected, {}, at, QStringLiteral("killed after %1 ms").arg(at));
            if (QTest::currentTestFailed())
                return;
        }
        if (m_strace.isEmpty())
            QSKIP("strace is not installed or may not trace here: the pass was killed at timed moments only");
        int kills = 0;
        for (auto it = calls.cbegin(); it != calls.cend(); ++it) {
            for (int n = 1; n <= it.value(); ++n) {
                killAndFinish(browser, expected,
                              {QStringLiteral("-f"), QStringLiteral("-qq"), QStringLiteral("-o"),
                               QStringLiteral("/dev/null"), QStringLiteral("-e"),
                               QStringLiteral("inject=%1:signal=KILL:when=%2").arg(it.key()).arg(n)},
                              -1, QStringLiteral("killed at %1 #%2").arg(it.key()).arg(n));
                if (QTest::currentTestFailed())
                    return;
                ++kills;
            }
        }
        qInfo("%s: %d kills at commit calls, 8 at timed moments", qPrintable(browser), kills);
        QVERIFY(kills > 0);
    }
};

QTEST_GUILESS_MAIN(WorkerKillTest)
#include "WorkerKillTest.moc"
