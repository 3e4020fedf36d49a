#include "worker/FirefoxSiteStorage.h"
#include "LockHolder.h"
#include "Sandbox.h"
#include "SiteDataSupport.h"
#include "worker/Sqlite.h"
#include "worker/WorkerAppDelegate.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTest>

using namespace SiteDataSupport;

namespace {

const KeepList keepFavourite{{QStringLiteral("127.0.0.1")}, false};

QStringList namesIn(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System, QDir::Name);
}

QStringList column(const QString& path, const QString& query)
{
    Sqlite database;
    QStringList values;
    if (!database.open(path))
        return values;
    for (const Sqlite::Row& row : database.executeQuery(query).value_or(Sqlite::Rows()))
        values.append(row.first().toString());
    return values;
}

// A ".metadata-v2" as Firefox writes it, naming `origin`.
QByteArray metadataFor(const QByteArray& suffix, const QByteArray& group, const QByteArray& origin)
{
    QByteArray bytes(17, '\0');
    for (const QByteArray& text : {suffix, group, origin}) {
        const quint32 length = quint32(text.size());
        for (int shift = 24; shift >= 0; shift -= 8)
            bytes.append(char((length >> shift) & 0xff));
        bytes.append(text);
    }
    return bytes + QByteArray(1, '\0');
}

} // namespace

class FirefoxSiteStorageTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void metadataAndArchiveKeys()
    {
        const QByteArray written = metadataFor("^userContextId=2", "a.com", "https://a.com^userContextId=2");
        QCOMPARE(FirefoxSiteStorage::originOfMetadata(written),
                 QStringLiteral("https://a.com^userContextId=2"));
        QVERIFY(!FirefoxSiteStorage::originOfMetadata(written.left(written.size() - 10)));
        QVERIFY(!FirefoxSiteStorage::originOfMetadata(QByteArray(16, '\0')));
        QVERIFY(!FirefoxSiteStorage::originOfMetadata(metadataFor("", "", "")));
        QVERIFY(!FirefoxSiteStorage::originOfMetadata(metadataFor("", "", "\xff\xfe")));
        QByteArray huge = QByteArray(17, '\0') + QByteArray("\xff\xff\xff\xff", 4);
        QVERIFY(!FirefoxSiteStorage::originOfMetadata(huge));
        QCOMPARE(FirefoxSiteStorage::originOfArchiveKey(QStringLiteral("moc.elpmaxe.www.:https:443")),
                 QStringLiteral("https://www.example.com:443"));
        QCOMPARE(FirefoxSiteStorage::originOfArchiveKey(QStringLiteral("1::.:http:80")),
                 QStringLiteral("http://[::1]:80"));
        QVERIFY(!FirefoxSiteStorage::originOfArchiveKey(QStringLiteral("noscope")));
    }

    // The profile written by the real Firefox: the folders of the sites not kept go (the
    // partitioned variant of one included), the favourite's stay, and Firefox's records follow.
    void passOverRealProfile()
    {
        Sandbox sandbox;
        const QString profiles =
            sandbox.homePath(QStringLiteral("Library/Application Support/Firefox/Profiles"));
        const QString profile = profiles + QStringLiteral("/abcd.default-esr");
        QVERIFY(unpack(QStringLiteral("firefox.tar.gz"), profile));
        const QString archive = profile + QStringLiteral("/storage/ls-archive.sqlite");
        {
            Sqlite database;
            QVERIFY(database.open(archive));
            for (const QString& key :
                 {QStringLiteral("1.0.0.721.:http:8601"), QStringLiteral("3.0.0.721.:http:8603")})
                QVERIFY(database.executeNonQuery(
                    QStringLiteral("INSERT INTO webappsstore2 VALUES ('', ?, '', 'k', 'v')"),
                    QVariantList{key}));
        }
        const QString storage = profile + QStringLiteral("/storage/default");
        const QString favourite = storage + QStringLiteral("/http+++127.0.0.1+8601");
        const QStringList favouriteFiles = namesIn(favourite + QStringLiteral("/idb"));
        // The older temporary store holds folders of the same kind, recorded under its own name.
        const QString temporary = profile + QStringLiteral("/storage/temporary");
        QVERIFY(QDir().mkpath(temporary));
        for (const QString& name :
             {QStringLiteral("http+++127.0.0.1+8601"), QStringLiteral("http+++127.0.0.3+8603")})
            QCOMPARE(QProcess::execute(QStringLiteral("cp"),
                                       {QStringLiteral("-a"), storage + QLatin1Char('/') + name, temporary}),
                     0);
        {
            Sqlite database;
            QVERIFY(database.open(profile + QStringLiteral("/storage.sqlite")));
            QVERIFY(database.executeNonQuery(
                QStringLiteral("INSERT INTO origin SELECT 1, suffix, group_, origin, client_usages, usage, "
                               "last_access_time, "
                               "last_maintenance_date, accessed, persisted FROM origin WHERE repository_id = "
                               "2 AND origin IN "
                               "('http://127.0.0.1:8601', 'http://127.0.0.3:8603');")));
        }

        WorkerAppDelegate worker({});
        QCOMPARE(worker.removeNonFavLocalStorage(QStringLiteral("Firefox"), keepFavourite), 3);
        QCOMPARE(namesIn(storage), QStringList{QStringLiteral("http+++127.0.0.1+8601")});
        QCOMPARE(namesIn(temporary), QStringList{QStringLiteral("http+++127.0.0.1+8601")});
        QCOMPARE(namesIn(favourite + QStringLiteral("/idb")), favouriteFiles);
        QVERIFY(QFileInfo(favourite + QStringLiteral("/ls/data.sqlite")).size() > 0);
        QCOMPARE(column(profile + QStringLiteral("/storage.sqlite"),
                        QStringLiteral("SELECT repository_id || ' ' || origin FROM origin ORDER BY 1")),
                 (QStringList{QStringLiteral("1 http://127.0.0.1:8601"),
                              QStringLiteral("2 http://127.0.0.1:8601")}));
        QCOMPARE(column(archive, QStringLiteral("SELECT originKey FROM webappsstore2")),
                 QStringList{QStringLiteral("1.0.0.721.:http:8601")});
    }

    // Folders whose origin cannot be read, links, other schemes and a favourite's partitioned data
    // stay; a running Firefox (its ".parentlock" held) is left alone whole.
    void unreadableAndRunningProfilesStay()
    {
        Sandbox sandbox;
        const QString profile = sandbox.homePath(QStringLiteral("profile"));
        const QString storage = profile + QStringLiteral("/storage/default");
        const auto folder = [&](const QString& name, const QByteArray& metadata) {
            return sandbox.writeFile(QStringLiteral("profile/storage/default/") + name +
                                         QStringLiteral("/.metadata-v2"),
                                     metadata) &&
                   sandbox.writeFile(QStringLiteral("profile/storage/default/") + name +
                                         QStringLiteral("/ls/data.sqlite"),
                                     "data");
        };
        QVERIFY(
            folder(QStringLiteral("https+++other.com"), metadataFor("", "other.com", "https://other.com")));
        QVERIFY(folder(QStringLiteral("https+++other.com^userContextId=2"),
                       metadataFor("^userContextId=2", "other.com", "https://other.com^userContextId=2")));
        QVERIFY(folder(QStringLiteral("https+++example.com^partitionKey=%28https%2Cother.com%29"),
                       metadataFor("^partitionKey=%28https%2Cother.com%29", "example.com",
                                   "https://example.com^partitionKey=%28https%2Cother.com%29")));
        QVERIFY(folder(QStringLiteral("https+++misnamed.com"), metadataFor("", "", "https://example.com")));
        QVERIFY(folder(QStringLiteral("https+++broken.com"), "\0\0\0"));
        QVERIFY(sandbox.writeFile(QStringLiteral("profile/storage/default/https+++bare.com/ls/data.sqlite"),
                                  "data"));
        QVERIFY(folder(QStringLiteral("moz-extension+++abc"), metadataFor("", "", "moz-extension://abc")));
        QVERIFY(sandbox.writeFile(QStringLiteral("elsewhere/.metadata-v2"),
                                  metadataFor("", "", "https://linked.com")));
        QVERIFY(QFile::link(sandbox.homePath(QStringLiteral("elsewhere")),
                            storage + QStringLiteral("/https+++linked.com")));
        const QStringList before = namesIn(storage);

        const KeepList keep{{QStringLiteral("example.com")}, false};
        {
            const LockHolder lock(profile + QStringLiteral("/.parentlock"));
            QVERIFY(lock.isLocked());
            QCOMPARE(FirefoxSiteStorage::clean(profile, keep, SecureRemoval(false)), 0);
            QCOMPARE(namesIn(storage), before);
        }
        // The two folders of other.com count as one origin.
        QCOMPARE(FirefoxSiteStorage::clean(profile, keep, SecureRemoval(true)), 1);
        QStringList expected = before;
        expected.removeAll(QStringLiteral("https+++other.com"));
        expected.removeAll(QStringLiteral("https+++other.com^userContextId=2"));
        QCOMPARE(namesIn(storage), expected);
        QVERIFY(QFileInfo::exists(sandbox.homePath(QStringLiteral("elsewhere/.metadata-v2"))));
        QCOMPARE(FirefoxSiteStorage::clean(profile, KeepList{{}, true}, SecureRemoval(false)), 0);
    }

    // Optional, with the real browser: after the pass Firefox starts on the profile without
    // resetting it, and its pages see all of the favourite's data and none of the removed sites'.
    void realBrowserSeesOnlyTheFavourite()
    {
        QString skip;
        if (!browserAvailable(QStringLiteral("firefox"), &skip))
            QSKIP(qPrintable(skip));
        Sandbox sandbox;
        const QString profile = sandbox.homePath(QStringLiteral("firefox"));
        QVERIFY(browse(QStringLiteral("write"), QStringLiteral("firefox"), profile));
        QCOMPARE(FirefoxSiteStorage::clean(profile, keepFavourite, SecureRemoval(true)), 2);
        const auto report = browse(QStringLiteral("read"), QStringLiteral("firefox"), profile);
        QVERIFY(report);
        const QString wrong = favouriteOnlyMismatch(*report);
        QVERIFY2(wrong.isEmpty(), qPrintable(wrong));
        // Firefox kept the profile: its records list the favourite's origin again, not a fresh store.
        QVERIFY(QFileInfo::exists(profile +
                                  QStringLiteral("/storage/default/http+++127.0.0.1+8601/.metadata-v2")));
    }
};

QTEST_GUILESS_MAIN(FirefoxSiteStorageTest)
#include "FirefoxSiteStorageTest.moc"
