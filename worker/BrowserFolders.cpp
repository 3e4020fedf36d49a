#include "BrowserFolders.h"

#include "common/Names.h"

#include <QDir>

#include <array>

namespace {

struct Row
{
    QLatin1StringView browser;
    BrowserFolder folder;
    QLatin1StringView path;
};

using namespace Names::Browsers;
constexpr QLatin1StringView anyBrowser{""};

constexpr std::array rows{
    // Locks of a running browser
    Row{googleChrome, BrowserFolder::SingletonLock, QLatin1StringView{"SingletonLock"}},
    Row{chromium, BrowserFolder::SingletonLock, QLatin1StringView{"SingletonLock"}},
    Row{opera, BrowserFolder::SingletonLock, QLatin1StringView{"SingletonLock"}},
    Row{googleChrome, BrowserFolder::LocalStorageLock, QLatin1StringView{"Local Storage/leveldb/LOCK"}},
    Row{chromium, BrowserFolder::LocalStorageLock, QLatin1StringView{"Local Storage/leveldb/LOCK"}},
    Row{opera, BrowserFolder::LocalStorageLock, QLatin1StringView{"Local Storage/leveldb/LOCK"}},
    Row{firefox, BrowserFolder::ParentLock, QLatin1StringView{".parentlock"}},

    // Favourites and cookies
    Row{googleChrome, BrowserFolder::CookieDatabase, QLatin1StringView{"Cookies"}},
    Row{chromium, BrowserFolder::CookieDatabase, QLatin1StringView{"Cookies"}},
    Row{opera, BrowserFolder::CookieDatabase, QLatin1StringView{"Cookies"}},
    Row{firefox, BrowserFolder::CookieDatabase, QLatin1StringView{"cookies.sqlite"}},
    Row{camino, BrowserFolder::CookieDatabase, QLatin1StringView{"cookies.sqlite"}},
    Row{googleChrome, BrowserFolder::NetworkCookieDatabase, QLatin1StringView{"Network/Cookies"}},
    Row{chromium, BrowserFolder::NetworkCookieDatabase, QLatin1StringView{"Network/Cookies"}},
    Row{opera, BrowserFolder::NetworkCookieDatabase, QLatin1StringView{"Network/Cookies"}},
    Row{googleChrome, BrowserFolder::ChannelIdDatabase, QLatin1StringView{"Origin Bound Certs"}},
    Row{chromium, BrowserFolder::ChannelIdDatabase, QLatin1StringView{"Origin Bound Certs"}},
    Row{opera, BrowserFolder::ChannelIdDatabase, QLatin1StringView{"Origin Bound Certs"}},
    Row{firefox, BrowserFolder::SavedLogins, QLatin1StringView{"signons.sqlite"}},
    Row{firefox, BrowserFolder::SavedLoginsJson, QLatin1StringView{"logins.json"}},
    Row{firefox, BrowserFolder::SavedLoginsMirror, QLatin1StringView{"logins.db"}},
    Row{googleChrome, BrowserFolder::LoginData, QLatin1StringView{"Login Data"}},
    Row{chromium, BrowserFolder::LoginData, QLatin1StringView{"Login Data"}},
    Row{opera, BrowserFolder::LoginData, QLatin1StringView{"Login Data"}},
    Row{googleChrome, BrowserFolder::AccountLoginData, QLatin1StringView{"Login Data For Account"}},
    Row{chromium, BrowserFolder::AccountLoginData, QLatin1StringView{"Login Data For Account"}},
    Row{opera, BrowserFolder::AccountLoginData, QLatin1StringView{"Login Data For Account"}},
    Row{safari, BrowserFolder::CookieFile, QLatin1StringView{"~/Library/Cookies/Cookies.binarycookies"}},

    // Web storage and databases
    Row{safari, BrowserFolder::WebDatabases, QLatin1StringView{"~/Library/Safari/Databases"}},
    Row{googleChrome, BrowserFolder::WebDatabases, QLatin1StringView{"databases"}},
    Row{chromium, BrowserFolder::WebDatabases, QLatin1StringView{"databases"}},
    Row{opera, BrowserFolder::WebDatabases, QLatin1StringView{"databases"}},
    Row{safari, BrowserFolder::LocalStorage, QLatin1StringView{"~/Library/Safari/LocalStorage"}},
    Row{googleChrome, BrowserFolder::LocalStorage, QLatin1StringView{"Local Storage"}},
    Row{chromium, BrowserFolder::LocalStorage, QLatin1StringView{"Local Storage"}},
    Row{opera, BrowserFolder::LocalStorage, QLatin1StringView{"Local Storage"}},
    Row{camino, BrowserFolder::MozillaStorage, QLatin1StringView{"webappsstore.sqlite"}},
    Row{firefox, BrowserFolder::MozillaStorage, QLatin1StringView{"webappsstore.sqlite"}},

    // Flash and Silverlight
    Row{anyBrowser, BrowserFolder::FlashSharedObjects,
        QLatin1StringView{"~/Library/Preferences/Macromedia/Flash Player/#SharedObjects"}},
    Row{anyBrowser, BrowserFolder::FlashSettings,
        QLatin1StringView{
            "~/Library/Preferences/Macromedia/Flash Player/macromedia.com/support/flashplayer/sys"}},
    Row{googleChrome, BrowserFolder::BrowserFlash,
        QLatin1StringView{"Pepper Data/Shockwave Flash/WritableRoot/#SharedObjects"}},
    Row{chromium, BrowserFolder::BrowserFlash,
        QLatin1StringView{"Pepper Data/Shockwave Flash/WritableRoot/#SharedObjects"}},
    Row{anyBrowser, BrowserFolder::BrowserFlashSettings,
        QLatin1StringView{"macromedia.com/support/flashplayer/sys"}},
    Row{anyBrowser, BrowserFolder::SilverlightFolder,
        QLatin1StringView{"~/Library/Application Support/Microsoft/Silverlight"}},
    Row{anyBrowser, BrowserFolder::SilverlightStorage,
        QLatin1StringView{"~/Library/Application Support/Microsoft/Silverlight/is"}},

    // Caches
    Row{safari, BrowserFolder::SafariCacheDatabase,
        QLatin1StringView{"~/Library/Caches/com.apple.Safari/Cache.db"}},
    Row{safari, BrowserFolder::SafariCachedData,
        QLatin1StringView{"~/Library/Caches/com.apple.Safari/fsCachedData"}},
    Row{camino, BrowserFolder::CaminoCache, QLatin1StringView{"~/Library/Caches/Camino/Cache"}},
    Row{camino, BrowserFolder::CaminoMetadata, QLatin1StringView{"~/Library/Caches/Metadata/Camino"}},
    Row{anyBrowser, BrowserFolder::FlashAssetCache,
        QLatin1StringView{"~/Library/Caches/Adobe/Flash Player/AssetCache"}},
    Row{anyBrowser, BrowserFolder::QuickTimeDownloads,
        QLatin1StringView{"~/Library/Caches/QuickTime/downloads"}},
    Row{safari, BrowserFolder::CookiesPropertyList, QLatin1StringView{"~/Library/Cookies/Cookies.plist"}},
    Row{safari, BrowserFolder::HstsPropertyList, QLatin1StringView{"~/Library/Cookies/HSTS.plist"}},
    Row{safari, BrowserFolder::TemporaryFolders, QLatin1StringView{"/private/var/folders/"}},
    Row{anyBrowser, BrowserFolder::PepperFlashCache,
        QLatin1StringView{"Pepper Data/Shockwave Flash/CacheWritableAdobeRoot"}},
    Row{anyBrowser, BrowserFolder::ApplicationCache, QLatin1StringView{"Application Cache"}},
    Row{anyBrowser, BrowserFolder::GpuCache, QLatin1StringView{"GPUCache"}},
    Row{opera, BrowserFolder::ProfileGpuCache, QLatin1StringView{"GPUCache"}},
};

} // namespace

namespace BrowserFolders {

QString entry(const QString& browser, BrowserFolder folder)
{
    for (const Row& row : rows) {
        if (row.folder == folder && row.browser == browser)
            return row.path;
    }
    return QString();
}

QString path(const QString& browser, BrowserFolder folder)
{
    return expandTilde(entry(browser, folder));
}

QString expandTilde(const QString& path)
{
    if (path == QLatin1String("~"))
        return QDir::homePath();
    if (path.startsWith(QLatin1String("~/")))
        return QDir::homePath() + path.mid(1);
    return path;
}

QString appending(const QString& base, const QString& component)
{
    if (component.isEmpty())
        return base;
    if (base.endsWith(QLatin1Char('/')))
        return base + component;
    return base + QLatin1Char('/') + component;
}

} // namespace BrowserFolders
