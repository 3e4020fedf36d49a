#include "CookieStores.h"
#include "LockHolder.h"
#include "NotificationRecorder.h"
#include "Sandbox.h"
#include "TestKeyring.h"
#include "worker/PassContext.h"
#include "worker/Sqlite.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QTest>

using CookieStores::Cookie;

namespace {

// Where one install keeps its data, relative to the home folder.
struct Install
{
    QString folder;
    QString cache;
};

// Two favourite-site cookies (one of them tracking), and cookies of other sites.
const QList<Cookie> jar{{QStringLiteral(".example.com"), QStringLiteral("session"), 13300000000000001},
                        {QStringLiteral(".example.com"), QStringLiteral("SIDCC"), 13300000000000002},
                        {QStringLiteral("shop.example.xy"), QStringLiteral("cart"), 13300000000000003},
                        {QStringLiteral(".other.test"), QStringLiteral("pref"), 13300000000000004}};

bool isFirefox(const QString& browser)
{
    return browser == QLatin1String("Firefox");
}

bool writeLocalState(const Sandbox& sandbox, const QString& folder, const QStringList& profiles)
{
    QByteArray entries;
    for (const QString& profile : profiles)
        entries += (entries.isEmpty() ? "" : ",") + ("\"" + profile.toUtf8() + "\":{\"name\":\"n\"}");
    return sandbox.writeFile(folder + QStringLiteral("/Local State"),
                             "{\"profile\":{\"info_cache\":{" + entries + "}}}");
}

// A Chrome-family profile as the browser leaves it: cookies (also under "Network/"), channel IDs,
// web databases, local storage, Flash data, application caches, a saved web-form login for
// accounts.example.com only in "Login Data", and the profile's cache folder.
bool writeChromeProfile(const Sandbox& sandbox, const QString& profile, const QString& cache, bool withLogin)
{
    bool written =
        CookieStores::writeChrome(sandbox.homePath(profile + "/Cookies"), jar) &&
        CookieStores::writeChrome(sandbox.homePath(profile + "/Network/Cookies"), jar) &&
        CookieStores::writeChannelIds(sandbox.homePath(profile + "/Origin Bound Certs"),
                                      {QStringLiteral("example.com"), QStringLiteral("other.test")});
    written =
        written && CookieStores::writeDatabase(
                       sandbox.homePath(profile + "/databases/Databases.db"),
                       {QStringLiteral("CREATE TABLE Databases (id INTEGER PRIMARY KEY AUTOINCREMENT, origin "
                                       "TEXT NOT NULL, name TEXT NOT NULL, description TEXT NOT NULL, "
                                       "estimated_size INTEGER NOT NULL);"),
                        QStringLiteral("INSERT INTO Databases (origin, name, description, estimated_size) "
                                       "VALUES ('http_example.com_0', 'a', '', 1), "
                                       "('http_other.test_0', 'b', '', 1);")});
    for (const QString& site : {QStringLiteral("example.com"), QStringLiteral("other.test")}) {
        written =
            written && sandbox.writeFile(profile + "/databases/http_" + site + "_0/1", "db") &&
            sandbox.writeFile(profile + "/Local Storage/http_" + site + "_0.localstorage", "ls") &&
            sandbox.writeFile(profile + "/Local Storage/http_" + site + "_0.localstorage-journal", "j") &&
            sandbox.writeFile(profile + "/Pepper Data/Shockwave Flash/WritableRoot/#SharedObjects/R/" + site +
                                  "/a.sol",
                              "sol");
    }
    written = written && sandbox.writeFile(profile + "/Application Cache/Cache/data", "c") &&
              sandbox.writeFile(profile + "/GPUCache/data", "g") &&
              sandbox.writeFile(profile + "/Pepper Data/Shockwave Flash/CacheWritableAdobeRoot/x", "f") &&
              sandbox.writeFile(profile + "/Preferences", "{}") &&
              sandbox.writeFile(cache + "/Cache/data", "c");
    if (withLogin) {
        written = written &&
                  CookieStores::writeChromeLogins(sandbox.homePath(profile + "/Login Data"),
                                                  {{QStringLiteral("https://accounts.example.com/login"),
                                                    QStringLiteral("https://accounts.example.com/")},
                                                   {QStringLiteral("https://other.test/"),
                                                    QStringLiteral("https://other.test/"), 0, true},
                                                   {QStringLiteral("android://hash@com.shop.example.xy/"),
                                                    QStringLiteral("android://hash@com.shop.example.xy/")}});
    }
    return written;
}

// A Firefox profile: cookies, local storage rows, a web-form login for www.example.com only in
// "logins.json" (with `withLogin`), and its cache folder.
bool writeFirefoxProfile(const Sandbox& sandbox, const QString& profile, const QString& cache,
                         const QList<QByteArray>& cacheItems, bool withLogin)
{
    bool written =
        CookieStores::writeMozilla(sandbox.homePath(profile + "/cookies.sqlite"), jar) &&
        CookieStores::writeDatabase(
            sandbox.homePath(profile + "/webappsstore.sqlite"),
            {QStringLiteral("CREATE TABLE webappsstore2 (originAttributes TEXT, originKey TEXT, scope TEXT, "
                            "key TEXT, value TEXT);"),
             QStringLiteral(
                 "CREATE UNIQUE INDEX origin_key_index ON webappsstore2(originAttributes, originKey, "
                 "key);"),
             QStringLiteral("INSERT INTO webappsstore2 VALUES ('', 'moc.elpmaxe.:https:443', "
                            "'moc.elpmaxe.:https:443', 'k', 'v'), ('', 'tset.rehto.:https:443', "
                            "'tset.rehto.:https:443', 'k', 'v');")}) &&
        sandbox.writeFile(profile + "/prefs.js", "//") && sandbox.writeFile(profile + "/.parentlock", "");
    for (const QByteArray& item : cacheItems)
        written =
            written && sandbox.writeFile(cache + QLatin1Char('/') + QString::fromLatin1(item) + "/x", "c");
    written = written && sandbox.writeFile(cache + "/keep/x", "k");
    if (withLogin) {
        written =
            written && sandbox.writeFile(profile + "/logins.json",
                                         CookieStores::firefoxLoginsJson(
                                             {{QStringLiteral("https://www.example.com")},
                                              {QStringLiteral("https://other.test"), QStringLiteral("Realm")},
                                              {QStringLiteral("chrome://FirefoxAccounts")}}));
    }
    return written;
}

const QStringList firefoxProfiles{QStringLiteral("a1.default-esr"), QStringLiteral("b2.work")};

// The browser's data in one install: two profiles (Opera: its one), the first with the saved login.
bool writeInstall(const Sandbox& sandbox, const QString& browser, const Install& install, bool specLayout)
{
    if (isFirefox(browser)) {
        const QList<QByteArray> items =
            specLayout ? QList<QByteArray>{"Cache", "OfflineCache", "startupCache"}
                       : QList<QByteArray>{"cache2", "startupCache", "thumbnails", "jumpListCache"};
        bool written =
            sandbox.writeFile(install.folder + "/profiles.ini",
                              "[Profile1]\nName=work\nIsRelative=1\nPath=b2.work\n\n"
                              "[General]\nStartWithLastProfile=1\nVersion=2\n\n"
                              "[Profile0]\nName=default-esr\nIsRelative=1\nPath=a1.default-esr\n"
                              "Default=1\n\n[Install3B6073811A6ABF12]\nDefault=a1.default-esr\nLocked=1\n");
        for (const QString& profile : firefoxProfiles) {
            written = written && writeFirefoxProfile(sandbox, install.folder + "/" + profile,
                                                     install.cache + "/" + profile, items,
                                                     profile == firefoxProfiles.first());
        }
        return written;
    }
    if (browser == QLatin1String("Opera"))
        return writeChromeProfile(sandbox, install.folder, install.cache, true);
    const QStringList profiles{QStringLiteral("Default"), QStringLiteral("Profile 1")};
    bool written = writeLocalState(sandbox, install.folder, profiles);
    for (const QString& profile : profiles) {
        written = written && writeChromeProfile(sandbox, install.folder + "/" + profile,
                                                install.cache + "/" + profile, profile == profiles.first());
    }
    return written;
}

// Every item below `folder` by its path there, each with a digest of what it holds (a database by
// its rows), so that two layouts compare.
QStringList snapshot(const QString& folder)
{
    QStringList items;
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QString name = path.mid(folder.size());
        QByteArray digest;
        const QFileInfo info(path);
        if (info.isFile() && !info.isSymLink()) {
            QFile file(path);
            (void)file.open(QIODevice::ReadOnly);
            const QByteArray bytes = file.readAll();
            if (bytes.startsWith("SQLite format 3")) {
                Sqlite database;
                if (database.open(path)) {
                    for (const auto& table : database
                                                 .executeQuery(QStringLiteral(
                                                     "SELECT name FROM sqlite_master WHERE type = 'table' "
                                                     "ORDER BY name;"))
                                                 .value_or(Sqlite::Rows())) {
                        const QString tableName = table.value(QStringLiteral("name")).toString();
                        digest += tableName.toUtf8() + ':';
                        for (const auto& row :
                             database.executeQuery(QStringLiteral("SELECT * FROM \"%1\";").arg(tableName))
                                 .value_or(Sqlite::Rows())) {
                            for (const QVariant& value : row)
                                digest += value.toString().toUtf8() + ',';
                            digest += ';';
                        }
                    }
                }
            } else {
                digest = bytes;
            }
        }
        items.append(name + QLatin1Char(' ') +
                     QString::fromLatin1(QCryptographicHash::hash(digest, QCryptographicHash::Sha1).toHex()));
    }
    items.sort();
    return items;
}

