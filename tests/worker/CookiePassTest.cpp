#include "CookieStores.h"
#include "NotificationRecorder.h"
#include "Sandbox.h"
#include "TestKeyring.h"
#include "platform/HttpCookieStorage.h"
#include "worker/Sqlite.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTest>

#include <csignal>

using CookieStores::Cookie;

namespace {

const QString support = QStringLiteral("Library/Application Support/");
const QString chrome = support + QStringLiteral("Google/Chrome/");
const QString chromium = support + QStringLiteral("Chromium/");
const QString opera = support + QStringLiteral("com.operasoftware.Opera/");
const QString camino = support + QStringLiteral("Camino/");
const QString firefox = support + QStringLiteral("Firefox/Profiles/");
const QString safariJar = QStringLiteral("Library/Cookies/Cookies.binarycookies");

// Two favourite sites' cookies, one of them a tracking cookie, and four of other sites.
const QList<Cookie> everyStore{{QStringLiteral(".example.com"), QStringLiteral("session"), 13300000000000001},
                               {QStringLiteral(".example.com"), QStringLiteral("SIDCC"), 13300000000000002},
                               {QStringLiteral("shop.example.xy"), QStringLiteral("cart"), 13300000000000003},
                               {QStringLiteral(".example.xy"), QStringLiteral("pref"), 13300000000000004},
                               {QStringLiteral(".other.test"), QStringLiteral("UID"), 13300000000000005},
                               {QStringLiteral("it's.test"), QStringLiteral("x"), 13300000000000006}};
const QStringList bothFavourites{QStringLiteral(".example.com|session"),
                                 QStringLiteral("shop.example.xy|cart")};

QString worker()
{
    return BuiltSuite::executable(BuiltSuite::workerBundle());
}

bool writeLocalState(const Sandbox& sandbox, const QString& folder, const QStringList& profiles)
{
    QByteArray entries;
    for (const QString& profile : profiles)
        entries += (entries.isEmpty() ? "" : ",") + ("\"" + profile.toUtf8() + "\":{\"name\":\"n\"}");
    return sandbox.writeFile(folder + QStringLiteral("Local State"),
                             "{\"profile\":{\"info_cache\":{" + entries + "}}}");
}

QStringList chromeCookies(const Sandbox& sandbox, const QString& database)
{
    return CookieStores::contents(sandbox.homePath(database), QStringLiteral("cookies"),
                                  QStringLiteral("host_key"));
}

QStringList mozillaCookies(const Sandbox& sandbox, const QString& database)
{
    return CookieStores::contents(sandbox.homePath(database), QStringLiteral("moz_cookies"),
                                  QStringLiteral("host"));
}

QStringList safariCookies(const Sandbox& sandbox)
{
    QStringList names;
    for (const HttpCookie& cookie : HttpCookieStorage(sandbox.homePath(safariJar)).cookies())
        names.append(cookie.domain + QLatin1Char('|') + cookie.name);
    names.sort();
    return names;
}

bool writeEveryStore(const Sandbox& sandbox)
{
    const QStringList channelIds{QStringLiteral("example.com"), QStringLiteral("shop.example.xy"),
                                 QStringLiteral("other.test")};
    bool written =
        writeLocalState(sandbox, chrome, {QStringLiteral("Default"), QStringLiteral("Profile 1")}) &&
        writeLocalState(sandbox, chromium, {QStringLiteral("Default")});
    for (const QString& folder :
         {chrome + "Default/", chrome + "Profile 1/", chrome + "Profile 9/", chromium + "Default/", opera}) {
        written = written && CookieStores::writeChrome(sandbox.homePath(folder + "Cookies"), everyStore) &&
                  CookieStores::writeChannelIds(sandbox.homePath(folder + "Origin Bound Certs"), channelIds);
    }
    for (const QString& folder : {firefox + "a.default/", firefox + "b.work/", camino})
        written =
            written && CookieStores::writeMozilla(sandbox.homePath(folder + "cookies.sqlite"), everyStore);
    written = written && CookieStores::writeLogins(sandbox.homePath(firefox + "a.default/signons.sqlite"),
                                                   {QStringLiteral("https://www.example.com")});
    return written && sandbox.writeFile(safariJar, CookieStores::binaryCookies(everyStore));
}

QStringList databasesIn(const Sandbox& sandbox)
{
    QStringList databases;
    for (const QString& folder :
         {chrome + "Default/", chrome + "Profile 1/", chrome + "Profile 9/", chromium + "Default/", opera}) {
        databases << sandbox.homePath(folder + "Cookies") << sandbox.homePath(folder + "Origin Bound Certs");
    }
    for (const QString& folder : {firefox + "a.default/", firefox + "b.work/", camino})
        databases << sandbox.homePath(folder + "cookies.sqlite");
    return databases;
}

// A bus of this test's own on which nothing can be started.
class BareBus
{
public:
    explicit BareBus(const Sandbox& sandbox)
    {
        const QString config = sandbox.homePath(QStringLiteral("bare-bus.conf"));
        (void)sandbox.writeFile(
            QStringLiteral("bare-bus.conf"),
            "<busconfig><type>session</type><listen>unix:tmpdir=/tmp</listen>"
            "<policy context=\"default\"><allow send_destination=\"*\" eavesdrop=\"true\"/>"
            "<allow eavesdrop=\"true\"/><allow own=\"*\"/>"
            "</policy></busconfig>");
        m_daemon.start(QStringLiteral("dbus-daemon"),
                       {QStringLiteral("--nofork"), QStringLiteral("--print-address"),
                        QStringLiteral("--config-file=") + config});
        if (m_daemon.waitForReadyRead(10000))
            m_address = QString::fromUtf8(m_daemon.readLine().trimmed());
    }
    ~BareBus()
    {
        m_daemon.terminate();
        m_daemon.waitForFinished(5000);
    }
    BareBus(const BareBus&) = delete;
    BareBus& operator=(const BareBus&) = delete;
    [[nodiscard]] QString address() const { return m_address; }

private:
    QProcess m_daemon;
    QString m_address;
};

bool runOn(const QString& busAddress, const Sandbox& sandbox, const QString& browser)
{
    QProcess process;
    QProcessEnvironment environment = sandbox.environment();
    environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), busAddress);
    process.setProcessEnvironment(environment);
    process.start(worker(), {browser});
    return process.waitForFinished(60000) && process.exitStatus() == QProcess::NormalExit &&
           process.exitCode() == 0;
}

} // namespace

class CookiePassTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void passKeepsFavouritesAndReportsTheCounts_data()
    {
        QTest::addColumn<QString>("browser");
        QTest::addColumn<QString>("counts");
        QTest::newRow("Safari") << QStringLiteral("Safari")
                                << QStringLiteral("4 Cookies (2 Tracking Cookies)");
        QTest::newRow("WebKit") << QStringLiteral("WebKit")
                                << QStringLiteral("0 Cookies (0 Tracking Cookies)");
        QTest::newRow("Google Chrome")
            << QStringLiteral("Google Chrome") << QStringLiteral("8 Cookies (4 Tracking Cookies)");
        QTest::newRow("Chromium") << QStringLiteral("Chromium")
                                  << QStringLiteral("4 Cookies (2 Tracking Cookies)");
        QTest::newRow("Camino") << QStringLiteral("Camino")
                                << QStringLiteral("4 Cookies (2 Tracking Cookies)");
        QTest::newRow("Firefox") << QStringLiteral("Firefox")
                                 << QStringLiteral("10 Cookies (4 Tracking Cookies)");
        QTest::newRow("Opera") << QStringLiteral("Opera") << QStringLiteral("4 Cookies (2 Tracking Cookies)");
    }

    void passKeepsFavouritesAndReportsTheCounts()
    {
        QFETCH(QString, browser);
        QFETCH(QString, counts);
        Sandbox sandbox;
        TestKeyring keyring(sandbox);
        QVERIFY(keyring.isRunning());
        QVERIFY(keyring.storeInternetPassword(QStringLiteral("www.example.com"), QStringLiteral("form"),
                                              QStringLiteral("alice")));
        QVERIFY(keyring.storeInternetPassword(QStringLiteral("shop.example.xy"), QStringLiteral("form"),
                                              QStringLiteral("alice")));
        QVERIFY(keyring.storeInternetPassword(QStringLiteral("files.other.test"), QStringLiteral("ntlm"),
                                              QStringLiteral("alice")));
        QVERIFY(writeEveryStore(sandbox));
        QVERIFY(sandbox.writeDefaults({{QStringLiteral("displayNotifications"), true}}));
        NotificationRecorder recorder;
        QVERIFY(recorder.isRegistered());

        const auto run = BuiltSuite::runProgram(worker(), {browser}, sandbox);
        QVERIFY2(run.finished && run.exitCode == 0, run.output.constData());
        QCOMPARE(recorder.received().size(), 1);
        const QString body = recorder.received().first().body;
        QVERIFY2(body.startsWith(counts + QStringLiteral(", ")), qPrintable(body));
        QVERIFY2(body.endsWith(QStringLiteral(" removed from ") + browser), qPrintable(body));

        // Chrome's unlisted profile is never cleaned: it shows every store as it was written.
        const QStringList all = chromeCookies(sandbox, chrome + "Profile 9/Cookies");
        QCOMPARE(all.size(), everyStore.size());
        const auto expect = [&](const QString& cleaned) { return browser == cleaned ? bothFavourites : all; };
        QCOMPARE(safariCookies(sandbox), expect(QStringLiteral("Safari")));
        QCOMPARE(chromeCookies(sandbox, chrome + "Default/Cookies"), expect(QStringLiteral("Google Chrome")));
        QCOMPARE(chromeCookies(sandbox, chrome + "Profile 1/Cookies"),
                 expect(QStringLiteral("Google Chrome")));
        QCOMPARE(chromeCookies(sandbox, chromium + "Default/Cookies"), expect(QStringLiteral("Chromium")));
        QCOMPARE(chromeCookies(sandbox, opera + "Cookies"), expect(QStringLiteral("Opera")));
        QCOMPARE(mozillaCookies(sandbox, camino + "cookies.sqlite"), expect(QStringLiteral("Camino")));
        // Firefox keeps only the site of its own saved login.
        const QStringList firefoxLeft =
            browser == QStringLiteral("Firefox") ? QStringList{QStringLiteral(".example.com|session")} : all;
        QCOMPARE(mozillaCookies(sandbox, firefox + "a.default/cookies.sqlite"), firefoxLeft);
        QCOMPARE(mozillaCookies(sandbox, firefox + "b.work/cookies.sqlite"), firefoxLeft);

        const QStringList keptIds{QStringLiteral("example.com"), QStringLiteral("shop.example.xy")};
        const QStringList allIds =
            CookieStores::channelIds(sandbox.homePath(chrome + "Profile 9/Origin Bound Certs"));
        QCOMPARE(allIds.size(), 3);
        QCOMPARE(CookieStores::channelIds(sandbox.homePath(chrome + "Default/Origin Bound Certs")),
                 browser == QStringLiteral("Google Chrome") ? keptIds : allIds);
        QCOMPARE(CookieStores::channelIds(sandbox.homePath(opera + "Origin Bound Certs")),
                 browser == QStringLiteral("Opera") ? keptIds : allIds);
        for (const QString& database : databasesIn(sandbox))
            QVERIFY2(CookieStores::passesIntegrityCheck(database), qPrintable(database));
    }

    void withoutASessionBusOnlyTrackingCookiesGo()
    {
        Sandbox sandbox;
        QVERIFY(writeEveryStore(sandbox));
        QVERIFY(runOn(QStringLiteral("unix:path=") + sandbox.homePath(QStringLiteral("no-bus")), sandbox,
                      QStringLiteral("Opera")));
        QCOMPARE(chromeCookies(sandbox, opera + "Cookies"),
                 (QStringList{QStringLiteral(".example.com|session"), QStringLiteral(".example.xy|pref"),
                              QStringLiteral("it's.test|x"), QStringLiteral("shop.example.xy|cart")}));
        QCOMPARE(CookieStores::channelIds(sandbox.homePath(opera + "Origin Bound Certs")).size(), 3);
    }

    void withoutAPasswordStoreNoSiteIsKept()
    {
        Sandbox sandbox;
        QVERIFY(writeEveryStore(sandbox));
        BareBus bus(sandbox);
        QVERIFY(!bus.address().isEmpty());
        QVERIFY(runOn(bus.address(), sandbox, QStringLiteral("Opera")));
        QVERIFY(chromeCookies(sandbox, opera + "Cookies").isEmpty());
        QVERIFY(CookieStores::channelIds(sandbox.homePath(opera + "Origin Bound Certs")).isEmpty());
    }

    void killedMidwayLeavesEachDatabaseWholeOrClean()
    {
        Sandbox sandbox;
        TestKeyring keyring(sandbox);
        QStringList databases;
        QProcess process;
        QVERIFY2(startCaughtWriting(sandbox, keyring, databases, process),
                 "the worker ended before it was caught writing");
        ::kill(pid_t(process.processId()), SIGKILL);
        process.waitForFinished(10000);

        for (const QString& database : std::as_const(databases)) {
            QVERIFY(CookieStores::passesIntegrityCheck(database));
            const QString left = rowCount(database);
            QVERIFY2(left == QStringLiteral("20000") || left == QStringLiteral("5000"), qPrintable(left));
        }
    }

    void quitRequestsDuringThePassAreHeldBack()
    {
        Sandbox sandbox;
        TestKeyring keyring(sandbox);
        QStringList databases;
        QProcess process;
        QVERIFY2(startCaughtWriting(sandbox, keyring, databases, process),
                 "the worker ended before it was caught writing");
        ::kill(pid_t(process.processId()), SIGTERM);
        ::kill(pid_t(process.processId()), SIGTERM);
        QVERIFY(process.waitForFinished(60000));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), 0);
        // The pass went on to its end: every profile is cleaned.
        for (const QString& database : std::as_const(databases))
            QCOMPARE(rowCount(database), QStringLiteral("5000"));
    }

