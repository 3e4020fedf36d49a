#include "Sandbox.h"
#include "worker/SecureRemoval.h"
#include "worker/Sqlite.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QUuid>

#include <fcntl.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

// A whole pass of the built worker over a home on a real ext4 file system, mounted from an image
// through a loop device without discard, so that what a removal leaves in freed blocks stays on
// the image to be found. Every file holds markers of its own; after the pass and the unmount the
// image is searched for them.
namespace {

const QString firefoxProfile = QStringLiteral("Library/Application Support/Firefox/Profiles/abc.default");
const QString chromeProfile = QStringLiteral("Library/Application Support/Google/Chrome/Default");

bool run(const QString& program, const QStringList& arguments, QByteArray* output = nullptr)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    const bool finished = process.waitForFinished(30000);
    if (output)
        *output = process.readAll();
    return finished && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

// An ext4 image mounted through a loop device, unmounted (and its loop device released) when the
// object goes, whatever the test's outcome.
class LoopMount
{
public:
    explicit LoopMount(const QString& folder, QString size = QStringLiteral("48M"))
        : m_image(folder + QStringLiteral("/disk.img")), m_mountPoint(folder + QStringLiteral("/mnt")),
          m_size(std::move(size))
    {
    }
    ~LoopMount() { unmount(); }
    LoopMount(const LoopMount&) = delete;
    LoopMount& operator=(const LoopMount&) = delete;

    // Empty when mounted; otherwise what went wrong.
    QByteArray mount()
    {
        QByteArray output;
        if (!QDir().mkpath(m_mountPoint) ||
            !run(QStringLiteral("truncate"), {QStringLiteral("-s"), m_size, m_image}, &output) ||
            !run(QStringLiteral("mkfs.ext4"),
                 {QStringLiteral("-q"), QStringLiteral("-F"), QStringLiteral("-E"),
                  QStringLiteral("nodiscard,lazy_itable_init=0,lazy_journal_init=0"), m_image},
                 &output))
            return "cannot make the image: " + output;
        if (!run(QStringLiteral("mount"),
                 {QStringLiteral("-o"), QStringLiteral("loop,nodiscard"), m_image, m_mountPoint}, &output))
            return "cannot mount the image: " + output;
        m_mounted = true;
        return QByteArray();
    }

    void unmount()
    {
        if (!m_mounted)
            return;
        // A program that still has a file open there would keep it busy; then it goes lazily.
        for (int attempt = 0; attempt < 20 && m_mounted; ++attempt) {
            m_mounted = !run(QStringLiteral("umount"), {m_mountPoint});
            if (m_mounted)
                QTest::qWait(100);
        }
        if (m_mounted)
            m_mounted = !run(QStringLiteral("umount"), {QStringLiteral("-l"), m_mountPoint});
    }

    [[nodiscard]] QString mountPoint() const { return m_mountPoint; }
    [[nodiscard]] QByteArray imageBytes() const
    {
        QFile image(m_image);
        return image.open(QIODevice::ReadOnly) ? image.readAll() : QByteArray();
    }

private:
    QString m_image;
    QString m_mountPoint;
    QString m_size;
    bool m_mounted = false;
};

// A small tmpfs, unmounted when the object goes.
class TmpfsMount
{
public:
    TmpfsMount(const QString& folder, const char* size) : m_folder(QFile::encodeName(folder))
    {
        QDir().mkpath(folder);
        const QByteArray options = QByteArray("size=") + size;
        m_mounted = ::mount("tmpfs", m_folder.constData(), "tmpfs", 0, options.constData()) == 0;
    }
    ~TmpfsMount()
    {
        if (m_mounted)
            umount2(m_folder.constData(), MNT_DETACH);
    }
    TmpfsMount(const TmpfsMount&) = delete;
    TmpfsMount& operator=(const TmpfsMount&) = delete;

