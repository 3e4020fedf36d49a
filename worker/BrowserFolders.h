#pragma once

#include <QString>

// Every folder and file of the browsers that the worker visits, kept in one table so that a further
// browser layout is added in one place. A row's path either starts with "~" (the home folder) or is
// relative to a profile folder of that browser.
enum class BrowserFolder
{
    // Profiles
    Support,         // the browser's own folder; Chrome-family profiles are its sub-folders
    LocalState,      // the Chrome-family list of profiles
    FirefoxProfiles, // every sub-folder is a Firefox profile

    // Favourites and cookies
    CookieDatabase,    // per profile folder; Camino's is a full path
    ChannelIdDatabase, // per profile folder: the Chrome family's channel-ID certificates
    SavedLogins,       // per Firefox profile folder
    CookieFile,        // Safari's binary cookie file

    // Web storage and databases
    WebDatabases, // index "Databases.db" and one folder per origin; per profile folder for the Chrome family
    LocalStorage, // one file per origin; per profile folder for the Chrome family
    MozillaStorage, // "webappsstore.sqlite"; per Firefox profile folder, Camino's is a full path

    // Flash and Silverlight
    FlashSharedObjects,   // folders of arbitrary names, each with one entry per site
    FlashSettings,        // per-site settings beside "settings.sol"
    BrowserFlash,         // per profile folder: the Chrome family's own shared objects
    BrowserFlashSettings, // relative to a folder of BrowserFlash
    SilverlightFolder,    // removed whole once no store is left
    SilverlightStorage,   // three folder levels, then "s" (stores) and "g" (groups)

    // Caches
    SafariCacheDatabase,
    SafariCachedData,
    CaminoCache,
    CaminoMetadata,
    FlashAssetCache,
    QuickTimeDownloads,
    CookiesPropertyList,
    HstsPropertyList,
    TemporaryFolders, // absolute: goes through the system root
    FirefoxCaches,    // one folder per Firefox profile
    CacheBase,        // the Chrome family's and Opera's caches; one sub-folder per profile
    PepperFlashCache, // per profile folder
    ApplicationCache, // per profile folder
    GpuCache,         // relative to Opera's folder and to ApplicationCache
};

namespace BrowserFolders {

// The row as written; empty when the browser has no such folder. Folders that belong to no browser
// (Flash, Silverlight, shared caches) are looked up with an empty browser name.
[[nodiscard]] QString entry(const QString& browser, BrowserFolder folder);

// entry() with a leading "~" expanded to the home folder.
[[nodiscard]] QString path(const QString& browser, BrowserFolder folder);

[[nodiscard]] QString expandTilde(const QString& path);

// A/B: B appended to A as one path component; an empty B leaves A unchanged.
[[nodiscard]] QString appending(const QString& base, const QString& component);

} // namespace BrowserFolders
