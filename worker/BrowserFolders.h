#pragma once

#include <QString>

// Every folder and file of the browsers that the worker visits inside and outside their profiles,
// kept in one table so that a further file is added in one place. A row's path either starts with
// "~" (the home folder) or is relative to a profile folder of that browser. Where the browsers' own
// folders and profiles are is the table of BrowserLocations.
enum class BrowserFolder
{
    // Locks of a running browser
    SingletonLock,    // in the Chrome family's user-data folder
    LocalStorageLock, // per Chrome-family profile folder
    ParentLock,       // per Firefox profile folder

    // Favourites and cookies
    CookieDatabase,        // per profile folder
    NetworkCookieDatabase, // per Chrome-family profile folder, where newer versions move "Cookies"
    ChannelIdDatabase,     // per profile folder: the Chrome family's channel-ID certificates
    SavedLogins,           // per Firefox profile folder: "signons.sqlite"
    SavedLoginsJson,       // per Firefox profile folder: "logins.json"
    SavedLoginsMirror,     // per Firefox profile folder: "logins.db"
    LoginData,             // per Chrome-family profile folder
    AccountLoginData,      // per Chrome-family profile folder: logins kept with the user's account
    CookieFile,            // Safari's binary cookie file

    // Web storage and databases
    WebDatabases, // index "Databases.db" and one folder per origin; per profile folder for the Chrome family
    LocalStorage, // one file per origin; per profile folder for the Chrome family
    MozillaStorage, // "webappsstore.sqlite"; per profile folder of the Mozilla family

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
    PepperFlashCache, // per profile folder
    ApplicationCache, // per profile folder
    GpuCache,         // relative to ApplicationCache
    ProfileGpuCache,  // per profile folder of the browsers that keep it there (Opera)
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
