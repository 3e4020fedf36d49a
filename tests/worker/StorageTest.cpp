#include "CookieStores.h"
#include "Sandbox.h"
#include "worker/Sqlite.h"
#include "worker/WorkerAppDelegate.h"

#include <QDir>
#include <QFileInfo>
#include <QTest>

namespace {

const KeepList keepExample{{QStringLiteral("example.com")}, false};

bool database(const QString& path, const QStringList& statements)
{
    return CookieStores::writeDatabase(path, statements);
}

QStringList column(const QString& path, const QString& query)
{
    Sqlite db;
    QStringList values;
    if (!db.open(path))
        return values;
    for (const Sqlite::Row& row : db.executeQuery(query).value_or(Sqlite::Rows()))
        values.append(row.first().toString());
    return values;
}

} // namespace

class StorageTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void databaseSelection()
    {
        const QStringList origins{QStringLiteral("http_example.com_0"),
                                  QStringLiteral("https_www.example.com_0"),
                                  QStringLiteral("http_mail.example.com_0"),
                                  QStringLiteral("http_other.com_0"),
                                  QStringLiteral("chrome-extension_abc_0"),
                                  QStringLiteral("safari-extension_abc_0"),
                                  QStringLiteral("example.com"),
                                  QStringLiteral("file__0"),
                                  QStringLiteral("http_other.com_0")};
        QCOMPARE(WorkerAppDelegate::databaseArray(origins, keepExample),
                 (QStringList{QStringLiteral("http_other.com_0"), QStringLiteral("file__0"),
                              QStringLiteral("http_other.com_0")}));
        QVERIFY(WorkerAppDelegate::databaseArray(origins, KeepList{{}, true}).isEmpty());
    }

    void localStorageSelection()
    {
        const QList<QByteArray> names{"http_example.com_0.localstorage",
                                      "http_other.com_0.localstorage",
                                      "http_other.com_0.localstorage-journal",
                                      "chrome-extension_x_0.localstorage",
                                      "safari-extension_x_0.localstorage",
                                      "example.com.localstorage",
                                      "notes.txt",
                                      "http_\xff\xfe.com_0.localstorage"};
        const QList<QByteArray> common{"http_other.com_0.localstorage", "http_\xff\xfe.com_0.localstorage"};
        QCOMPARE(WorkerAppDelegate::localStorageArray(names, QStringLiteral("Google Chrome"), keepExample),
                 (QList<QByteArray>{common.at(0), "safari-extension_x_0.localstorage", common.at(1)}));
        QCOMPARE(WorkerAppDelegate::localStorageArray(names, QStringLiteral("Safari"), keepExample),
                 (QList<QByteArray>{common.at(0), "chrome-extension_x_0.localstorage", common.at(1)}));
        QCOMPARE(WorkerAppDelegate::localStorageArray(names, QStringLiteral("Opera"), keepExample),
                 (QList<QByteArray>{common.at(0), "chrome-extension_x_0.localstorage",
                                    "safari-extension_x_0.localstorage", common.at(1)}));
    }

    void scopeSelection()
    {
        const QStringList scopes{
            QStringLiteral("moc.elpmaxe.www.:http:80"), QStringLiteral("moc.elpmaxe.:https:443"),
            QStringLiteral("moc.rehto.:http:80"),       QStringLiteral("noscope"),
            QStringLiteral("moc.rehto.:http:80"),       QStringLiteral(".:")};
        QCOMPARE(WorkerAppDelegate::mozillaLocalStorage(scopes, keepExample),
                 (QStringList{QStringLiteral("moc.rehto.:http:80"), QStringLiteral("moc.rehto.:http:80"),
                              QStringLiteral(".:")}));
    }

    void safariCountsRowsAndEditsBothIndexes()
    {
        Sandbox sandbox;
        const QString folder = sandbox.homePath(QStringLiteral("Library/Safari/Databases"));
        QVERIFY(database(
            folder + QStringLiteral("/Databases.db"),
            {QStringLiteral("CREATE TABLE Databases (origin TEXT)"),
             QStringLiteral("CREATE TABLE Origins (origin TEXT)"),
             QStringLiteral("INSERT INTO Databases VALUES ('http_o''ne.com_0'), ('http_o''ne.com_0'), "
                            "('http_example.com_0'), (NULL), ('../../Documents')"),
             QStringLiteral("INSERT INTO Origins VALUES ('http_o''ne.com_0'), ('http_example.com_0'), "
                            "('x'') OR 1=1 --')")}));
        QVERIFY(sandbox.writeFile(QStringLiteral("Library/Safari/Databases/http_o'ne.com_0/1.db"), "x"));
        QVERIFY(sandbox.writeFile(QStringLiteral("Library/Safari/Databases/http_example.com_0/1.db"), "x"));
        QVERIFY(sandbox.writeFile(QStringLiteral("Documents/letter"), "mine"));
        WorkerAppDelegate worker({});
        // Two rows of one origin count twice; the identifier that leads out of the folder is counted
        // but never followed.
        QCOMPARE(worker.removeNonFavLocalStorage(QStringLiteral("Safari"), keepExample), 3);
        QVERIFY(!QFileInfo::exists(folder + QStringLiteral("/http_o'ne.com_0")));
        QVERIFY(QFileInfo::exists(folder + QStringLiteral("/http_example.com_0/1.db")));
        QVERIFY(QFileInfo::exists(sandbox.homePath(QStringLiteral("Documents/letter"))));
        QCOMPARE(
            column(folder + QStringLiteral("/Databases.db"), QStringLiteral("SELECT origin FROM Databases")),
            (QStringList{QStringLiteral("http_example.com_0"), QString()}));
        QCOMPARE(
            column(folder + QStringLiteral("/Databases.db"), QStringLiteral("SELECT origin FROM Origins")),
            (QStringList{QStringLiteral("http_example.com_0"), QStringLiteral("x') OR 1=1 --")}));
    }

    void unreadableIndexesContributeNothing()
    {
        Sandbox sandbox;
        QVERIFY(sandbox.writeFile(QStringLiteral("Library/Safari/Databases/Databases.db"), "not a database"));
        QVERIFY(sandbox.writeFile(QStringLiteral("Library/Safari/Databases/http_a.com_0/1.db"), "x"));
        QVERIFY(database(
            sandbox.homePath(QStringLiteral("Library/Application Support/Camino/webappsstore.sqlite")),
            {QStringLiteral("CREATE TABLE other (scope TEXT)"),
             QStringLiteral("INSERT INTO other VALUES ('moc.a.:http:80')")}));
        WorkerAppDelegate worker({});
        QCOMPARE(worker.removeNonFavLocalStorage(QStringLiteral("Safari"), KeepList()), 0);
        QCOMPARE(worker.removeNonFavLocalStorage(QStringLiteral("Camino"), KeepList()), 0);
        QCOMPARE(worker.removeNonFavLocalStorage(QStringLiteral("WebKit"), KeepList()), 0);
        QVERIFY(QFileInfo::exists(
            sandbox.homePath(QStringLiteral("Library/Safari/Databases/http_a.com_0/1.db"))));
    }

    void firefoxCountsEveryRowPerProfile()
    {
        Sandbox sandbox;
        const QString profiles =
            sandbox.homePath(QStringLiteral("Library/Application Support/Firefox/Profiles"));
        const QStringList create{QStringLiteral("CREATE TABLE webappsstore2 (scope TEXT, key TEXT)")};
        QStringList five = create;
        for (int i = 0; i < 5; ++i)
            five.append(
                QStringLiteral("INSERT INTO webappsstore2 VALUES ('moc.rehto.:http:80', 'k%1')").arg(i));
        five.append(QStringLiteral("INSERT INTO webappsstore2 VALUES ('moc.elpmaxe.:http:80', 'k')"));
        QVERIFY(database(profiles + QStringLiteral("/one/webappsstore.sqlite"), five));
        QVERIFY(database(profiles + QStringLiteral("/two/webappsstore.sqlite"),
                         create + QStringList{QStringLiteral(
                                      "INSERT INTO webappsstore2 VALUES ('moc.driht.:http:80', 'k')")}));
        WorkerAppDelegate worker({});
        QCOMPARE(worker.removeNonFavLocalStorage(QStringLiteral("Firefox"), keepExample), 6);
        QCOMPARE(column(profiles + QStringLiteral("/one/webappsstore.sqlite"),
                        QStringLiteral("SELECT scope FROM webappsstore2")),
                 QStringList{QStringLiteral("moc.elpmaxe.:http:80")});
        QVERIFY(column(profiles + QStringLiteral("/two/webappsstore.sqlite"),
                       QStringLiteral("SELECT scope FROM webappsstore2"))
                    .isEmpty());
        // Favourites that could not be read: nothing is selected.
        QVERIFY(database(profiles + QStringLiteral("/two/webappsstore.sqlite"),
                         {QStringLiteral("INSERT INTO webappsstore2 VALUES ('moc.driht.:http:80', 'k')")}));
        QCOMPARE(worker.removeNonFavLocalStorage(QStringLiteral("Firefox"), KeepList{{}, true}), 0);
        QCOMPARE(column(profiles + QStringLiteral("/two/webappsstore.sqlite"),
                        QStringLiteral("SELECT scope FROM webappsstore2"))
                     .size(),
                 1);
    }

    void chromeRemovesFileAndJournalCountingOnce()
    {
        Sandbox sandbox;
        const QString base = QStringLiteral("Library/Application Support/Chromium/");
        QVERIFY(sandbox.writeFile(base + QStringLiteral("Local State"),
                                  R"({"profile":{"info_cache":{"Default":{"name":"x"}}}})"));
        QVERIFY(sandbox.writeFile(
            base + QStringLiteral("Default/Local Storage/http_other.com_0.localstorage"), "x"));
        QVERIFY(sandbox.writeFile(
            base + QStringLiteral("Default/Local Storage/http_other.com_0.localstorage-journal"), "x"));
        QVERIFY(sandbox.writeFile(
            base + QStringLiteral("Default/Local Storage/http_example.com_0.localstorage"), "x"));
        WorkerAppDelegate worker({});
        QCOMPARE(worker.removeNonFavLocalStorage(QStringLiteral("Chromium"), keepExample), 1);
        const auto entries =
            QDir(sandbox.homePath(base + QStringLiteral("Default/Local Storage"))).entryList(QDir::Files);
        QCOMPARE(entries, QStringList{QStringLiteral("http_example.com_0.localstorage")});
    }

    void chromeFinishesFoldersNoIndexNames()
    {
        // Folders go before their index rows; folders an interrupted pass left without a row are
        // judged by their names alone: a kept site's, an extension's and a name that is no web
        // origin stay.
        Sandbox sandbox;
        const QString base = QStringLiteral("Library/Application Support/Chromium/");
        const QString folder = base + QStringLiteral("Default/databases/");
        QVERIFY(sandbox.writeFile(base + QStringLiteral("Local State"),
                                  R"({"profile":{"info_cache":{"Default":{"name":"x"}}}})"));
        QVERIFY(database(
            sandbox.homePath(folder + QStringLiteral("Databases.db")),
            {QStringLiteral("CREATE TABLE Databases(id INTEGER PRIMARY KEY, origin TEXT, name TEXT);"),
             QStringLiteral("INSERT INTO Databases(origin, name) VALUES('http_listed.test_0', 'a'), "
                            "('http_example.com_0', 'b');")}));
        for (const QString& name :
             {QStringLiteral("http_listed.test_0"), QStringLiteral("http_example.com_0"),
              QStringLiteral("http_unlisted.test_0"), QStringLiteral("https_www.example.com_0"),
              QStringLiteral("chrome-extension_abc_0"), QStringLiteral("scratch")})
            QVERIFY(sandbox.writeFile(folder + name + QStringLiteral("/1"), "x"));
        WorkerAppDelegate worker({});
        QCOMPARE(worker.removeNonFavLocalStorage(QStringLiteral("Chromium"), keepExample), 1);
        QCOMPARE(column(sandbox.homePath(folder + QStringLiteral("Databases.db")),
                        QStringLiteral("SELECT origin FROM Databases")),
                 QStringList{QStringLiteral("http_example.com_0")});
        auto left = QDir(sandbox.homePath(folder)).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
        left.sort();
        QCOMPARE(left,
                 (QStringList{QStringLiteral("chrome-extension_abc_0"), QStringLiteral("http_example.com_0"),
                              QStringLiteral("https_www.example.com_0"), QStringLiteral("scratch")}));
    }
};

QTEST_GUILESS_MAIN(StorageTest)
#include "StorageTest.moc"
