#include "CookieStores.h"
#include "Sandbox.h"
#include "worker/Sqlite.h"
#include "worker/WorkerAppDelegate.h"

#include <QDir>
#include <QFile>
#include <QTest>

#include <sys/stat.h>

using CookieStores::Cookie;

namespace {

const QString chrome = QStringLiteral("Library/Application Support/Google/Chrome");
const QString firefoxProfiles = QStringLiteral("Library/Application Support/Firefox/Profiles");

KeepList keeping(const QStringList& sites)
{
    return KeepList{sites, false};
}

QStringList sorted(QStringList list)
{
    list.sort();
    return list;
}

bool writeLocalState(const Sandbox& sandbox, const QStringList& profiles)
{
    QByteArray entries;
    for (const QString& profile : profiles)
        entries += (entries.isEmpty() ? "" : ",") + ("\"" + profile.toUtf8() + "\":{\"name\":\"n\"}");
    return sandbox.writeFile(chrome + QStringLiteral("/Local State"),
                             "{\"profile\":{\"info_cache\":{" + entries + "}}}");
}

} // namespace

class CookiesTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void trackingPrefixesAreFixed()
    {
        const QStringList prefixes = WorkerAppDelegate::defaultTrackingCookies();
        QCOMPARE(prefixes.size(), 122);
        QCOMPARE(prefixes.first(), QStringLiteral("_em_"));
        QCOMPARE(prefixes.at(33), QStringLiteral(".ASPXANONYMOUS"));
        QCOMPARE(prefixes.last(), QStringLiteral("km"));
        QCOMPARE(QSet<QString>(prefixes.begin(), prefixes.end()).size(), 122);
    }

    void inventorySortsByFavouriteAndName()
    {
        Sandbox sandbox;
        QVERIFY(CookieStores::writeMozilla(
            sandbox.homePath(QStringLiteral("Library/Application Support/Camino/cookies.sqlite")),
            {{QStringLiteral(".www.example.com"), QStringLiteral("session"), 1},
             {QStringLiteral("example.com"), QStringLiteral("NIDX"), 2},
             {QStringLiteral("example.com"), QStringLiteral("nid"), 3},
             {QStringLiteral("shop.example.com"), QStringLiteral("admin_token"), 4},
             {QStringLiteral("tracker.test"), QStringLiteral("UID2"), 5},
             {QStringLiteral("other.test"), QStringLiteral("pref"), 6},
             {QStringLiteral("file:///x"), QStringLiteral("UID"), 7},
             {QStringLiteral("bad\xff.test"), QStringLiteral("pref"), 8}}));
        const CookieInventory inventory =
            WorkerAppDelegate::cookies(QStringLiteral("Camino"), keeping({QStringLiteral("example.com")}));
        QStringList names;
        for (const CookieRecord& record : inventory.deletionList)
            names.append(record.row.value(QStringLiteral("name")).toString());
        QCOMPARE(sorted(names),
                 (QStringList{QStringLiteral("NIDX"), QStringLiteral("UID2"), QStringLiteral("admin_token"),
                              QStringLiteral("pref"), QStringLiteral("pref")}));
        // The tracking cookie of a site not kept is one cookie, not two.
        QCOMPARE(inventory.cookieCount, 5);
        QCOMPARE(inventory.trackingCount, 3);
        QVERIFY(WorkerAppDelegate::cookies(QStringLiteral("WebKit"), {}).deletionList.isEmpty());
    }

    void firefoxRecordsGoOnlyFromTheirOwnProfile()
    {
        Sandbox sandbox;
        const QString first = sandbox.homePath(firefoxProfiles + QStringLiteral("/a.default/cookies.sqlite"));
        const QString second = sandbox.homePath(firefoxProfiles + QStringLiteral("/b.work/cookies.sqlite"));
        // Same host and id in both; only the first profile's is a tracking cookie.
        QVERIFY(CookieStores::writeMozilla(first, {{QStringLiteral("example.com"), QStringLiteral("UID"), 1},
                                                   {QStringLiteral("gone.test"), QStringLiteral("a"), 2}}));
        QVERIFY(
            CookieStores::writeMozilla(second, {{QStringLiteral("example.com"), QStringLiteral("login"), 1},
                                                {QStringLiteral("o'hara.test"), QStringLiteral("b"), 3}}));
        const QList<qint64> counts = WorkerAppDelegate({}).removeCookies(
            QStringLiteral("Firefox"), keeping({QStringLiteral("example.com")}));
        QCOMPARE(counts, (QList<qint64>{3, 1}));
        QCOMPARE(CookieStores::contents(first, QStringLiteral("moz_cookies"), QStringLiteral("host")),
                 QStringList());
        QCOMPARE(CookieStores::contents(second, QStringLiteral("moz_cookies"), QStringLiteral("host")),
                 QStringList{QStringLiteral("example.com|login")});
    }

    void chromeProfilesAndChannelIds()
    {
        Sandbox sandbox;
        QVERIFY(writeLocalState(sandbox, {QStringLiteral("Default"), QStringLiteral("Profile 1")}));
        const QList<Cookie> cookies{
            {QStringLiteral(".example.com"), QStringLiteral("keep"), 13300000000000001},
            {QStringLiteral(".example.com"), QStringLiteral("__utma"), 13300000000000002},
            // Same host and creation time as the tracking cookie above, yet a favourite's to keep.
            {QStringLiteral(".example.com"), QStringLiteral("session"), 13300000000000002},
            {QStringLiteral(".it's.test"), QStringLiteral("x"), 13300000000000003},
            {QStringLiteral("100%.test"), QStringLiteral("y"), 13300000000000004}};
        for (const QString& profile :
             {QStringLiteral("Default"), QStringLiteral("Profile 1"), QStringLiteral("Profile 9")}) {
            QVERIFY(CookieStores::writeChrome(
                sandbox.homePath(chrome + QLatin1Char('/') + profile + "/Cookies"), cookies));
            QVERIFY(CookieStores::writeChannelIds(
                sandbox.homePath(chrome + QLatin1Char('/') + profile + "/Origin Bound Certs"),
                {QStringLiteral("example.com"), QStringLiteral("it's.test"), QStringLiteral("other.test")}));
        }
        const KeepList keep = keeping({QStringLiteral("example.com"), QStringLiteral("it's.test")});
        QCOMPARE(WorkerAppDelegate({}).removeCookies(QStringLiteral("Google Chrome"), keep),
                 (QList<qint64>{4, 2}));
        for (const QString& profile : {QStringLiteral("Default"), QStringLiteral("Profile 1")}) {
            const QString folder = sandbox.homePath(chrome + QLatin1Char('/') + profile);
            QCOMPARE(CookieStores::contents(folder + "/Cookies", QStringLiteral("cookies"),
                                            QStringLiteral("host_key")),
                     (QStringList{QStringLiteral(".example.com|keep"), QStringLiteral(".example.com|session"),
                                  QStringLiteral(".it's.test|x")}));
            QCOMPARE(CookieStores::channelIds(folder + "/Origin Bound Certs"),
                     (QStringList{QStringLiteral("example.com"), QStringLiteral("it's.test")}));
            QVERIFY(CookieStores::passesIntegrityCheck(folder + "/Cookies"));
        }
        // A folder that Local State does not name is no profile.
        const QString unlisted = sandbox.homePath(chrome + QStringLiteral("/Profile 9"));
        QCOMPARE(CookieStores::contents(unlisted + "/Cookies", QStringLiteral("cookies"),
                                        QStringLiteral("host_key"))
                     .size(),
                 5);
        QCOMPARE(CookieStores::channelIds(unlisted + "/Origin Bound Certs").size(), 3);
    }

    void olderSchemaWithTheCreationTimeAsKey()
    {
        // Older Chrome and Opera jars make creation_utc the table's own key.
        Sandbox sandbox;
        QVERIFY(writeLocalState(sandbox, {QStringLiteral("Default")}));
        const QString path = sandbox.homePath(chrome + QStringLiteral("/Default/Cookies"));
        QVERIFY(CookieStores::writeDatabase(
            path,
            {QStringLiteral("CREATE TABLE cookies(creation_utc INTEGER NOT NULL UNIQUE PRIMARY KEY, "
                            "host_key TEXT NOT NULL, name TEXT NOT NULL, value TEXT NOT NULL, "
                            "path TEXT NOT NULL, expires_utc INTEGER NOT NULL);"),
             QStringLiteral("INSERT INTO cookies VALUES(13300000000000001, 'a.test', 'login', 'v', '/', 0), "
                            "(13300000000000002, 'a.test', '__utmz', 'v', '/', 0), "
                            "(13300000000000003, 'b.test', 'lang', 'v', '/', 0);")}));
        QCOMPARE(WorkerAppDelegate({}).removeCookies(QStringLiteral("Google Chrome"),
                                                     keeping({QStringLiteral("a.test")})),
                 (QList<qint64>{2, 1}));
        QCOMPARE(CookieStores::contents(path, QStringLiteral("cookies"), QStringLiteral("host_key")),
                 QStringList{QStringLiteral("a.test|login")});
    }

    void unknownFavouritesRemoveOnlyTrackingCookies()
    {
        Sandbox sandbox;
        const QString opera = QStringLiteral("Library/Application Support/com.operasoftware.Opera");
        QVERIFY(CookieStores::writeChrome(sandbox.homePath(opera + "/Cookies"),
                                          {{QStringLiteral("a.test"), QStringLiteral("login"), 1},
                                           {QStringLiteral("b.test"), QStringLiteral("SID"), 2}}));
        QVERIFY(CookieStores::writeChannelIds(sandbox.homePath(opera + "/Origin Bound Certs"),
                                              {QStringLiteral("a.test")}));
        KeepList everySite;
        everySite.keepsEverySite = true;
        QCOMPARE(WorkerAppDelegate({}).removeCookies(QStringLiteral("Opera"), everySite),
                 (QList<qint64>{1, 1}));
        QCOMPARE(CookieStores::contents(sandbox.homePath(opera + "/Cookies"), QStringLiteral("cookies"),
                                        QStringLiteral("host_key")),
                 QStringList{QStringLiteral("a.test|login")});
        QCOMPARE(CookieStores::channelIds(sandbox.homePath(opera + "/Origin Bound Certs")),
                 QStringList{QStringLiteral("a.test")});

        // An empty keep list takes every channel ID.
        QCOMPARE(WorkerAppDelegate({}).removeCookies(QStringLiteral("Opera"), {}), (QList<qint64>{1, 0}));
        QVERIFY(CookieStores::channelIds(sandbox.homePath(opera + "/Origin Bound Certs")).isEmpty());
    }

    void badStoresAreSkippedAndLeftAlone()
    {
        Sandbox sandbox;
        QVERIFY(writeLocalState(sandbox, {QStringLiteral("Default"), QStringLiteral("Profile 1"),
                                          QStringLiteral("Profile 2"), QStringLiteral("Profile 3"),
                                          QStringLiteral("Profile 4")}));
        const QByteArray notADatabase(8192, 'n');
        QVERIFY(sandbox.writeFile(chrome + "/Default/Cookies", notADatabase));
        QVERIFY(QDir().mkpath(sandbox.homePath(chrome + "/Profile 1")));
        QVERIFY(QDir().mkpath(sandbox.homePath(chrome + "/Profile 2")));
        {
            Sqlite other(sandbox.homePath(chrome + "/Profile 1/Cookies"));
            QVERIFY(other.executeNonQuery(QStringLiteral("CREATE TABLE unrelated(x);")));
            Sqlite nulls(sandbox.homePath(chrome + "/Profile 2/Cookies"));
            QVERIFY(nulls.executeNonQuery(
                QStringLiteral("CREATE TABLE cookies(host_key TEXT, name TEXT, creation_utc INTEGER);")));
            QVERIFY(nulls.executeNonQuery(QStringLiteral(
                "INSERT INTO cookies VALUES(NULL, 'UID', 1), ('a.test', NULL, 2), (3, 'x', 3);")));
        }
        const QString lockedPath = sandbox.homePath(chrome + "/Profile 3/Cookies");
        QVERIFY(CookieStores::writeChrome(lockedPath, {{QStringLiteral("a.test"), QStringLiteral("x"), 1}}));
        const QString linkTarget = sandbox.homePath(QStringLiteral("elsewhere.sqlite"));
        QVERIFY(CookieStores::writeChrome(linkTarget, {{QStringLiteral("a.test"), QStringLiteral("x"), 1}}));
        QVERIFY(QDir().mkpath(sandbox.homePath(chrome + "/Profile 4")));
        QVERIFY(QFile::link(linkTarget, sandbox.homePath(chrome + "/Profile 4/Cookies")));

        Sqlite holder(lockedPath);
        QVERIFY(holder.beginTransaction());
        QVERIFY(holder.executeNonQuery(QStringLiteral("UPDATE cookies SET value = 'held';")));
        const QList<qint64> counts = WorkerAppDelegate({}).removeCookies(QStringLiteral("Google Chrome"), {});
        QVERIFY(holder.rollback());
        holder.close();

        // Of the odd rows, the NULL host is skipped; the NULL name and the numeric host are listed.
        QCOMPARE(counts, (QList<qint64>{2, 0}));
        Sqlite nulls(sandbox.homePath(chrome + "/Profile 2/Cookies"));
        const auto left = nulls.executeQuery(QStringLiteral("SELECT creation_utc FROM cookies ORDER BY 1;"));
        QVERIFY(left);
        QCOMPARE(left->size(), 1);
        QCOMPARE(left->at(0).value(QStringLiteral("creation_utc")).toString(), QStringLiteral("1"));
        QFile garbage(sandbox.homePath(chrome + "/Default/Cookies"));
        QVERIFY(garbage.open(QIODevice::ReadOnly));
        QCOMPARE(garbage.readAll(), notADatabase);
        QCOMPARE(CookieStores::contents(lockedPath, QStringLiteral("cookies"), QStringLiteral("host_key")),
                 QStringList{QStringLiteral("a.test|x")});
        QCOMPARE(CookieStores::contents(linkTarget, QStringLiteral("cookies"), QStringLiteral("host_key")),
                 QStringList{QStringLiteral("a.test|x")});
    }

    void everySelectedRowGoesWhateverItsBytes()
    {
        // Text that is not UTF-8 and a NULL creation time: the cookie is deleted by the row that was
        // read, not by values that no longer match once decoded.
        Sandbox sandbox;
        QVERIFY(writeLocalState(sandbox, {QStringLiteral("Default")}));
        const QString path = sandbox.homePath(chrome + QStringLiteral("/Default/Cookies"));
        QVERIFY(CookieStores::writeDatabase(
            path, {QStringLiteral("CREATE TABLE cookies(creation_utc INTEGER, host_key TEXT, name TEXT);"),
                   QStringLiteral("INSERT INTO cookies VALUES(NULL, 'gone.test', 'a'), "
                                  "(5, CAST(x'676f6e65ff2e74657374' AS TEXT), 'b'), "
                                  "(6, 'gone.test', CAST(x'ff80' AS TEXT)), "
                                  "(7, 'kept.com', CAST(x'ff' AS TEXT)), "
                                  "(7, CAST(x'6b6570742e636f6dfe' AS TEXT), 'c'), "
                                  "(8, CAST(x'6b6570742e636f6dfe' AS TEXT), 'UID');")}));
        QCOMPARE(WorkerAppDelegate({}).removeCookies(QStringLiteral("Google Chrome"),
                                                     keeping({QStringLiteral("kept.com")})),
                 (QList<qint64>{5, 1}));
        Sqlite database(path);
        const auto left =
            database.executeQuery(QStringLiteral("SELECT hex(host_key) AS h, hex(name) AS n FROM cookies;"));
        QVERIFY(left);
        QCOMPARE(left->size(), 1);
        QCOMPARE(left->at(0).value(QStringLiteral("h")).toString(), QStringLiteral("6B6570742E636F6D"));
        QCOMPARE(left->at(0).value(QStringLiteral("n")).toString(), QStringLiteral("FF"));
        QVERIFY(CookieStores::passesIntegrityCheck(path));
    }

    void linkedProfileFolderIsNeverEdited()
    {
        // A profile that Local State lists but whose folder is a link to another place: nothing
        // behind the link is edited, while the real profile is cleaned.
        Sandbox sandbox;
        QVERIFY(writeLocalState(sandbox, {QStringLiteral("Default"), QStringLiteral("Linked")}));
        const QList<Cookie> cookies{{QStringLiteral("gone.test"), QStringLiteral("x"), 1}};
        const QString outside = sandbox.rootPath(QStringLiteral("outside"));
        QVERIFY(CookieStores::writeChrome(outside + "/Cookies", cookies));
        QVERIFY(
            CookieStores::writeChannelIds(outside + "/Origin Bound Certs", {QStringLiteral("gone.test")}));
        QVERIFY(CookieStores::writeChrome(sandbox.homePath(chrome + "/Default/Cookies"), cookies));
        QVERIFY(QFile::link(outside, sandbox.homePath(chrome + "/Linked")));
        QCOMPARE(WorkerAppDelegate({}).removeCookies(QStringLiteral("Google Chrome"), {}),
                 (QList<qint64>{1, 0}));
        QVERIFY(CookieStores::contents(sandbox.homePath(chrome + "/Default/Cookies"),
                                       QStringLiteral("cookies"), QStringLiteral("host_key"))
                    .isEmpty());
        QCOMPARE(CookieStores::contents(outside + "/Cookies", QStringLiteral("cookies"),
                                        QStringLiteral("host_key")),
                 QStringList{QStringLiteral("gone.test|x")});
        QCOMPARE(CookieStores::channelIds(outside + "/Origin Bound Certs"),
                 QStringList{QStringLiteral("gone.test")});
    }

    void firefoxFavouritesFromSavedLogins()
    {
        Sandbox sandbox;
        QVERIFY(
            CookieStores::writeLogins(sandbox.homePath(firefoxProfiles + "/a/signons.sqlite"),
                                      {QStringLiteral("https://www.example.com"),
                                       QStringLiteral("https://example.org"), QStringLiteral("localhost")}));
        QVERIFY(CookieStores::writeLogins(sandbox.homePath(firefoxProfiles + "/b/signons.sqlite"),
                                          {QStringLiteral("http://www.example.com")}));
        {
            Sqlite noTable(sandbox.homePath(firefoxProfiles + "/c/signons.sqlite"));
            QVERIFY(QDir().mkpath(sandbox.homePath(firefoxProfiles + "/c")));
            QVERIFY(noTable.open(sandbox.homePath(firefoxProfiles + "/c/signons.sqlite")));
            QVERIFY(noTable.executeNonQuery(QStringLiteral("CREATE TABLE moz_disabledHosts(hostname);")));
        }
        QVERIFY(QDir().mkpath(sandbox.homePath(firefoxProfiles + "/d")));
        const auto sites = WorkerAppDelegate({}).getFirefoxSmartFavouritesArray();
        QVERIFY(sites);
        QCOMPARE(sorted(*sites),
                 (QStringList{QStringLiteral("example.com"), QStringLiteral("https://example.org"),
                              QStringLiteral("localhost")}));
    }

    void unreadableSavedLoginsLeaveTheFavouritesUnknown()
    {
        Sandbox sandbox;
        const QString logins = sandbox.homePath(firefoxProfiles + "/a/signons.sqlite");
        QVERIFY(CookieStores::writeLogins(logins, {QStringLiteral("https://www.example.com")}));
        {
            Sqlite holder(logins);
            QVERIFY(holder.beginTransaction());
            QVERIFY(!WorkerAppDelegate({}).getFirefoxSmartFavouritesArray());
            QVERIFY(holder.rollback());
        }
        QVERIFY(sandbox.writeFile(firefoxProfiles + "/b/signons.sqlite", QByteArray(4096, 'x')));
        QVERIFY(!WorkerAppDelegate({}).getFirefoxSmartFavouritesArray());
        QVERIFY(QFile::remove(sandbox.homePath(firefoxProfiles + "/b/signons.sqlite")));
        QCOMPARE(
            mkfifo(QFile::encodeName(sandbox.homePath(firefoxProfiles + "/b/signons.sqlite")).constData(),
                   0600),
            0);
        QVERIFY(!WorkerAppDelegate({}).getFirefoxSmartFavouritesArray());
    }
};

QTEST_GUILESS_MAIN(CookiesTest)
#include "CookiesTest.moc"