private:
    static bool writeLargeChromeProfiles(const Sandbox& sandbox, QStringList& databases)
    {
        const QStringList profiles{QStringLiteral("Default"), QStringLiteral("Profile 1"),
                                   QStringLiteral("Profile 2")};
        if (!writeLocalState(sandbox, chrome, profiles))
            return false;
        QList<Cookie> many;
        for (int i = 0; i < 20000; ++i) {
            many.append({QStringLiteral("site%1.%2").arg(i % 500).arg(i < 15000 ? "gone" : "kept.com"),
                         QStringLiteral("n%1").arg(i), 13300000000000000 + i});
        }
        for (const QString& profile : profiles) {
            databases.append(sandbox.homePath(chrome + profile + "/Cookies"));
            if (!CookieStores::writeChrome(databases.last(), many))
                return false;
        }
        return true;
    }

    // Starts a Google Chrome pass over three large profiles, with kept.com saved as a web-form
    // login so that a quarter of each profile's rows stay, and returns once the worker is writing.
    static bool startCaughtWriting(const Sandbox& sandbox, TestKeyring& keyring, QStringList& databases,
                                   QProcess& process)
    {
        if (!writeLargeChromeProfiles(sandbox, databases) || !keyring.isRunning() ||
            !keyring.storeInternetPassword(QStringLiteral("kept.com"), QStringLiteral("form"),
                                           QStringLiteral("a")))
            return false;
        process.setProcessEnvironment(sandbox.environment());
        process.start(worker(), {QStringLiteral("Google Chrome")});
        return process.waitForStarted() && waitForJournal(process, databases);
    }

    // A journal exists only while a transaction is open: true once one shows.
    static bool waitForJournal(QProcess& process, const QStringList& databases)
    {
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < 60000) {
            for (const QString& database : databases) {
                if (QFile::exists(database + QStringLiteral("-journal")))
                    return true;
            }
            if (process.waitForFinished(0))
                return false;
        }
        return false;
    }

    static QString rowCount(const QString& database)
    {
        Sqlite sqlite(database);
        const auto rows = sqlite.executeQuery(QStringLiteral("SELECT COUNT(*) AS n FROM cookies;"));
        return rows && !rows->isEmpty() ? rows->first().value(QStringLiteral("n")).toString() : QString();
    }
};

QTEST_GUILESS_MAIN(CookiePassTest)
#include "CookiePassTest.moc"