    [[nodiscard]] bool isMounted() const { return m_mounted; }

private:
    QByteArray m_folder;
    bool m_mounted = false;
};

// Why no ext4 image can be mounted here, or nothing when one can.
QString whyNoImage()
{
    if (geteuid() != 0)
        return QStringLiteral("mounting an ext4 image needs root");
    if (!QFileInfo::exists(QStringLiteral("/dev/loop-control")) &&
        !QFileInfo::exists(QStringLiteral("/dev/loop0")))
        return QStringLiteral("the kernel offers no loop device, so no ext4 image can be mounted");
    return QString();
}

bool fill(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    const QByteArray chunk(64 * 1024, 'f');
    while (file.write(chunk) == chunk.size() && file.flush()) {
    }
    return true;
}

// Points the temporary folder, where the sandbox is made, at `folder` while it lives.
class TemporaryFolderAt
{
public:
    explicit TemporaryFolderAt(const QString& folder) : m_old(qgetenv("TMPDIR"))
    {
        qputenv("TMPDIR", QFile::encodeName(folder));
    }
    ~TemporaryFolderAt()
    {
        if (m_old.isEmpty())
            qunsetenv("TMPDIR");
        else
            qputenv("TMPDIR", m_old);
    }
    TemporaryFolderAt(const TemporaryFolderAt&) = delete;
    TemporaryFolderAt& operator=(const TemporaryFolderAt&) = delete;

private:
    QByteArray m_old;
};

// Markers unique to this run, by label, and files of them.
class Markers
{
public:
    QByteArray make(const QString& label)
    {
        const QByteArray marker =
            "VTMARK-" + QUuid::createUuid().toByteArray(QUuid::Id128) + '-' + label.toUtf8();
        m_all.insert(label, marker);
        return marker;
    }
    // `size` bytes of the marker repeated, one per line.
    QByteArray contents(const QString& label, qsizetype size)
    {
        const QByteArray line = make(label) + '\n';
        QByteArray bytes;
        while (bytes.size() < size)
            bytes.append(line);
        bytes.truncate(size);
        return bytes;
    }
    [[nodiscard]] QMap<QString, QByteArray> all() const { return m_all; }

private:
    QMap<QString, QByteArray> m_all;
};

bool sql(Sqlite& database, const QString& statement, const QVariantList& arguments = {})
{
    return database.executeNonQuery(statement, arguments);
}

// Firefox's cookies in a write-ahead-log database: the first rows in the database itself, more in
// the log of a writer that ended without closing, as a browser that crashed leaves it.
bool writeFirefoxCookies(const QString& path, Markers& markers)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    {
        Sqlite database;
        if (!database.open(path) || !sql(database, QStringLiteral("BEGIN;")) ||
            !sql(database, QStringLiteral("CREATE TABLE moz_cookies(id INTEGER PRIMARY KEY, name TEXT, value "
                                          "TEXT, host TEXT, path TEXT);")))
            return false;
        for (int i = 0; i < 40; ++i) {
            if (!sql(database, QStringLiteral("INSERT INTO moz_cookies VALUES(?, ?, ?, ?, '/');"),
                     {i + 1, QStringLiteral("c%1").arg(i),
                      QString::fromLatin1(markers.make(QStringLiteral("firefox-cookie-%1").arg(i))),
                      QStringLiteral("site%1.example").arg(i)}))
                return false;
        }
        if (!sql(database, QStringLiteral("COMMIT;")) ||
            !database.executeQuery(QStringLiteral("PRAGMA journal_mode=WAL;")))
            return false;
    }
    QList<QVariantList> logged;
    for (int i = 40; i < 60; ++i)
        logged.append({i + 1, QStringLiteral("c%1").arg(i),
                       QString::fromLatin1(markers.make(QStringLiteral("firefox-logged-cookie-%1").arg(i))),
                       QStringLiteral("site%1.example").arg(i)});
    const pid_t child = fork();
    if (child == 0) {
        Sqlite database;
        const bool written = database.open(path) &&
                             database.executeNonQuery(
                                 QStringLiteral("INSERT INTO moz_cookies VALUES(?, ?, ?, ?, '/');"), logged);
        _exit(written ? 0 : 1); // no close: the log stays as it is
    }
    int status = 0;
    return waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0 &&
           QFileInfo(path + QStringLiteral("-wal")).size() > 0;
}

// Chrome's cookies in a rollback-journal database, written in one transaction.
bool writeChromeCookies(const QString& path, Markers& markers)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    Sqlite database;
    if (!database.open(path) || !sql(database, QStringLiteral("BEGIN;")) ||
        !sql(database, QStringLiteral("CREATE TABLE cookies(creation_utc INTEGER NOT NULL, host_key TEXT NOT "
                                      "NULL, name TEXT NOT NULL, value TEXT NOT NULL, path TEXT NOT NULL);")))
        return false;
    for (int i = 0; i < 40; ++i) {
        if (!sql(database, QStringLiteral("INSERT INTO cookies VALUES(?, ?, ?, ?, '/');"),
                 {13300000000000000LL + i, QStringLiteral("site%1.example").arg(i),
                  QStringLiteral("c%1").arg(i),
                  QString::fromLatin1(markers.make(QStringLiteral("chrome-cookie-%1").arg(i)))}))
            return false;
    }
    return sql(database, QStringLiteral("COMMIT;"));
}

