#include "CookieStores.h"
#include "Sandbox.h"
#include "worker/Sqlite.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QTest>

// A whole pass of the built worker over a home that holds every target of every browser, files
// beside them that are not targets, and links from inside the targets to canary data outside.
// Whatever the browser and the secure-deletion setting, the pass removes exactly its targets.
namespace {

const QString chrome = QStringLiteral("Library/Application Support/Google/Chrome");
const QString chromium = QStringLiteral("Library/Application Support/Chromium");
const QString opera = QStringLiteral("Library/Application Support/com.operasoftware.Opera");
const QString camino = QStringLiteral("Library/Application Support/Camino");
const QString firefox = QStringLiteral("Library/Application Support/Firefox/Profiles");
const QString flashPlayer = QStringLiteral("Library/Preferences/Macromedia/Flash Player");
const QString silverlight = QStringLiteral("Library/Application Support/Microsoft/Silverlight");
const QString folders = QStringLiteral("private/var/folders");

// The index databases are edited in place; they are checked by their rows instead of their bytes.
const QStringList indexDatabases{
    QStringLiteral("Library/Safari/Databases/Databases.db"),
    QStringLiteral("Library/Safari/LocalStorage/StorageTracker.db"),
    chrome + QStringLiteral("/Default/databases/Databases.db"),
    chrome + QStringLiteral("/Profile 1/databases/Databases.db"),
    chromium + QStringLiteral("/Default/databases/Databases.db"),
    opera + QStringLiteral("/databases/Databases.db"),
    camino + QStringLiteral("/webappsstore.sqlite"),
    firefox + QStringLiteral("/one.default/webappsstore.sqlite"),
    firefox + QStringLiteral("/two/webappsstore.sqlite"),
};

class Home
{
public:
    explicit Home(const Sandbox& sandbox) : m_sandbox(sandbox) {}

