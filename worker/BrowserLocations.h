#pragma once

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>

#include <optional>

// How a browser keeps its data. The Chrome family (Google Chrome, Chromium, Opera) keeps SQLite
// databases of table "cookies" and "logins" in each profile; the Mozilla family (Firefox, Camino)
// keeps "moz_cookies" and its own saved-login files.
enum class BrowserFamily
{
    Chrome,
    Mozilla,
};

// Which folders of a location are its profiles.
enum class ProfileLayout
{
    LocalState,    // the sub-folders that "Local State" names
    SingleProfile, // the location's folder itself
    // The sub-folders that "Local State" names, or the folder itself when it names none: Opera
    // kept its one profile in its folder and now keeps it in "Default".
    LocalStateOrSingleProfile,
    EveryFolder, // every sub-folder (links and plain files are no profiles)
    ProfilesIni, // the folders that "profiles.ini" lists
};

// One place where a browser keeps its data: the layout of the system the suite was first written
// for, or one of this system's installs (packages, Flatpak, Snap).
struct BrowserLocation
{
    QString browser;
    BrowserFamily family = BrowserFamily::Chrome;
    ProfileLayout layout = ProfileLayout::SingleProfile;
    QString folder;      // full path
    QString cacheFolder; // full path; empty when the browser's caches are not kept per location
    // Chrome family: a profile's cache is cacheFolder/<profile key>, removed whole. Mozilla family:
    // in every sub-folder of cacheFolder these items are removed.
    QList<QByteArray> cacheItems;
};

// One profile folder of a location.
struct BrowserProfile
{
    QString browser;
    BrowserFamily family = BrowserFamily::Chrome;
    qsizetype location = 0; // index into the pass's locations
    QString key;            // the "Local State" key, the folder name of a Firefox profile, or empty
    QString folder;         // full path
};

namespace BrowserLocations {

// The family of a browser name; nullopt for the browsers without profile folders (Safari, WebKit).
[[nodiscard]] std::optional<BrowserFamily> familyOf(const QString& browser);

// Every location of the browser whose folder exists as a folder of its own (a link to one is never
// followed), each once, the locations of the first layout first.
[[nodiscard]] QList<BrowserLocation> existing(const QString& browser);

// The first location of the table for the browser, whether it exists or not.
[[nodiscard]] std::optional<BrowserLocation> first(const QString& browser);

// The profiles of a location, each folder once, in the order its list names them.
[[nodiscard]] QList<BrowserProfile> profiles(const BrowserLocation& location);

// Chrome-family profile folder name -> display name, from the "Local State" file of `folder`;
// names that would lead out of the folder are left out; empty when unreadable.
[[nodiscard]] QMap<QString, QString> localStateProfiles(const QString& folder);

// The profile folders that a "profiles.ini" lists, as full paths: relative ones inside `folder`,
// absolute ones inside the home folder, none through a link, each existing as a folder.
[[nodiscard]] QStringList profilesIniFolders(const QString& folder);

// `relative` (one or more components) inside `folder`, when it is a regular file reached through
// no link; empty otherwise.
[[nodiscard]] QString regularFileIn(const QString& folder, const QString& relative);

// True when `path` is a folder below `base` that is reached from `base` through no link.
[[nodiscard]] bool isFolderBelow(const QString& base, const QString& path);

// The same item on disk (device and inode) for two paths that may differ; a missing item is known
// by its path.
[[nodiscard]] QString identity(const QString& path);

} // namespace BrowserLocations