// Targets of a Firefox and a Google Chrome pass with everything removed, and files beside them.
bool buildHome(const Sandbox& sandbox, Markers& markers, QStringList* kept)
{
    const auto file = [&](const QString& relative, const QString& label, qsizetype size) {
        return sandbox.writeFile(relative, markers.contents(label, size));
    };
    kept->append({QStringLiteral("kept-document"), QStringLiteral("kept-prefs")});
    return file(QStringLiteral("Documents/notes.txt"), QStringLiteral("kept-document"), 64 * 1024) &&
           file(firefoxProfile + QStringLiteral("/prefs.js"), QStringLiteral("kept-prefs"), 8 * 1024) &&
           file(QStringLiteral("Library/Preferences/Macromedia/Flash Player/#SharedObjects/RANDOM1/"
                               "tracker.example/data.sol"),
                QStringLiteral("flash-object"), 64 * 1024) &&
           file(QStringLiteral("Library/Preferences/Macromedia/Flash Player/#SharedObjects/RANDOM1/"
                               "tracker.example/small.sol"),
                QStringLiteral("flash-small"), 2500) &&
           file(QStringLiteral("Library/Caches/Firefox/Profiles/abc.default/Cache/entry"),
                QStringLiteral("firefox-cache"), 1024 * 1024 + 17) &&
           file(chromeProfile + QStringLiteral("/Local Storage/http_tracker.example_0.localstorage"),
                QStringLiteral("chrome-local-storage"), 40 * 1024) &&
           file(chromeProfile + QStringLiteral("/Local Storage/http_tracker.example_0.localstorage-journal"),
                QStringLiteral("chrome-local-storage-journal"), 12 * 1024) &&
           sandbox.writeFile(QStringLiteral("Library/Application Support/Google/Chrome/Local State"),
                             R"({"profile":{"info_cache":{"Default":{"name":"One"}}}})") &&
           writeFirefoxCookies(sandbox.homePath(firefoxProfile + QStringLiteral("/cookies.sqlite")),
                               markers) &&
           writeChromeCookies(sandbox.homePath(chromeProfile + QStringLiteral("/Cookies")), markers);
}

QStringList foundIn(const QByteArray& image, const QMap<QString, QByteArray>& markers)
{
    QStringList found;
    for (auto it = markers.cbegin(); it != markers.cend(); ++it) {
        if (image.contains(it.value()))
            found.append(it.key());
    }
    return found;
}

} // namespace

class SecureDeleteDiskTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void removedDataLeavesTheDisk_data()
    {
        QTest::addColumn<bool>("secure");
        QTest::newRow("plain") << false;
        QTest::newRow("secure") << true;
    }

    // With secure deletion on, no marker of a removed file or deleted cookie is left anywhere on
    // the image. With it off the same pass leaves them in the freed blocks, which shows that the
    // search sees what a removal leaves behind.
    void removedDataLeavesTheDisk()
    {
        QFETCH(bool, secure);
        if (geteuid() != 0)
            QSKIP("mounting an ext4 image needs root");
        if (!QFileInfo::exists(QStringLiteral("/dev/loop-control")) &&
            !QFileInfo::exists(QStringLiteral("/dev/loop0")))
            QSKIP("the kernel offers no loop device, so no ext4 image can be mounted");
        QTemporaryDir work;
        QVERIFY(work.isValid());
        LoopMount disk(work.path());
        const QByteArray problem = disk.mount();
        if (problem.contains("loop device"))
            QSKIP(qPrintable(QStringLiteral("the kernel offers no loop device: ") +
                             QString::fromLocal8Bit(problem)));
        QVERIFY2(problem.isEmpty(), problem.constData());

        Markers markers;
        QStringList kept;
        {
            const TemporaryFolderAt onTheImage(disk.mountPoint());
            Sandbox sandbox;
            QVERIFY(sandbox.home().startsWith(disk.mountPoint()));
            QVERIFY(buildHome(sandbox, markers, &kept));
            QVERIFY(sandbox.writeDefaults({{QStringLiteral("removeAll"), true},
                                           {QStringLiteral("secureDeleteData"), secure},
                                           {QStringLiteral("displayNotifications"), false}}));
            sync();
            // Every marker is on the image before the pass.
            QCOMPARE(foundIn(disk.imageBytes(), markers.all()), markers.all().keys());

            for (const QString& browser : {QStringLiteral("Firefox"), QStringLiteral("Google Chrome")}) {
                const auto pass = BuiltSuite::runProgram(BuiltSuite::executable(BuiltSuite::workerBundle()),
                                                         {browser}, sandbox, 30000);
                QVERIFY2(pass.finished, pass.output.constData());
                QCOMPARE(pass.exitCode, 0);
            }
            // The targets are gone from the folders, the other files stay.
            QVERIFY(!QFileInfo::exists(sandbox.homePath(QStringLiteral(
                "Library/Preferences/Macromedia/Flash Player/#SharedObjects/RANDOM1/tracker.example"))));
            QVERIFY(!QFileInfo::exists(
                sandbox.homePath(QStringLiteral("Library/Caches/Firefox/Profiles/abc.default/Cache"))));
            QVERIFY(QFileInfo::exists(sandbox.homePath(QStringLiteral("Documents/notes.txt"))));
            QCOMPARE(rowCount(sandbox.homePath(firefoxProfile + QStringLiteral("/cookies.sqlite")),
                              QStringLiteral("moz_cookies")),
                     0);
            QCOMPARE(rowCount(sandbox.homePath(chromeProfile + QStringLiteral("/Cookies")),
                              QStringLiteral("cookies")),
                     0);
            for (const QString& database : {firefoxProfile + QStringLiteral("/cookies.sqlite"),
                                            chromeProfile + QStringLiteral("/Cookies")}) {
                QVERIFY(!QFileInfo::exists(sandbox.homePath(database + QStringLiteral("-journal"))));
                if (secure)
                    QVERIFY(!QFileInfo::exists(sandbox.homePath(database + QStringLiteral("-wal"))));
            }
        }
        disk.unmount();

        QMap<QString, QByteArray> removed = markers.all();
        for (const QString& label : std::as_const(kept))
            removed.remove(label);
        const QByteArray image = disk.imageBytes();
        for (const QString& label : std::as_const(kept))
            QVERIFY2(image.contains(markers.all().value(label)), qPrintable(label));
        const QStringList left = foundIn(image, removed);
        if (secure)
            QVERIFY2(left.isEmpty(),
                     qPrintable(QStringLiteral("left on the disk: ") + left.join(QLatin1String(", "))));
        else
            QVERIFY2(!left.isEmpty(),
                     "a plain pass left nothing to find: the search does not see freed blocks");
    }

    // A device that fails the sync: the image's own backing store is full, so the overwritten
    // blocks cannot be written back. The wipe fails and the item stays; other items still go.
    void failedSyncLeavesTheItem()
    {
        if (const QString why = whyNoImage(); !why.isEmpty())
            QSKIP(qPrintable(why));
        QTemporaryDir work;
        QVERIFY(work.isValid());
        TmpfsMount backing(work.filePath(QStringLiteral("backing")), "16M");
        QVERIFY(backing.isMounted());
        LoopMount disk(work.filePath(QStringLiteral("backing")), QStringLiteral("40M"));
        const QByteArray problem = disk.mount();
        if (problem.contains("loop device"))
            QSKIP(qPrintable(QStringLiteral("the kernel offers no loop device: ") +
                             QString::fromLocal8Bit(problem)));
        QVERIFY2(problem.isEmpty(), problem.constData());

        // Written but not yet allocated on the image: its blocks need room in the backing store.
        const QString victim = disk.mountPoint() + QStringLiteral("/victim");
        {
            QFile file(victim);
            QVERIFY(file.open(QIODevice::WriteOnly));
            QVERIFY(file.write(QByteArray(4 * 1024 * 1024, 'v')) == 4 * 1024 * 1024);
        }
        QVERIFY(fill(work.filePath(QStringLiteral("backing/filler"))));
        QCOMPARE(SecureRemoval(true).remove(victim), FileResult::Failed);
        QVERIFY(QFileInfo::exists(victim));

        const QString healthy = work.filePath(QStringLiteral("healthy"));
        QVERIFY(QDir().mkpath(healthy));
        QFile other(healthy + QStringLiteral("/other"));
        QVERIFY(other.open(QIODevice::WriteOnly) && other.write("other") == 5);
        other.close();
        QCOMPARE(SecureRemoval(true).remove(healthy), FileResult::Done);
        QVERIFY(!QFileInfo::exists(healthy));
    }

private:
    static qsizetype rowCount(const QString& path, const QString& table)
    {
        Sqlite database;
        if (!database.open(path))
            return -1;
        const auto rows = database.executeQuery(QStringLiteral("SELECT * FROM %1;").arg(table));
        return rows ? rows->size() : -1;
    }
};

QTEST_GUILESS_MAIN(SecureDeleteDiskTest)
#include "SecureDeleteDiskTest.moc"
