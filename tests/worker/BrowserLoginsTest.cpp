#include "worker/BrowserLogins.h"
#include "CookieStores.h"
#include "Sandbox.h"
#include "worker/Sqlite.h"

#include <QDir>
#include <QFile>
#include <QTest>

#include <sys/stat.h>

using CookieStores::ChromeLogin;
using CookieStores::FirefoxLogin;

namespace {

QStringList sorted(const std::optional<QStringList>& sites)
{
    QStringList list = sites.value_or(QStringList{QStringLiteral("<unreadable>")});
    list.sort();
    return list;
}

BrowserProfile profileOf(const QString& browser, const QString& folder)
{
    return BrowserProfile{browser, *BrowserLocations::familyOf(browser), 0, QString(), folder};
}

} // namespace

class BrowserLoginsTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void chromeWebFormLoginsOnly()
    {
        Sandbox sandbox;
        const QString path = sandbox.homePath(QStringLiteral("Login Data"));
        QVERIFY(CookieStores::writeChromeLogins(
            path, {
                      {QStringLiteral("https://accounts.example.com/signin"),
                       QStringLiteral("https://accounts.example.com/")},
                      {QStringLiteral("http://www.shop.example.xy:8080/"),
                       QStringLiteral("http://www.shop.example.xy:8080/")},
                      // "Never save" entries, HTTP authentication, Android apps and federated logins.
                      {QStringLiteral("https://never.test/"), QStringLiteral("https://never.test/"), 0, true},
                      {QStringLiteral("https://basic.test/"), QStringLiteral("https://basic.test/Realm"), 1},
                      {QStringLiteral("android://hash@com.app.test/"),
                       QStringLiteral("android://hash@com.app.test/")},
                      {QStringLiteral("https://fed.test/"), QStringLiteral("federation://fed.test/idp.test"),
                       0, false, QStringLiteral("https://idp.test")},
                      // No origin that parses: the realm names the site.
                      {QVariant(), QStringLiteral("https://realm.test/")},
                      {QStringLiteral("not a url"), QStringLiteral("https://from-realm.test/")},
                      {QStringLiteral("https://[bad/"), QStringLiteral("::")},
                  }));
        QCOMPARE(sorted(BrowserLogins::chromeLoginData(path)),
                 (QStringList{QStringLiteral("example.com"), QStringLiteral("from-realm.test"),
                              QStringLiteral("realm.test"), QStringLiteral("shop.example.xy")}));
    }

    void chromeStoresThatCannotBeRead_data()
    {
        QTest::addColumn<QStringList>("statements");
        QTest::addColumn<bool>("readable");
        QTest::newRow("no logins table")
            << QStringList{QStringLiteral("CREATE TABLE meta(key TEXT);")} << true;
        QTest::newRow("other schema")
            << QStringList{QStringLiteral("CREATE TABLE logins(origin_url TEXT, signon_realm TEXT);")}
            << false;
        QTest::newRow("NULL in every column")
            << QStringList{QStringLiteral(
                               "CREATE TABLE logins(origin_url, signon_realm, scheme, blacklisted_by_user, "
                               "federation_url);"),
                           QStringLiteral("INSERT INTO logins VALUES (NULL, NULL, 0, 0, NULL), "
                                          "(x'68747470733a2f2f612e74657374', 7, 0, 0, NULL);")}
            << true;
    }

    void chromeStoresThatCannotBeRead()
    {
        QFETCH(QStringList, statements);
        QFETCH(bool, readable);
        Sandbox sandbox;
        const QString path = sandbox.homePath(QStringLiteral("Login Data"));
        QVERIFY(CookieStores::writeDatabase(path, statements));
        const auto sites = BrowserLogins::chromeLoginData(path);
        QCOMPARE(bool(sites), readable);
        if (sites)
            QVERIFY(sites->isEmpty());
    }

    void corruptOrLockedDatabasesCannotBeRead()
    {
        Sandbox sandbox;
        QVERIFY(sandbox.writeFile(QStringLiteral("corrupt"),
                                  QByteArray("SQLite format 3\0", 16) + QByteArray(4080, 'x')));
        QVERIFY(!BrowserLogins::chromeLoginData(sandbox.homePath(QStringLiteral("corrupt"))));
        QVERIFY(!BrowserLogins::firefoxLoginsDb(sandbox.homePath(QStringLiteral("corrupt"))));
        QVERIFY(!BrowserLogins::firefoxSignons(sandbox.homePath(QStringLiteral("corrupt"))));

        // A browser that runs holds its "Login Data" in exclusive mode.
        const QString path = sandbox.homePath(QStringLiteral("Login Data"));
        QVERIFY(CookieStores::writeChromeLogins(
            path, {{QStringLiteral("https://a.test/"), QStringLiteral("https://a.test/")}}));
        Sqlite browser;
        QVERIFY(browser.open(path));
        QVERIFY(browser.executeQuery(QStringLiteral("PRAGMA locking_mode = EXCLUSIVE;")));
        QVERIFY(browser.executeNonQuery(QStringLiteral("UPDATE logins SET times_used = 1;")));
        QVERIFY(!BrowserLogins::chromeLoginData(path));
        browser.close();
        QCOMPARE(sorted(BrowserLogins::chromeLoginData(path)), QStringList{QStringLiteral("a.test")});
    }

    void firefoxLoginsJson()
    {
        Sandbox sandbox;
        const QString path = sandbox.homePath(QStringLiteral("logins.json"));
        QVERIFY(sandbox.writeFile(
            QStringLiteral("logins.json"),
            CookieStores::firefoxLoginsJson({{QStringLiteral("https://www.example.com")},
                                             {QStringLiteral("http://mail.example.xy:8080")},
                                             {QStringLiteral("https://auth.test"), QStringLiteral("Members")},
                                             {QStringLiteral("chrome://FirefoxAccounts")},
                                             {QStringLiteral("moz-extension://abc")},
                                             {QStringLiteral("example.org")}})));
        QCOMPARE(sorted(BrowserLogins::firefoxLoginsJson(path)),
                 (QStringList{QStringLiteral("example.com"), QStringLiteral("mail.example.xy")}));
    }

    void firefoxLoginsJsonThatCannotBeRead_data()
    {
        QTest::addColumn<QByteArray>("contents");
        QTest::newRow("truncated") << QByteArray(
            "{\"nextId\":2,\"logins\":[{\"hostname\":\"https://a.test\"");
        QTest::newRow("array") << QByteArray("[{\"hostname\":\"https://a.test\"}]");
        QTest::newRow("no logins") << QByteArray("{\"nextId\":1}");
        QTest::newRow("logins not an array") << QByteArray("{\"logins\":{\"hostname\":\"https://a.test\"}}");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("huge") << QByteArray();
    }

    void firefoxLoginsJsonThatCannotBeRead()
    {
        QFETCH(QByteArray, contents);
        Sandbox sandbox;
        const QString path = sandbox.homePath(QStringLiteral("logins.json"));
        QVERIFY(sandbox.writeFile(QStringLiteral("logins.json"), contents));
        if (QByteArray(QTest::currentDataTag()) == "huge") {
            QFile file(path);
            QVERIFY(file.open(QIODevice::ReadWrite));
            QVERIFY(file.resize(qint64(65) * 1024 * 1024)); // sparse
        }
        QVERIFY(!BrowserLogins::firefoxLoginsJson(path));
    }

    void firefoxLoginsDbSkipsDeletedAndRealmLogins()
    {
        Sandbox sandbox;
        const QString path = sandbox.homePath(QStringLiteral("logins.db"));
        QVERIFY(CookieStores::writeFirefoxLoginsDb(
            path, {{QStringLiteral("https://www.example.com")},
                   {QStringLiteral("https://gone.test"), QString(), true},
                   {QStringLiteral("https://auth.test"), QStringLiteral("R")}}));
        // A synced login in the mirror, and one the local copy overrides.
        Sqlite database;
        QVERIFY(database.open(path));
        QVERIFY(database.executeNonQuery(
            QStringLiteral("INSERT INTO loginsM (origin, formActionOrigin, timeCreated, timePasswordChanged, "
                           "guid, server_modified, "
                           "is_overridden) VALUES ('https://synced.test', '', 1, 1, 'm1', 1, 0), "
                           "('https://overridden.test', '', 1, 1, 'm2', 1, 1);")));
        database.close();
        QCOMPARE(sorted(BrowserLogins::firefoxLoginsDb(path)),
                 (QStringList{QStringLiteral("example.com"), QStringLiteral("synced.test")}));
    }

    void profileStoresTogether()
    {
        Sandbox sandbox;
        const QString folder = sandbox.homePath(QStringLiteral("ff"));
        QVERIFY(sandbox.writeFile(QStringLiteral("ff/logins.json"),
                                  CookieStores::firefoxLoginsJson({{QStringLiteral("https://json.test")}})));
        QVERIFY(CookieStores::writeFirefoxLoginsDb(folder + QStringLiteral("/logins.db"),
                                                   {{QStringLiteral("https://db.test")}}));
        QVERIFY(CookieStores::writeLogins(folder + QStringLiteral("/signons.sqlite"),
                                          {QStringLiteral("https://www.signons.com")}));
        QCOMPARE(sorted(BrowserLogins::sitesOfProfile(profileOf(QStringLiteral("Firefox"), folder))),
                 (QStringList{QStringLiteral("db.test"), QStringLiteral("json.test"),
                              QStringLiteral("signons.com")}));

        const QString chrome = sandbox.homePath(QStringLiteral("Default"));
        QVERIFY(CookieStores::writeChromeLogins(
            chrome + QStringLiteral("/Login Data"),
            {{QStringLiteral("https://a.test/"), QStringLiteral("https://a.test/")}}));
        QVERIFY(CookieStores::writeChromeLogins(
            chrome + QStringLiteral("/Login Data For Account"),
            {{QStringLiteral("https://b.test/"), QStringLiteral("https://b.test/")}}));
        QCOMPARE(sorted(BrowserLogins::sitesOfProfile(profileOf(QStringLiteral("Chromium"), chrome))),
                 (QStringList{QStringLiteral("a.test"), QStringLiteral("b.test")}));
        // A profile without any store adds nothing and is no failure.
        QCOMPARE(sorted(BrowserLogins::sitesOfProfile(profileOf(QStringLiteral("Opera"), sandbox.home()))),
                 QStringList());
    }

    void storesThatAreNoPlainFileCannotBeRead()
    {
        Sandbox sandbox;
        const QString folder = sandbox.homePath(QStringLiteral("ff"));
        QVERIFY(QDir().mkpath(folder));
        QCOMPARE(mkfifo(QFile::encodeName(folder + QStringLiteral("/logins.json")).constData(), 0600), 0);
        QVERIFY(!BrowserLogins::sitesOfProfile(profileOf(QStringLiteral("Firefox"), folder)));

        const QString chrome = sandbox.homePath(QStringLiteral("Default"));
        QVERIFY(CookieStores::writeChromeLogins(
            sandbox.homePath(QStringLiteral("elsewhere")),
            {{QStringLiteral("https://a.test/"), QStringLiteral("https://a.test/")}}));
        QVERIFY(QDir().mkpath(chrome));
        QVERIFY(QFile::link(sandbox.homePath(QStringLiteral("elsewhere")),
                            chrome + QStringLiteral("/Login Data")));
        QVERIFY(!BrowserLogins::sitesOfProfile(profileOf(QStringLiteral("Chromium"), chrome)));
    }
};

QTEST_GUILESS_MAIN(BrowserLoginsTest)
#include "BrowserLoginsTest.moc"