    bool file(const QString& relative, const QByteArray& contents = "data") const
    {
        return m_sandbox.writeFile(relative, contents);
    }
    bool rootFile(const QString& relative, const QByteArray& contents = "data") const
    {
        return file(QStringLiteral("../root/") + relative, contents);
    }
    // A link at `relative` to the canary item `canary`.
    bool link(const QString& relative, const QString& canary) const
    {
        const QString at = m_sandbox.homePath(relative);
        return QDir().mkpath(QFileInfo(at).absolutePath()) &&
               QFile::link(m_sandbox.homePath(QStringLiteral("canary/") + canary), at);
    }
    bool database(const QString& relative, const QStringList& statements) const
    {
        return CookieStores::writeDatabase(m_sandbox.homePath(relative), statements);
    }

private:
    const Sandbox& m_sandbox;
};

bool buildChromeProfile(const Home& home, const QString& profile, const QString& cache)
{
    return home.database(
               profile + QStringLiteral("/databases/Databases.db"),
               {QStringLiteral("CREATE TABLE Databases (id INTEGER PRIMARY KEY, origin TEXT, name TEXT)"),
                QStringLiteral("INSERT INTO Databases (origin, name) VALUES ('http_a.com_0', 'x'), "
                               "('https_www.quo''te.com_0', 'y'), ('chrome-extension_z_0', 'z'), "
                               "(NULL, 'n'), ('http_a.com_0', 'again')")}) &&
           home.file(profile + QStringLiteral("/databases/http_a.com_0/1.db")) &&
           home.link(profile + QStringLiteral("/databases/http_a.com_0/link"), QStringLiteral("file.txt")) &&
           home.file(profile + QStringLiteral("/databases/https_www.quo'te.com_0/2.db")) &&
           home.file(profile + QStringLiteral("/databases/chrome-extension_z_0/3.db")) &&
           home.file(profile + QStringLiteral("/Local Storage/http_a.com_0.localstorage")) &&
           home.file(profile + QStringLiteral("/Local Storage/http_a.com_0.localstorage-journal")) &&
           home.file(profile + QStringLiteral("/Local Storage/chrome-extension_z_0.localstorage")) &&
           home.file(profile + QStringLiteral("/Local Storage/notes.txt")) &&
           home.link(profile + QStringLiteral("/Local Storage/http_l.com_0.localstorage"),
                     QStringLiteral("file.txt")) &&
           home.file(profile + QStringLiteral("/Preferences")) &&
           home.file(
               profile +
               QStringLiteral("/Pepper Data/Shockwave Flash/WritableRoot/#SharedObjects/RND/a.com/x.sol")) &&
           home.file(profile + QStringLiteral(
                                   "/Pepper Data/Shockwave Flash/WritableRoot/#SharedObjects/RND/.hidden")) &&
           home.file(profile +
                     QStringLiteral("/Pepper Data/Shockwave Flash/WritableRoot/#SharedObjects/RND/"
                                    "macromedia.com/support/flashplayer/sys/#a.com/settings.sol")) &&
           home.file(profile + QStringLiteral("/Pepper Data/Shockwave Flash/WritableRoot/#SharedObjects/RND/"
                                              "macromedia.com/support/flashplayer/sys/settings.sol")) &&
           home.file(profile + QStringLiteral("/Pepper Data/Shockwave Flash/CacheWritableAdobeRoot/c")) &&
           home.file(profile + QStringLiteral("/Application Cache/Cache/index")) &&
           home.link(profile + QStringLiteral("/Application Cache/folderLink"), QStringLiteral("folder")) &&
           home.file(cache + QStringLiteral("/Cache/data_1")) &&
           home.link(cache + QStringLiteral("/Cache/link"), QStringLiteral("folder"));
}

bool buildMozillaStorage(const Home& home, const QString& relative)
{
    return home.database(relative,
                         {QStringLiteral("CREATE TABLE webappsstore2 (scope TEXT, key TEXT, value TEXT)"),
                          QStringLiteral("INSERT INTO webappsstore2 VALUES ('moc.a.:http:80', 'k1', 'v'), "
                                         "('moc.a.:http:80', 'k2', 'v'), ('moc.et''ouq.:http:80', 'k', 'v'), "
                                         "('noscope', 'k', 'v'), (NULL, 'k', 'v')")});
}

bool buildHome(const Home& home)
{
    const QString localState =
        QStringLiteral(R"({"profile":{"info_cache":{"Default":{"name":"One"},"Profile 1":{"name":"Two"}}}})");
    return home.file(QStringLiteral("canary/file.txt"), "canary file") &&
           home.file(QStringLiteral("canary/folder/inner.txt"), "canary folder") &&
           home.file(QStringLiteral("canary/quo'te\nnew line"), "canary name") &&
           home.file(QStringLiteral("Documents/letter.txt"), "mine") &&
           // Safari
           home.database(
               QStringLiteral("Library/Safari/Databases/Databases.db"),
               {QStringLiteral(
                    "CREATE TABLE Origins (origin TEXT UNIQUE ON CONFLICT REPLACE, quota INTEGER)"),
                QStringLiteral("CREATE TABLE Databases (id INTEGER PRIMARY KEY, origin TEXT, name TEXT)"),
                QStringLiteral(
                    "INSERT INTO Origins VALUES ('http_a.com_0', 1), ('https_www.quo''te.com_0', 1), "
                    "('safari-extension_x_0', 1)"),
                QStringLiteral(
                    "INSERT INTO Databases (origin, name) VALUES ('http_a.com_0', 'x'), "
                    "('https_www.quo''te.com_0', 'y'), ('safari-extension_x_0', 'z'), (NULL, 'n')")}) &&
           home.file(QStringLiteral("Library/Safari/Databases/http_a.com_0/1.db")) &&
           home.link(QStringLiteral("Library/Safari/Databases/http_a.com_0/link"),
                     QStringLiteral("folder")) &&
           home.file(QStringLiteral("Library/Safari/Databases/https_www.quo'te.com_0/2.db")) &&
           home.file(QStringLiteral("Library/Safari/Databases/safari-extension_x_0/3.db")) &&
           home.file(QStringLiteral("Library/Safari/LocalStorage/http_a.com_0.localstorage")) &&
           home.file(QStringLiteral("Library/Safari/LocalStorage/http_a.com_0.localstorage-journal")) &&
           home.file(QStringLiteral("Library/Safari/LocalStorage/safari-extension_y_0.localstorage")) &&
           home.database(
               QStringLiteral("Library/Safari/LocalStorage/StorageTracker.db"),
               {QStringLiteral("CREATE TABLE Origins (origin TEXT UNIQUE ON CONFLICT REPLACE, path TEXT)"),
                QStringLiteral("INSERT INTO Origins VALUES ('http_a.com_0', 'p'), "
                               "('safari-extension_y_0', 'p'), ('http_gone.com_0', 'p')")}) &&
           home.file(QStringLiteral("Library/Safari/Bookmarks.plist")) &&
           home.file(QStringLiteral("Library/Caches/com.apple.Safari/Cache.db")) &&
           home.file(QStringLiteral("Library/Caches/com.apple.Safari/fsCachedData/blob")) &&
           home.link(QStringLiteral("Library/Caches/com.apple.Safari/fsCachedData/link"),
                     QStringLiteral("file.txt")) &&
           home.file(QStringLiteral("Library/Caches/com.apple.Safari/Webpage Previews/keep")) &&
           home.file(QStringLiteral("Library/Cookies/Cookies.plist")) &&
           home.file(QStringLiteral("Library/Cookies/HSTS.plist")) &&
           home.file(QStringLiteral("Library/Cookies/other.plist")) &&
           home.rootFile(folders + QStringLiteral("/aa/bb/C/com.apple.Safari/ApplicationCache.db")) &&
           home.rootFile(folders + QStringLiteral("/aa/bb/C/com.apple.Safari/keep.db")) &&
           home.rootFile(folders + QStringLiteral("/aa/bb/C/MediaCache/part")) &&
           home.link(QStringLiteral("../root/") + folders + QStringLiteral("/aa/bb/C/MediaCache/link"),
                     QStringLiteral("folder")) &&
           home.rootFile(
               folders +
               QStringLiteral("/aa/bb/T/com.apple.WebKit.WebContent+com.apple.Safari/MediaCache/m")) &&
           home.rootFile(folders +
                         QStringLiteral("/aa/bb/T/com.apple.WebKit.WebContent+com.apple.Safari/other")) &&
           home.rootFile(folders +
                         QStringLiteral("/aa/bb/T/com.apple.WebProcess+com.apple.Safari/MediaCache/m")) &&
           home.rootFile(folders + QStringLiteral("/aa/bb/T/MediaCache"), "a file, not a folder") &&
           home.rootFile(folders + QStringLiteral("/aa/bb/C/deeper/MediaCache/level5")) &&
           home.link(QStringLiteral("../root/") + folders + QStringLiteral("/linked"),
                     QStringLiteral("fakeTree")) &&
           home.link(QStringLiteral("../root/") + folders + QStringLiteral("/aa/linked"),
                     QStringLiteral("fakeTree/x")) &&
           home.link(QStringLiteral("../root/") + folders + QStringLiteral("/aa/bb/linked"),
                     QStringLiteral("fakeTree/x/y")) &&
           home.link(QStringLiteral("../root/") + folders +
                         QStringLiteral("/aa/bb/C/com.apple.WebProcess+com.apple.Safari"),
                     QStringLiteral("fakeTree/x/y/z")) &&
           home.file(QStringLiteral("canary/fakeTree/x/y/z/MediaCache/keep")) &&
           home.file(QStringLiteral("canary/fakeTree/x/y/MediaCache/keep")) &&
           // Chrome: two listed profiles and one that Local State does not name
           home.file(chrome + QStringLiteral("/Local State"), localState.toUtf8()) &&
           buildChromeProfile(home, chrome + QStringLiteral("/Default"),
                              QStringLiteral("Library/Caches/Google/Chrome/Default")) &&
           buildChromeProfile(home, chrome + QStringLiteral("/Profile 1"),
                              QStringLiteral("Library/Caches/Google/Chrome/Profile 1")) &&
           home.file(chrome + QStringLiteral("/Profile 2/Local Storage/http_a.com_0.localstorage")) &&
           home.file(QStringLiteral("Library/Caches/Google/Chrome/Profile 2/Cache/data")) &&
           home.file(chromium + QStringLiteral("/Local State"),
                     R"({"profile":{"info_cache":{"Default":{"name":"One"}}}})") &&
           buildChromeProfile(home, chromium + QStringLiteral("/Default"),
                              QStringLiteral("Library/Caches/Chromium/Default")) &&
           buildChromeProfile(home, opera, QStringLiteral("Library/Caches/com.operasoftware.Opera")) &&
           home.file(opera + QStringLiteral("/GPUCache/gpu")) &&
           // Camino and Firefox
           buildMozillaStorage(home, camino + QStringLiteral("/webappsstore.sqlite")) &&
           home.file(QStringLiteral("Library/Caches/Camino/Cache/c")) &&
           home.file(QStringLiteral("Library/Caches/Metadata/Camino/m")) &&
           home.file(QStringLiteral("Library/Caches/Metadata/Other/m")) &&
           buildMozillaStorage(home, firefox + QStringLiteral("/one.default/webappsstore.sqlite")) &&
           buildMozillaStorage(home, firefox + QStringLiteral("/two/webappsstore.sqlite")) &&
           home.file(firefox + QStringLiteral("/one.default/places.sqlite")) &&
           home.link(firefox + QStringLiteral("/linked"), QStringLiteral("folder")) &&
           home.file(QStringLiteral("Library/Caches/Firefox/Profiles/one.default/Cache/c")) &&
           home.file(QStringLiteral("Library/Caches/Firefox/Profiles/one.default/OfflineCache/o")) &&
           home.file(QStringLiteral("Library/Caches/Firefox/Profiles/one.default/startupCache/s")) &&
           home.file(QStringLiteral("Library/Caches/Firefox/Profiles/one.default/keep")) &&
           home.link(QStringLiteral("Library/Caches/Firefox/Profiles/linked"), QStringLiteral("fakeTree")) &&
           home.file(QStringLiteral("canary/fakeTree/Cache/keep")) &&
           // Flash, Silverlight and the shared caches: every pass
           home.file(flashPlayer + QStringLiteral("/#SharedObjects/RND/a.com/x.sol")) &&
           home.file(flashPlayer + QStringLiteral("/#SharedObjects/RND/www.quo'te.com/y.sol")) &&
           home.file(flashPlayer + QStringLiteral("/#SharedObjects/RND/.hidden")) &&
           home.link(flashPlayer + QStringLiteral("/#SharedObjects/RND/b.com"), QStringLiteral("folder")) &&
           home.link(flashPlayer + QStringLiteral("/#SharedObjects/LINKED"), QStringLiteral("fakeTree")) &&
           home.file(flashPlayer + QStringLiteral("/macromedia.com/support/flashplayer/sys/settings.sol")) &&
           home.file(flashPlayer +
                     QStringLiteral("/macromedia.com/support/flashplayer/sys/#a.com/settings.sol")) &&
           home.file(flashPlayer +
                     QStringLiteral("/macromedia.com/support/flashplayer/sys/##local/.c.com/s.sol")) &&
           home.file(flashPlayer + QStringLiteral("/macromedia.com/support/flashplayer/sys/plain")) &&
           home.file(flashPlayer + QStringLiteral("/Logs/flashlog.txt")) &&
           home.file(silverlight + QStringLiteral("/is/a/b/c/s/store1/id.dat"), "a.com") &&
           home.file(silverlight + QStringLiteral("/is/a/b/c/s/store1/group.dat"), "grp") &&
           home.link(silverlight + QStringLiteral("/is/a/b/c/s/store1/link"), QStringLiteral("file.txt")) &&
           home.file(silverlight + QStringLiteral("/is/a/b/c/g/grp/data")) &&
           home.file(QStringLiteral("Library/Application Support/Microsoft/Office/keep")) &&
           home.file(QStringLiteral("Library/Caches/Adobe/Flash Player/AssetCache/asset")) &&
           home.file(QStringLiteral("Library/Caches/Adobe/Flash Player/Other/keep")) &&
           home.file(QStringLiteral("Library/Caches/QuickTime/downloads/movie")) &&
           home.file(QStringLiteral("Library/Caches/QuickTime/keep"));
}

QStringList chromeTargets(const QString& profile, const QString& cache)
{
    return {profile + QStringLiteral("/databases/http_a.com_0"),
            profile + QStringLiteral("/databases/https_www.quo'te.com_0"),
            profile + QStringLiteral("/Local Storage/http_a.com_0.localstorage"),
            profile + QStringLiteral("/Local Storage/http_a.com_0.localstorage-journal"),
            profile + QStringLiteral("/Local Storage/http_l.com_0.localstorage"),
            profile + QStringLiteral("/Pepper Data/Shockwave Flash/CacheWritableAdobeRoot"),
            profile + QStringLiteral("/Application Cache"),
            cache};
}

QStringList chromeFlashTargets(const QString& profile)
{
    const QString root =
        profile + QStringLiteral("/Pepper Data/Shockwave Flash/WritableRoot/#SharedObjects/RND/");
    return {root + QStringLiteral("a.com"),
            root + QStringLiteral("macromedia.com/support/flashplayer/sys/#a.com")};
}

// Relative to the sandbox home; "../root/" leads into the system root.
QStringList targetsOf(const QString& browser)
{
    QStringList targets{
        flashPlayer + QStringLiteral("/#SharedObjects/RND/a.com"),
        flashPlayer + QStringLiteral("/#SharedObjects/RND/www.quo'te.com"),
        flashPlayer + QStringLiteral("/#SharedObjects/RND/b.com"),
        flashPlayer + QStringLiteral("/macromedia.com/support/flashplayer/sys/#a.com"),
        flashPlayer + QStringLiteral("/macromedia.com/support/flashplayer/sys/##local/.c.com"),
        silverlight,
        QStringLiteral("Library/Caches/Adobe/Flash Player/AssetCache"),
        QStringLiteral("Library/Caches/QuickTime/downloads"),
    };
    if (browser == QLatin1String("Safari")) {
        targets << QStringLiteral("Library/Safari/Databases/http_a.com_0")
                << QStringLiteral("Library/Safari/Databases/https_www.quo'te.com_0")
                << QStringLiteral("Library/Safari/LocalStorage/http_a.com_0.localstorage")
                << QStringLiteral("Library/Caches/com.apple.Safari/Cache.db")
                << QStringLiteral("Library/Caches/com.apple.Safari/fsCachedData")
                << QStringLiteral("Library/Cookies/Cookies.plist")
                << QStringLiteral("Library/Cookies/HSTS.plist")
                << QStringLiteral("../root/") + folders +
                       QStringLiteral("/aa/bb/C/com.apple.Safari/ApplicationCache.db")
                << QStringLiteral("../root/") + folders + QStringLiteral("/aa/bb/C/MediaCache")
                << QStringLiteral("../root/") + folders +
                       QStringLiteral("/aa/bb/T/com.apple.WebKit.WebContent+com.apple.Safari/MediaCache")
                << QStringLiteral("../root/") + folders +
                       QStringLiteral("/aa/bb/T/com.apple.WebProcess+com.apple.Safari/MediaCache");
    } else if (browser == QLatin1String("Google Chrome")) {
        targets << chromeTargets(chrome + QStringLiteral("/Default"),
                                 QStringLiteral("Library/Caches/Google/Chrome/Default"))
                << chromeTargets(chrome + QStringLiteral("/Profile 1"),
                                 QStringLiteral("Library/Caches/Google/Chrome/Profile 1"))
                << chromeFlashTargets(chrome + QStringLiteral("/Default"))
                << chromeFlashTargets(chrome + QStringLiteral("/Profile 1"));
    } else if (browser == QLatin1String("Chromium")) {
        targets << chromeTargets(chromium + QStringLiteral("/Default"),
                                 QStringLiteral("Library/Caches/Chromium/Default"))
                << chromeFlashTargets(chromium + QStringLiteral("/Default"));
    } else if (browser == QLatin1String("Opera")) {
        targets << chromeTargets(opera, QStringLiteral("Library/Caches/com.operasoftware.Opera"))
                << opera + QStringLiteral("/Local Storage/chrome-extension_z_0.localstorage")
                << opera + QStringLiteral("/GPUCache");
    } else if (browser == QLatin1String("Camino")) {
        targets << QStringLiteral("Library/Caches/Camino/Cache")
                << QStringLiteral("Library/Caches/Metadata/Camino");
    } else if (browser == QLatin1String("Firefox")) {
        targets << QStringLiteral("Library/Caches/Firefox/Profiles/one.default/Cache")
                << QStringLiteral("Library/Caches/Firefox/Profiles/one.default/OfflineCache")
                << QStringLiteral("Library/Caches/Firefox/Profiles/one.default/startupCache");
    }
    return targets;
}

// Every item below the sandbox, links not followed: type, link target or content checksum.
QMap<QString, QByteArray> snapshot(const QString& top)
{
    QMap<QString, QByteArray> items;
    QDirIterator it(top, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QFileInfo info(path);
        QByteArray signature;
        if (info.isSymLink()) {
            signature = "link:" + info.symLinkTarget().toUtf8();
        } else if (info.isDir()) {
            signature = "folder";
        } else {
            QFile file(path);
            signature =
                file.open(QIODevice::ReadOnly)
                    ? "file:" + QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha1).toHex()
                    : "unreadable";
        }
        items.insert(path.mid(top.size() + 1), signature);
    }
    return items;
}

