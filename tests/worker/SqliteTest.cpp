#include "worker/Sqlite.h"
#include "Sandbox.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTest>
#include <QUuid>

#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Rows each holding a marker of its own: "marker-<n>-" followed by filler.
bool writeMarkedRows(const QString& path, const QString& journalMode, int count)
{
    Sqlite sqlite;
    if (!sqlite.open(path) ||
        !sqlite.executeQuery(QStringLiteral("PRAGMA journal_mode=%1;").arg(journalMode)) ||
        !sqlite.executeNonQuery(QStringLiteral("CREATE TABLE t(id INTEGER PRIMARY KEY, value TEXT);")))
        return false;
    Sqlite::Transaction transaction(sqlite);
    for (int i = 0; i < count; ++i) {
        const QString value = QStringLiteral("marker-%1-").arg(i) + QString(200, QLatin1Char('v'));
        if (!sqlite.executeNonQuery(QStringLiteral("INSERT INTO t(id, value) VALUES(?, ?);"), {i, value}))
            return false;
    }
    return transaction.commit();
}

qsizetype rowCount(const QString& path)
{
    Sqlite sqlite;
    if (!sqlite.open(path))
        return -1;
    const auto rows = sqlite.executeQuery(QStringLiteral("SELECT id FROM t;"));
    return rows ? rows->size() : -1;
}

QString pragma(const QString& path, const QString& name)
{
    Sqlite sqlite;
    if (!sqlite.open(path))
        return QString();
    const auto rows = sqlite.executeQuery(QStringLiteral("PRAGMA %1;").arg(name));
    return rows && !rows->isEmpty() ? rows->first().first().toString() : QString();
}

QByteArray bytesOf(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A small tmpfs of its own, unmounted when the object goes.
class SmallFileSystem
{
public:
    SmallFileSystem(const QString& folder, const char* size) : m_folder(QFile::encodeName(folder))
    {
        QDir().mkpath(folder);
        const QByteArray options = QByteArray("size=") + size;
        m_mounted = mount("tmpfs", m_folder.constData(), "tmpfs", 0, options.constData()) == 0;
    }
    ~SmallFileSystem()
    {
        if (m_mounted)
            umount2(m_folder.constData(), MNT_DETACH);
    }
    SmallFileSystem(const SmallFileSystem&) = delete;
    SmallFileSystem& operator=(const SmallFileSystem&) = delete;

    [[nodiscard]] bool isMounted() const { return m_mounted; }

private:
    QByteArray m_folder;
    bool m_mounted = false;
};

} // namespace

class SqliteTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void rowsAreTypedByStorageClass()
    {
        Sandbox sandbox;
        Sqlite sqlite;
        QVERIFY(sqlite.open(sandbox.homePath(QStringLiteral("types.sqlite"))));
        QVERIFY(sqlite.executeNonQuery(QStringLiteral("CREATE TABLE t(i, f, s, b, n, e);")));
        QVERIFY(
            sqlite.executeNonQuery(QStringLiteral("INSERT INTO t VALUES(?, ?, ?, ?, ?, ?);"),
                                   {qint64(13312345678901234), 2.5, QStringLiteral("it's"),
                                    QByteArray("\0\x01\xff", 3), QVariant(), QString(QLatin1String(""))}));
        const auto rows = sqlite.executeQuery(QStringLiteral("SELECT * FROM t;"));
        QVERIFY(rows);
        QCOMPARE(rows->size(), 1);
        const QVariantMap row = rows->first();
        QCOMPARE(row.value(QStringLiteral("i")).typeId(), QMetaType::QString);
        QCOMPARE(row.value(QStringLiteral("i")).toString(), QStringLiteral("13312345678901234"));
        QCOMPARE(row.value(QStringLiteral("f")).typeId(), QMetaType::Double);
        QCOMPARE(row.value(QStringLiteral("f")).toDouble(), 2.5);
        QCOMPARE(row.value(QStringLiteral("s")).toString(), QStringLiteral("it's"));
        QCOMPARE(row.value(QStringLiteral("b")).toByteArray(), QByteArray("\0\x01\xff", 3));
        QVERIFY(row.value(QStringLiteral("n")).isNull());
        QVERIFY(!row.value(QStringLiteral("e")).isNull());
        QCOMPARE(row.value(QStringLiteral("e")).toString(), QString());
        // The later of two columns of one name wins.
        const auto same = sqlite.executeQuery(QStringLiteral("SELECT 1 AS x, 'two' AS x;"));
        QCOMPARE(same->first().value(QStringLiteral("x")).toString(), QStringLiteral("two"));
    }

    void statementsWithoutRowsAndFailures()
    {
        Sandbox sandbox;
        Sqlite sqlite;
        QVERIFY(sqlite.open(sandbox.homePath(QStringLiteral("a.sqlite"))));
        QVERIFY(sqlite.executeNonQuery(QStringLiteral("CREATE TABLE t(x);")));
        const auto deleted = sqlite.executeQuery(QStringLiteral("DELETE FROM t WHERE x = 1;"));
        QVERIFY(deleted);
        QVERIFY(deleted->isEmpty());
        QVERIFY(!sqlite.executeQuery(QStringLiteral("SELECT * FROM missing;")));
        QVERIFY(!sqlite.executeQuery(QStringLiteral("SELEC nonsense")));
        QVERIFY(!sqlite.executeNonQuery(QStringLiteral("INSERT INTO missing VALUES(1);")));
        QVERIFY(sqlite.errorCode() != 0);
        QVERIFY(sqlite.errorMessage().contains(QStringLiteral("missing")));
        // A constraint failure while stepping is reported by a non-query.
        QVERIFY(sqlite.executeNonQuery(QStringLiteral("CREATE TABLE u(x UNIQUE);")));
        QVERIFY(sqlite.executeNonQuery(QStringLiteral("INSERT INTO u VALUES(1);")));
        QVERIFY(!sqlite.executeNonQuery(QStringLiteral("INSERT INTO u VALUES(1);")));
    }

    void transactionsCommitOrRollBack()
    {
        Sandbox sandbox;
        const QString path = sandbox.homePath(QStringLiteral("tx.sqlite"));
        Sqlite sqlite;
        QVERIFY(sqlite.open(path));
        QVERIFY(sqlite.executeNonQuery(QStringLiteral("CREATE TABLE t(x);")));
        QVERIFY(sqlite.beginTransaction());
        QVERIFY(sqlite.executeNonQuery(QStringLiteral("INSERT INTO t VALUES(1);")));
        QVERIFY(sqlite.rollback());
        QVERIFY(sqlite.beginDeferredTransaction());
        QVERIFY(sqlite.executeNonQuery(QStringLiteral("INSERT INTO t VALUES(2);")));
        QVERIFY(sqlite.commit());
        const auto rows = sqlite.executeQuery(QStringLiteral("SELECT x FROM t;"));
        QCOMPARE(rows->size(), 1);
        QCOMPARE(rows->first().value(QStringLiteral("x")).toString(), QStringLiteral("2"));
    }

    void openingClosesTheFormerConnection()
    {
        Sandbox sandbox;
        Sqlite sqlite;
        QCOMPARE(sqlite.busyRetryTimeout(), 1);
        QVERIFY(sqlite.filePath().isEmpty());
        QVERIFY(sqlite.open(sandbox.homePath(QStringLiteral("one.sqlite"))));
        QVERIFY(sqlite.executeNonQuery(QStringLiteral("CREATE TABLE one(x);")));
        QVERIFY(sqlite.open(sandbox.homePath(QStringLiteral("two.sqlite"))));
        QCOMPARE(sqlite.filePath(), sandbox.homePath(QStringLiteral("two.sqlite")));
        QVERIFY(!sqlite.executeQuery(QStringLiteral("SELECT * FROM one;")));
        sqlite.close();
        QVERIFY(sqlite.filePath().isEmpty());

        const Sqlite opened(sandbox.homePath(QStringLiteral("one.sqlite")));
        QCOMPARE(opened.busyRetryTimeout(), 0);
        QCOMPARE(opened.filePath(), sandbox.homePath(QStringLiteral("one.sqlite")));
        // A folder that does not exist cannot hold a database.
        QVERIFY(!sqlite.open(sandbox.homePath(QStringLiteral("no/such/folder/x.sqlite"))));
        QVERIFY(sqlite.filePath().isEmpty());
        // Nor can anything but a regular file; a FIFO is not waited on.
        const QString fifo = sandbox.homePath(QStringLiteral("fifo.sqlite"));
        QCOMPARE(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        QVERIFY(!sqlite.open(fifo));
        QVERIFY(!sqlite.open(sandbox.homePath(QString())));
    }

    void notADatabaseAndLockedDatabaseGiveNoRows()
    {
        Sandbox sandbox;
        QVERIFY(sandbox.writeFile(QStringLiteral("text.sqlite"), QByteArray(4096, 'x')));
        Sqlite text;
        QVERIFY(text.open(sandbox.homePath(QStringLiteral("text.sqlite"))));
        QVERIFY(!text.executeQuery(QStringLiteral("SELECT * FROM cookies;")));

        const QString path = sandbox.homePath(QStringLiteral("locked.sqlite"));
        Sqlite holder;
        QVERIFY(holder.open(path));
        QVERIFY(holder.executeNonQuery(QStringLiteral("CREATE TABLE t(x);")));
        QVERIFY(holder.beginTransaction());
        QVERIFY(holder.executeNonQuery(QStringLiteral("INSERT INTO t VALUES(1);")));
        Sqlite other;
        QVERIFY(other.open(path));
        QVERIFY(!other.executeQuery(QStringLiteral("SELECT * FROM t;")));
        QVERIFY(!other.beginTransaction());
        QVERIFY(holder.commit());
        QCOMPARE(other.executeQuery(QStringLiteral("SELECT * FROM t;"))->size(), 1);
    }

    void boundTextNeedsNoQuoting()
    {
        Sandbox sandbox;
        Sqlite sqlite;
        QVERIFY(sqlite.open(sandbox.homePath(QStringLiteral("q.sqlite"))));
        QVERIFY(sqlite.executeNonQuery(QStringLiteral("CREATE TABLE t(host TEXT, id INTEGER);")));
        QVERIFY(sqlite.executeNonQuery(QStringLiteral("INSERT INTO t VALUES(?, ?);"),
                                       {QStringLiteral("o'brien.example.com"), 7}));
        QVERIFY(sqlite.executeNonQuery(QStringLiteral("INSERT INTO t VALUES('x', 8);")));
        // Decimal text compares equal to the INTEGER column, as row values come back.
        QVERIFY(sqlite.executeNonQuery(QStringLiteral("DELETE FROM t WHERE host = ? AND id = ?;"),
                                       {QStringLiteral("o'brien.example.com"), QStringLiteral("7")}));
        const auto rows = sqlite.executeQuery(QStringLiteral("SELECT host FROM t;"));
        QCOMPARE(rows->size(), 1);
        QCOMPARE(rows->first().value(QStringLiteral("host")).toString(), QStringLiteral("x"));
    }

    void transactionGuardRollsBackUnlessCommitted()
    {
        Sandbox sandbox;
        const QString path = sandbox.homePath(QStringLiteral("guard.sqlite"));
        QVERIFY(writeMarkedRows(path, QStringLiteral("delete"), 3));
        Sqlite sqlite;
        QVERIFY(sqlite.open(path));
        {
            Sqlite::Transaction transaction(sqlite);
            QVERIFY(transaction.isActive());
            QVERIFY(sqlite.executeNonQuery(QStringLiteral("DELETE FROM t;")));
            // A second transaction cannot begin inside the first.
            Sqlite::Transaction nested(sqlite, Sqlite::Transaction::Kind::Deferred);
            QVERIFY(!nested.isActive());
            QVERIFY(!nested.commit());
        }
        QCOMPARE(rowCount(path), 3);
        {
            Sqlite::Transaction transaction(sqlite);
            QVERIFY(sqlite.executeNonQuery(QStringLiteral("DELETE FROM t WHERE id = 1;")));
            QVERIFY(transaction.commit());
            QVERIFY(!transaction.isActive());
        }
        QCOMPARE(rowCount(path), 2);
    }

    void secureDeletionLeavesNeitherJournalNorLog_data()
    {
        QTest::addColumn<QString>("journalMode");
        QTest::newRow("rollback journal") << QStringLiteral("delete");
        QTest::newRow("write-ahead log") << QStringLiteral("wal");
    }

    void secureDeletionLeavesNeitherJournalNorLog()
    {
        QFETCH(QString, journalMode);
        Sandbox sandbox;
        const QString path = sandbox.homePath(QStringLiteral("cookies.sqlite"));
        QVERIFY(writeMarkedRows(path, journalMode, 200));
        {
            Sqlite sqlite;
            QVERIFY(sqlite.open(path, Sqlite::Deletion::Secure));
            QCOMPARE(sqlite.deletion(), Sqlite::Deletion::Secure);
            Sqlite::Transaction transaction(sqlite);
            QVERIFY(sqlite.executeNonQuery(QStringLiteral("DELETE FROM t WHERE id % 2 = 0;")));
            QVERIFY(transaction.commit());
            // Held alone until the close.
            Sqlite other;
            QVERIFY(other.open(path));
            QVERIFY(!other.executeQuery(QStringLiteral("SELECT id FROM t;")));
        }
        QVERIFY(!QFileInfo::exists(path + QStringLiteral("-journal")));
        QVERIFY(!QFileInfo::exists(path + QStringLiteral("-wal")));
        const QByteArray bytes = bytesOf(path);
        for (int i = 0; i < 200; ++i) {
            const QByteArray marker = QStringLiteral("marker-%1-").arg(i).toUtf8();
            QVERIFY2(bytes.contains(marker) == (i % 2 == 1), marker.constData());
        }
        QCOMPARE(rowCount(path), 100);
        QCOMPARE(pragma(path, QStringLiteral("integrity_check")), QStringLiteral("ok"));
        // The browser's own journal mode is what its next connection finds.
        QCOMPARE(pragma(path, QStringLiteral("journal_mode")), journalMode);
    }

    void secureDeletionTouchesNoFolderInPlaceOfTheJournal()
    {
        Sandbox sandbox;
        const QString path = sandbox.homePath(QStringLiteral("cookies.sqlite"));
        QVERIFY(writeMarkedRows(path, QStringLiteral("delete"), 5));
        QVERIFY(sandbox.writeFile(QStringLiteral("cookies.sqlite-journal/inside"), "keep"));
        {
            Sqlite sqlite;
            QVERIFY(sqlite.open(path, Sqlite::Deletion::Secure));
            Sqlite::Transaction transaction(sqlite);
            (void)sqlite.executeNonQuery(QStringLiteral("DELETE FROM t;"));
        }
        QCOMPARE(bytesOf(path + QStringLiteral("-journal/inside")), QByteArray("keep"));
        // SQLite reads nothing while a folder stands where its journal goes.
        QVERIFY(QDir(path + QStringLiteral("-journal")).removeRecursively());
        QCOMPARE(rowCount(path), 5);
    }

    void fullDiskRollsBackAndLosesNothing()
    {
        if (geteuid() != 0)
            QSKIP("mounting a small file system needs root");
        Sandbox sandbox;
        const QString folder = sandbox.homePath(QStringLiteral("small"));
        SmallFileSystem small(folder, "400k");
        if (!small.isMounted())
            QSKIP("no tmpfs can be mounted here");
        const QString path = folder + QStringLiteral("/cookies.sqlite");
        QVERIFY(writeMarkedRows(path, QStringLiteral("delete"), 500));
        // Fill what is left, so that the journal finds no room.
        QFile filler(folder + QStringLiteral("/filler"));
        QVERIFY(filler.open(QIODevice::WriteOnly));
        const QByteArray chunk(4096, 'f');
        while (filler.write(chunk) == chunk.size() && filler.flush()) {
        }
        filler.close();
        {
            Sqlite sqlite;
            QVERIFY(sqlite.open(path, Sqlite::Deletion::Secure));
            Sqlite::Transaction transaction(sqlite);
            QVERIFY(transaction.isActive());
            QVERIFY(!sqlite.executeNonQuery(QStringLiteral("DELETE FROM t;")));
        }
        QCOMPARE(rowCount(path), 500);
        QCOMPARE(pragma(path, QStringLiteral("integrity_check")), QStringLiteral("ok"));
    }

    void rowsStreamOneAtATime()
    {
        Sandbox sandbox;
        Sqlite database(sandbox.homePath(QStringLiteral("stream.sqlite")));
        QVERIFY(database.executeNonQuery(QStringLiteral("CREATE TABLE t(a, b);")));
        QVERIFY(database.executeNonQuery(
            QStringLiteral("INSERT INTO t VALUES(1, 'x'), (2.5, NULL), ('3', x'00ff'), (4, 'y');")));
        QList<std::optional<qint64>> integers;
        QVariantList texts;
        QVERIFY(database.forEachRow(QStringLiteral("SELECT a, b FROM t WHERE rowid >= ? ORDER BY rowid;"),
                                    [&](const Sqlite::RowView& row) {
                                        integers.append(row.integer(0));
                                        texts.append(row.value(1));
                                        return true;
                                    },
                                    {qint64(1)}));
        QCOMPARE(integers, (QList<std::optional<qint64>>{1, std::nullopt, std::nullopt, 4}));
        QCOMPARE(texts.at(0), QVariant(QStringLiteral("x")));
        QVERIFY(texts.at(1).isNull());
        QCOMPARE(texts.at(2), QVariant(QByteArray("\x00\xff", 2)));
        // Stopping early is not reaching the end; a statement that does not prepare gives no row.
        int visited = 0;
        QVERIFY(!database.forEachRow(QStringLiteral("SELECT a FROM t;"),
                                     [&](const Sqlite::RowView&) { return ++visited < 2; }));
        QCOMPARE(visited, 2);
        QVERIFY(!database.forEachRow(QStringLiteral("SELECT nothing FROM nowhere;"),
                                     [&](const Sqlite::RowView&) { return ++visited > 0; }));
        QCOMPARE(visited, 2);
    }

    void classOperations()
    {
        QVERIFY(Sqlite::version().startsWith(QLatin1String("3.")));
        const QString uuid = Sqlite::createUuid();
        QCOMPARE(uuid.size(), 36);
        QVERIFY(!QUuid::fromString(uuid).isNull());
        QVERIFY(Sqlite::createUuid() != uuid);
    }
};

QTEST_GUILESS_MAIN(SqliteTest)
#include "SqliteTest.moc"