QStringList cookiesLeft(const Sandbox& sandbox, const QString& database, bool mozilla)
{
    return CookieStores::contents(sandbox.homePath(database),
                                  mozilla ? QStringLiteral("moz_cookies") : QStringLiteral("cookies"),
                                  mozilla ? QStringLiteral("host") : QStringLiteral("host_key"));
}

struct PassResult
{
    bool ran = false;
    QString message;
};

// Runs the worker for `browser` on the sandbox, with a password store that holds no web-form
// password, and returns the message it shows.
PassResult runPass(const Sandbox& sandbox, const QString& browser)
{
    TestKeyring keyring(sandbox);
    NotificationRecorder recorder;
    if (!keyring.isRunning() || !recorder.isRegistered() ||
        !keyring.storeInternetPassword(QStringLiteral("files.other.test"), QStringLiteral("ntlm"),
                                       QStringLiteral("alice")) ||
        !sandbox.writeDefaults({{QStringLiteral("displayNotifications"), true}}))
        return {};
    const auto run =
        BuiltSuite::runProgram(BuiltSuite::executable(BuiltSuite::workerBundle()), {browser}, sandbox);
    if (!run.finished || run.exitCode != 0 || recorder.received().size() != 1)
        return {};
    return {true, recorder.received().first().body};
}

} // namespace