QStringList rows(const QString& path, const QString& query)
{
    Sqlite db;
    QStringList values;
    if (!db.open(path))
        return {QStringLiteral("<does not open>")};
    const auto result = db.executeQuery(query);
    if (!result)
        return {QStringLiteral("<query failed>")};
    for (const Sqlite::Row& row : *result)
        values.append(row.first().isNull() ? QStringLiteral("NULL") : row.first().toString());
    values.sort();
    return values;
}

} // namespace

class CanaryHomeTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void passRemovesExactlyItsTargets_data()
    {
        QTest::addColumn<QString>("browser");
        QTest::addColumn<bool>("secure");
        for (const char* browser :
             {"Safari", "WebKit", "Google Chrome", "Chromium", "Camino", "Firefox", "Opera"}) {
            QTest::addRow("%s, plain", browser) << QString::fromLatin1(browser) << false;
            QTest::addRow("%s, secure", browser) << QString::fromLatin1(browser) << true;
        }
    }

    void passRemovesExactlyItsTargets()
    {
        QFETCH(QString, browser);
        QFETCH(bool, secure);
        Sandbox sandbox;
        const Home home(sandbox);
        QVERIFY(buildHome(home));
        QVERIFY(sandbox.writeDefaults({{QStringLiteral("removeAll"), true},
                                       {QStringLiteral("secureDeleteData"), secure},
                                       {QStringLiteral("displayNotifications"), false}}));
        const QString top = QFileInfo(sandbox.home()).absolutePath();
        const QString homeFolder = QFileInfo(sandbox.home()).fileName();
        const QMap<QString, QByteArray> before = snapshot(top);

        const auto run = BuiltSuite::runProgram(BuiltSuite::executable(BuiltSuite::workerBundle()), {browser},
                                                sandbox, 60000);
        QVERIFY2(run.finished, run.output.constData());
        QCOMPARE(run.exitCode, 0);

        const QMap<QString, QByteArray> after = snapshot(top);
        QStringList targets;
        for (const QString& target : targetsOf(browser))
            targets.append(QDir::cleanPath(homeFolder + QLatin1Char('/') + target));
        for (const QString& target : targets)
            QVERIFY2(before.contains(target), qPrintable(QStringLiteral("target not built: ") + target));
        const auto isTarget = [&](const QString& path) {
            return std::any_of(targets.begin(), targets.end(), [&](const QString& target) {
                return path == target || path.startsWith(target + QLatin1Char('/'));
            });
        };
        QStringList edited;
        for (const QString& index : indexDatabases)
            edited.append(homeFolder + QLatin1Char('/') + index);

        for (auto it = before.begin(); it != before.end(); ++it) {
            if (edited.contains(it.key()))
                continue;
            if (isTarget(it.key()))
                QVERIFY2(!after.contains(it.key()), qPrintable(QStringLiteral("left: ") + it.key()));
            else
                QVERIFY2(after.value(it.key()) == it.value(),
                         qPrintable(QStringLiteral("changed: ") + it.key()));
        }
        for (auto it = after.begin(); it != after.end(); ++it)
            QVERIFY2(before.contains(it.key()), qPrintable(QStringLiteral("new: ") + it.key()));

        checkIndexes(sandbox, browser);
    }

