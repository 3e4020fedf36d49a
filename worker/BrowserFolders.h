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

    // Flash and Silverlight

    // Caches
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