Q_DECLARE_METATYPE(Install)

class LocationsTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void linuxInstallsAreCleanedAsTheFirstLayout_data()
    {
        QTest::addColumn<QString>("browser");
        QTest::addColumn<Install>("spec");
        QTest::addColumn<Install>("installed");
        const Install chromium{QStringLiteral("Library/Application Support/Chromium"),
                               QStringLiteral("Library/Caches/Chromium")};
        const Install chrome{QStringLiteral("Library/Application Support/Google/Chrome"),
                             QStringLiteral("Library/Caches/Google/Chrome")};
        const Install opera{QStringLiteral("Library/Application Support/com.operasoftware.Opera"),
                            QStringLiteral("Library/Caches/com.operasoftware.Opera")};
        const Install firefox{QStringLiteral("Library/Application Support/Firefox/Profiles"),
                              QStringLiteral("Library/Caches/Firefox/Profiles")};
        QTest::newRow("Chromium package")
            << QStringLiteral("Chromium") << chromium << Install{".config/chromium", ".cache/chromium"};
        QTest::newRow("Chromium Flatpak") << QStringLiteral("Chromium") << chromium
                                          << Install{".var/app/org.chromium.Chromium/config/chromium",
                                                     ".var/app/org.chromium.Chromium/cache/chromium"};
        QTest::newRow("Chromium Snap")
            << QStringLiteral("Chromium") << chromium
            << Install{"snap/chromium/common/chromium", "snap/chromium/common/.cache/chromium"};
        QTest::newRow("Google Chrome package") << QStringLiteral("Google Chrome") << chrome
                                               << Install{".config/google-chrome", ".cache/google-chrome"};
        QTest::newRow("Google Chrome Flatpak") << QStringLiteral("Google Chrome") << chrome
                                               << Install{".var/app/com.google.Chrome/config/google-chrome",
                                                          ".var/app/com.google.Chrome/cache/google-chrome"};
        QTest::newRow("Opera package")
            << QStringLiteral("Opera") << opera << Install{".config/opera", ".cache/opera"};
        QTest::newRow("Firefox legacy")
            << QStringLiteral("Firefox") << firefox << Install{".mozilla/firefox", ".cache/mozilla/firefox"};
        QTest::newRow("Firefox XDG") << QStringLiteral("Firefox") << firefox
                                     << Install{".config/mozilla/firefox", ".cache/mozilla/firefox"};
        QTest::newRow("Firefox Flatpak") << QStringLiteral("Firefox") << firefox
                                         << Install{".var/app/org.mozilla.firefox/.mozilla/firefox",
                                                    ".var/app/org.mozilla.firefox/cache/mozilla/firefox"};
        QTest::newRow("Firefox Snap")
            << QStringLiteral("Firefox") << firefox
            << Install{"snap/firefox/common/.mozilla/firefox", "snap/firefox/common/.cache/mozilla/firefox"};
    }

    void linuxInstallsAreCleanedAsTheFirstLayout()
    {
        QFETCH(QString, browser);
        QFETCH(Install, spec);
        QFETCH(Install, installed);
        QStringList snapshots;
        QStringList messages;
        for (const bool specLayout : {true, false}) {
            const Install& install = specLayout ? spec : installed;
            Sandbox sandbox;
            QVERIFY(writeInstall(sandbox, browser, install, specLayout));
            const PassResult pass = runPass(sandbox, browser);
            QVERIFY(pass.ran);
            messages.append(pass.message);
            snapshots.append(
                (snapshot(sandbox.homePath(install.folder)) + snapshot(sandbox.homePath(install.cache)))
                    .join(QLatin1Char('\n')));

            // Only the site of the browser's own saved login keeps its (non-tracking) cookies.
            const bool mozilla = isFirefox(browser);
            const QString profile = mozilla ? install.folder + "/" + firefoxProfiles.first()
                                    : browser == QLatin1String("Opera") ? install.folder
                                                                        : install.folder + "/Default";
            const QString cookies = profile + (mozilla ? "/cookies.sqlite" : "/Cookies");
            QCOMPARE(cookiesLeft(sandbox, cookies, mozilla),
                     QStringList{QStringLiteral(".example.com|session")});
            if (!mozilla) {
                QCOMPARE(cookiesLeft(sandbox, profile + "/Network/Cookies", false),
                         QStringList{QStringLiteral(".example.com|session")});
                QCOMPARE(CookieStores::channelIds(sandbox.homePath(profile + "/Origin Bound Certs")),
                         QStringList{QStringLiteral("example.com")});
                QVERIFY(QFile::exists(
                    sandbox.homePath(profile + "/Local Storage/http_example.com_0.localstorage")));
                QVERIFY(!QFile::exists(
                    sandbox.homePath(profile + "/Local Storage/http_other.test_0.localstorage")));
                QVERIFY(
                    !QFile::exists(sandbox.homePath(install.cache + (browser == "Opera" ? "" : "/Default"))));
            } else {
                QVERIFY(QFile::exists(
                    sandbox.homePath(install.cache + "/" + firefoxProfiles.first() + "/keep/x")));
                QVERIFY(!QFile::exists(
                    sandbox.homePath(install.cache + "/" + firefoxProfiles.first() + "/startupCache")));
            }
            QVERIFY(QFile::exists(sandbox.homePath(profile + (mozilla ? "/prefs.js" : "/Preferences"))));
        }
        QCOMPARE(messages.last(), messages.first());
        QCOMPARE(snapshots.last(), snapshots.first());
    }

    void profileInUseIsLeftByteForByte_data()
    {
        QTest::addColumn<QString>("browser");
        QTest::addColumn<Install>("install");
        QTest::addColumn<QString>("lock");
        QTest::newRow("Chromium local storage")
            << QStringLiteral("Chromium") << Install{".config/chromium", ".cache/chromium"}
            << QStringLiteral("Default/Local Storage/leveldb/LOCK");
        QTest::newRow("Firefox parent lock")
            << QStringLiteral("Firefox") << Install{".mozilla/firefox", ".cache/mozilla/firefox"}
            << QStringLiteral("a1.default-esr/.parentlock");
    }

    void profileInUseIsLeftByteForByte()
    {
        QFETCH(QString, browser);
        QFETCH(Install, install);
        QFETCH(QString, lock);
        Sandbox sandbox;
        QVERIFY(writeInstall(sandbox, browser, install, false));
        const QString busy = lock.section(QLatin1Char('/'), 0, 0);
        const QString other = isFirefox(browser) ? firefoxProfiles.last() : QStringLiteral("Profile 1");
        QVERIFY(sandbox.writeFile(install.folder + "/" + lock, ""));
        const QStringList before = snapshot(sandbox.homePath(install.folder + "/" + busy));
        const QStringList cacheBefore = snapshot(sandbox.homePath(install.cache + "/" + busy));
        const QStringList otherBefore = snapshot(sandbox.homePath(install.folder + "/" + other));

        LockHolder holder(sandbox.homePath(install.folder + "/" + lock));
        QVERIFY(holder.isLocked());
        QVERIFY(runPass(sandbox, browser).ran);
        QCOMPARE(snapshot(sandbox.homePath(install.folder + "/" + busy)), before);
        QCOMPARE(snapshot(sandbox.homePath(install.cache + "/" + busy)), cacheBefore);
        // The other profile of the same install is not in use: it is cleaned.
        QVERIFY(snapshot(sandbox.homePath(install.folder + "/" + other)) != otherBefore);
    }

    void singletonLockDecidesForTheWholeFolder_data()
    {
        QTest::addColumn<QString>("target");
        QTest::addColumn<bool>("cleaned");
        QProcess gone;
        gone.start(QStringLiteral("true"), QStringList());
        QVERIFY(gone.waitForStarted());
        const qint64 gonePid = gone.processId();
        QVERIFY(gone.waitForFinished());
        const QString host = QSysInfo::machineHostName();
        QTest::newRow("alive here") << host + "-" + QString::number(QCoreApplication::applicationPid())
                                    << false;
        QTest::newRow("gone") << host + "-" + QString::number(gonePid) << true;
        QTest::newRow("another host") << QStringLiteral("not-") + host + "-1" << false;
        QTest::newRow("regular file") << QString() << true;
    }

    void singletonLockDecidesForTheWholeFolder()
    {
        QFETCH(QString, target);
        QFETCH(bool, cleaned);
        Sandbox sandbox;
        const Install install{QStringLiteral(".config/chromium"), QStringLiteral(".cache/chromium")};
        QVERIFY(writeInstall(sandbox, QStringLiteral("Chromium"), install, false));
        const QString lock = sandbox.homePath(install.folder + "/SingletonLock");
        if (target.isEmpty())
            QVERIFY(sandbox.writeFile(install.folder + "/SingletonLock", "vm-1"));
        else
            QVERIFY(QFile::link(target, lock));
        const QStringList before = snapshot(sandbox.homePath(install.folder));
        QVERIFY(runPass(sandbox, QStringLiteral("Chromium")).ran);
        QCOMPARE(snapshot(sandbox.homePath(install.folder)) != before, cleaned);
        QCOMPARE(QFile::exists(sandbox.homePath(install.cache + "/Default")), !cleaned);
    }

    void unreadableSavedLoginsKeepEverySite_data()
    {
        QTest::addColumn<QString>("browser");
        QTest::addColumn<QString>("file");
        QTest::addColumn<QByteArray>("contents");
        QTest::newRow("Login Data corrupt")
            << QStringLiteral("Chromium") << QStringLiteral("Profile 1/Login Data")
            << QByteArray("SQLite format 3\0garbage garbage", 31);
        QTest::newRow("Login Data For Account other schema")
            << QStringLiteral("Chromium") << QStringLiteral("Default/Login Data For Account") << QByteArray();
        QTest::newRow("logins.json truncated")
            << QStringLiteral("Firefox") << QStringLiteral("b2.work/logins.json")
            << QByteArray("{\"nextId\":2,\"logins\":[{\"hostname\":\"https://");
        QTest::newRow("logins.json not an object")
            << QStringLiteral("Firefox") << QStringLiteral("b2.work/logins.json") << QByteArray("[]");
    }

    void unreadableSavedLoginsKeepEverySite()
    {
        QFETCH(QString, browser);
        QFETCH(QString, file);
        QFETCH(QByteArray, contents);
        Sandbox sandbox;
        const Install install = isFirefox(browser) ? Install{".mozilla/firefox", ".cache/mozilla/firefox"}
                                                   : Install{".config/chromium", ".cache/chromium"};
        QVERIFY(writeInstall(sandbox, browser, install, false));
        if (contents.isEmpty()) {
            QVERIFY(CookieStores::writeDatabase(sandbox.homePath(install.folder + "/" + file),
                                                {QStringLiteral("CREATE TABLE logins (origin_url TEXT);")}));
        } else {
            QVERIFY(sandbox.writeFile(install.folder + "/" + file, contents));
        }
        QVERIFY(runPass(sandbox, browser).ran);
        // Every site stays; only the tracking cookie goes, in every profile.
        const bool mozilla = isFirefox(browser);
        for (const QString& profile :
             mozilla ? firefoxProfiles
                     : QStringList{QStringLiteral("Default"), QStringLiteral("Profile 1")}) {
            QCOMPARE(cookiesLeft(sandbox,
                                 install.folder + "/" + profile + (mozilla ? "/cookies.sqlite" : "/Cookies"),
                                 mozilla),
                     (QStringList{QStringLiteral(".example.com|session"), QStringLiteral(".other.test|pref"),
                                  QStringLiteral("shop.example.xy|cart")}));
        }
    }

    void profilesIniIsReadSafely()
    {
        Sandbox sandbox;
        const QString root = QStringLiteral(".mozilla/firefox");
        QVERIFY(QDir().mkpath(sandbox.homePath(root + "/rel.default")));
        QVERIFY(QDir().mkpath(sandbox.homePath("Profiles/abs.other")));
        QVERIFY(QDir().mkpath(sandbox.homePath("elsewhere")));
        QVERIFY(QFile::link(sandbox.homePath("elsewhere"), sandbox.homePath(root + "/linked")));
        const QString outside = QDir::tempPath();
        QVERIFY(sandbox.writeFile(root + "/profiles.ini",
                                  "garbage line\n[Profile0]\nIsRelative=1\nPath=rel.default\n"
                                  "[Profile1]\nIsRelative=0\nPath=" +
                                      sandbox.homePath("Profiles/abs.other").toUtf8() +
                                      "\n[Profile2]\nIsRelative=1\nPath=../../elsewhere\n"
                                      "[Profile3]\nIsRelative=1\nPath=missing\n"
                                      "[Profile4]\nIsRelative=1\nPath=linked\n"
                                      "[Profile5]\nIsRelative=0\nPath=" +
                                      outside.toUtf8() + "\n[Profile6]\nIsRelative=0\nPath=" +
                                      sandbox.homePath(root + "/rel.default").toUtf8() +
                                      "\n[Profile7]\nPath\n[Install1]\nDefault=rel.default\n"));
        const PassContext context = PassContext::forBrowser(QStringLiteral("Firefox"), SecureRemoval(false));
        QStringList folders;
        for (const BrowserProfile& profile : context.profiles)
            folders.append(profile.folder);
        // The folder listed twice (relative and absolute) is one profile.
        QCOMPARE(folders, (QStringList{sandbox.homePath(root + "/rel.default"),
                                       sandbox.homePath("Profiles/abs.other")}));
        QVERIFY(context.profilesInUse.isEmpty());
    }

    void linkedLocationsAreNotFollowed()
    {
        Sandbox sandbox;
        QVERIFY(writeInstall(sandbox, QStringLiteral("Chromium"),
                             {QStringLiteral("real/chromium"), QStringLiteral("real/cache")}, false));
        QVERIFY(QDir().mkpath(sandbox.homePath(".config")));
        QVERIFY(QFile::link(sandbox.homePath("real/chromium"), sandbox.homePath(".config/chromium")));
        // The Snap folder is reached through a link on the way.
        QVERIFY(QDir().mkpath(sandbox.homePath("snap-data/common")));
        QVERIFY(QDir().mkpath(sandbox.homePath("snap")));
        QVERIFY(QFile::link(sandbox.homePath("snap-data"), sandbox.homePath("snap/chromium")));
        QVERIFY(QDir().mkpath(sandbox.homePath("snap/chromium/common/chromium")));
        QVERIFY(
            PassContext::forBrowser(QStringLiteral("Chromium"), SecureRemoval(false)).locations.isEmpty());
    }

    void operaKeepsItsProfileInDefaultOrInItsFolder()
    {
        Sandbox sandbox;
        QVERIFY(QDir().mkpath(sandbox.homePath(".config/opera")));
        const auto folders = [] {
            QStringList found;
            for (const BrowserProfile& profile :
                 PassContext::forBrowser(QStringLiteral("Opera"), SecureRemoval(false)).profiles)
                found.append(profile.folder);
            return found;
        };
        QCOMPARE(folders(), QStringList{sandbox.homePath(".config/opera")});
        QVERIFY(writeLocalState(sandbox, ".config/opera", {QStringLiteral("Default")}));
        QCOMPARE(folders(), QStringList{sandbox.homePath(".config/opera/Default")});
    }

    void xdgFoldersCountOnlyInsideTheHome()
    {
        Sandbox sandbox;
        QVERIFY(QDir().mkpath(sandbox.homePath("cfg/chromium")));
        QVERIFY(QDir().mkpath(sandbox.homePath(".config/chromium")));
        const QByteArray old = qgetenv("XDG_CONFIG_HOME");
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(sandbox.homePath("cfg")));
        const auto inside =
            PassContext::forBrowser(QStringLiteral("Chromium"), SecureRemoval(false)).locations;
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(QDir::tempPath()));
        const auto outside =
            PassContext::forBrowser(QStringLiteral("Chromium"), SecureRemoval(false)).locations;
        qputenv("XDG_CONFIG_HOME", old);
        QCOMPARE(inside.size(), 2);
        QCOMPARE(inside.last().folder, sandbox.homePath("cfg/chromium"));
        QCOMPARE(inside.last().cacheFolder, sandbox.homePath(".cache/chromium"));
        QCOMPARE(outside.size(), 1);
    }
};

QTEST_GUILESS_MAIN(LocationsTest)
#include "LocationsTest.moc"