private:
    static void checkIndexes(const Sandbox& sandbox, const QString& browser)
    {
        const QStringList allChrome{QStringLiteral("http_a.com_0"), QStringLiteral("http_a.com_0"),
                                    QStringLiteral("https_www.quo'te.com_0"),
                                    QStringLiteral("chrome-extension_z_0"), QStringLiteral("NULL")};
        const QStringList keptChrome{QStringLiteral("NULL"), QStringLiteral("chrome-extension_z_0")};
        const QStringList allMozilla{QStringLiteral("NULL"), QStringLiteral("moc.a.:http:80"),
                                     QStringLiteral("moc.a.:http:80"), QStringLiteral("moc.et'ouq.:http:80"),
                                     QStringLiteral("noscope")};
        const QStringList keptMozilla{QStringLiteral("NULL"), QStringLiteral("noscope")};
        QStringList sortedAllChrome = allChrome;
        sortedAllChrome.sort();
        const auto databases = [&](const QString& relative) {
            return rows(sandbox.homePath(relative), QStringLiteral("SELECT origin FROM Databases"));
        };
        const auto scopes = [&](const QString& relative) {
            return rows(sandbox.homePath(relative), QStringLiteral("SELECT scope FROM webappsstore2"));
        };
        const bool safari = browser == QLatin1String("Safari");
        QCOMPARE(rows(sandbox.homePath(indexDatabases.at(0)), QStringLiteral("SELECT origin FROM Origins")),
                 (safari
                      ? QStringList{QStringLiteral("safari-extension_x_0")}
                      : QStringList{QStringLiteral("http_a.com_0"), QStringLiteral("https_www.quo'te.com_0"),
                                    QStringLiteral("safari-extension_x_0")}));
        // The journal of a removed Safari local-storage file stays, and with it its origin.
        QCOMPARE(rows(sandbox.homePath(indexDatabases.at(1)), QStringLiteral("SELECT origin FROM Origins")),
                 (safari ? QStringList{QStringLiteral("http_a.com_0"), QStringLiteral("safari-extension_y_0")}
                         : QStringList{QStringLiteral("http_a.com_0"), QStringLiteral("http_gone.com_0"),
                                       QStringLiteral("safari-extension_y_0")}));
        const bool googleChrome = browser == QLatin1String("Google Chrome");
        QCOMPARE(databases(indexDatabases.at(2)), googleChrome ? keptChrome : sortedAllChrome);
        QCOMPARE(databases(indexDatabases.at(3)), googleChrome ? keptChrome : sortedAllChrome);
        QCOMPARE(databases(indexDatabases.at(4)),
                 browser == QLatin1String("Chromium") ? keptChrome : sortedAllChrome);
        QCOMPARE(databases(indexDatabases.at(5)),
                 browser == QLatin1String("Opera") ? keptChrome : sortedAllChrome);
        QCOMPARE(scopes(indexDatabases.at(6)), browser == QLatin1String("Camino") ? keptMozilla : allMozilla);
        QCOMPARE(scopes(indexDatabases.at(7)),
                 browser == QLatin1String("Firefox") ? keptMozilla : allMozilla);
        QCOMPARE(scopes(indexDatabases.at(8)),
                 browser == QLatin1String("Firefox") ? keptMozilla : allMozilla);
        for (const QString& index : indexDatabases)
            QCOMPARE(rows(sandbox.homePath(index), QStringLiteral("PRAGMA integrity_check")),
                     QStringList{QStringLiteral("ok")});
    }
};

QTEST_GUILESS_MAIN(CanaryHomeTest)
#include "CanaryHomeTest.moc"
