#include "BrowserLocations.h"

#include "common/Names.h"
#include "platform/DirectoryListing.h"
#include "worker/BrowserFolders.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QSet>

#include <algorithm>
#include <array>
#include <sys/stat.h>

namespace {

using namespace Names::Browsers;
using Family = BrowserFamily;
using Layout = ProfileLayout;

enum class CacheItems
{
    WholeProfileFolder,
    MacFirefox,
    LinuxFirefox,
};

struct Row
{
    QLatin1StringView browser;
    Layout layout;
    QLatin1StringView folder;
    QLatin1StringView cacheFolder;
    CacheItems cacheItems = CacheItems::WholeProfileFolder;
};

// Every place each browser keeps its data. The first row of a browser is the layout the suite was
// first written for; the others are where the browsers live on this system, measured with the
// distribution's packages, the browsers' own packages, Flatpak and Snap. Rows under "~/.config/"
// and "~/.cache/" are also visited under $XDG_CONFIG_HOME and $XDG_CACHE_HOME.
constexpr std::array rows{
    Row{googleChrome, Layout::LocalState, QLatin1StringView{"~/Library/Application Support/Google/Chrome"},
        QLatin1StringView{"~/Library/Caches/Google/Chrome"}},
    Row{googleChrome, Layout::LocalState, QLatin1StringView{"~/.config/google-chrome"},
        QLatin1StringView{"~/.cache/google-chrome"}},
    Row{googleChrome, Layout::LocalState,
        QLatin1StringView{"~/.var/app/com.google.Chrome/config/google-chrome"},
        QLatin1StringView{"~/.var/app/com.google.Chrome/cache/google-chrome"}},

    Row{chromium, Layout::LocalState, QLatin1StringView{"~/Library/Application Support/Chromium"},
        QLatin1StringView{"~/Library/Caches/Chromium"}},
    Row{chromium, Layout::LocalState, QLatin1StringView{"~/.config/chromium"},
        QLatin1StringView{"~/.cache/chromium"}},
    Row{chromium, Layout::LocalState, QLatin1StringView{"~/.var/app/org.chromium.Chromium/config/chromium"},
        QLatin1StringView{"~/.var/app/org.chromium.Chromium/cache/chromium"}},
    Row{chromium, Layout::LocalState, QLatin1StringView{"~/snap/chromium/common/chromium"},
        QLatin1StringView{"~/snap/chromium/common/.cache/chromium"}},

    Row{opera, Layout::SingleProfile,
        QLatin1StringView{"~/Library/Application Support/com.operasoftware.Opera"},
        QLatin1StringView{"~/Library/Caches/com.operasoftware.Opera"}},
    Row{opera, Layout::LocalStateOrSingleProfile, QLatin1StringView{"~/.config/opera"},
        QLatin1StringView{"~/.cache/opera"}},

    Row{camino, Layout::SingleProfile, QLatin1StringView{"~/Library/Application Support/Camino"},
        QLatin1StringView{}},

    Row{firefox, Layout::EveryFolder, QLatin1StringView{"~/Library/Application Support/Firefox/Profiles"},
        QLatin1StringView{"~/Library/Caches/Firefox/Profiles"}, CacheItems::MacFirefox},
    Row{firefox, Layout::ProfilesIni, QLatin1StringView{"~/.mozilla/firefox"},
        QLatin1StringView{"~/.cache/mozilla/firefox"}, CacheItems::LinuxFirefox},
    Row{firefox, Layout::ProfilesIni, QLatin1StringView{"~/.config/mozilla/firefox"},
        QLatin1StringView{"~/.cache/mozilla/firefox"}, CacheItems::LinuxFirefox},
    Row{firefox, Layout::ProfilesIni, QLatin1StringView{"~/.var/app/org.mozilla.firefox/.mozilla/firefox"},
        QLatin1StringView{"~/.var/app/org.mozilla.firefox/cache/mozilla/firefox"}, CacheItems::LinuxFirefox},
    Row{firefox, Layout::ProfilesIni, QLatin1StringView{"~/snap/firefox/common/.mozilla/firefox"},
        QLatin1StringView{"~/snap/firefox/common/.cache/mozilla/firefox"}, CacheItems::LinuxFirefox},
};

// The families, defined once: every step picks its files by these.
constexpr std::array<std::pair<QLatin1StringView, Family>, 5> families{{
    {googleChrome, Family::Chrome},
    {chromium, Family::Chrome},
    {opera, Family::Chrome},
    {firefox, Family::Mozilla},
    {camino, Family::Mozilla},
}};

// A profile file or a "Local State" is small; anything bigger is not one.
constexpr qint64 listFileLimit = 16 * 1024 * 1024;

QList<QByteArray> cacheItemsOf(CacheItems items)
{
    switch (items) {
    case CacheItems::WholeProfileFolder:
        return {};
    case CacheItems::MacFirefox:
        return {"Cache", "OfflineCache", "startupCache"};
    case CacheItems::LinuxFirefox:
        return {"cache2", "startupCache", "thumbnails", "jumpListCache"};
    }
    return {};
}

// An XDG base folder from the environment, used only when it lies inside the home folder: a
// variable left over from another home must never lead a pass outside this one.
QString xdgFolder(const char* variable)
{
    const QString value = QDir::cleanPath(QFile::decodeName(qgetenv(variable)));
    if (!QDir::isAbsolutePath(value) || !value.startsWith(QDir::homePath() + QLatin1Char('/')))
        return QString();
    return value;
}

// "~/.config/x" -> "<XDG_CONFIG_HOME>/x" (and the same for "~/.cache/"), or empty when the
// variable names no other folder.
QString underXdg(const QString& row, const QString& defaultPrefix, const char* variable)
{
    const QString xdg = xdgFolder(variable);
    const QString prefix = QDir::homePath() + defaultPrefix;
    if (xdg.isEmpty() || xdg == prefix.chopped(1) || !row.startsWith(prefix))
        return QString();
    return xdg + row.mid(prefix.size() - 1);
}

BrowserLocation locationOf(const Row& row, const QString& folder, const QString& cacheFolder)
{
    return BrowserLocation{QString(row.browser), *BrowserLocations::familyOf(row.browser),
                           row.layout,           folder,
                           cacheFolder,          cacheItemsOf(row.cacheItems)};
}

// The row as it stands, then under the XDG folders when they differ.
QList<BrowserLocation> variantsOf(const Row& row)
{
    const QString folder = BrowserFolders::expandTilde(row.folder);
    const QString cache =
        row.cacheFolder.isEmpty() ? QString() : BrowserFolders::expandTilde(row.cacheFolder);
    QList<BrowserLocation> variants{locationOf(row, folder, cache)};
    const QString xdgFolderPath = underXdg(folder, QStringLiteral("/.config/"), "XDG_CONFIG_HOME");
    if (!xdgFolderPath.isEmpty()) {
        const QString xdgCache = underXdg(cache, QStringLiteral("/.cache/"), "XDG_CACHE_HOME");
        variants.append(locationOf(row, xdgFolderPath, xdgCache.isEmpty() ? cache : xdgCache));
    }
    return variants;
}

bool isPlainComponent(const QString& name)
{
    return !name.isEmpty() && !name.contains(QLatin1Char('/')) && name != QLatin1String(".") &&
           name != QLatin1String("..");
}

QByteArray readSmallRegularFile(const QString& path)
{
    if (DirectoryListing::typeOf(QFile::encodeName(path)) != DirectoryEntry::Type::File)
        return QByteArray();
    QFile file(path);
    if (file.size() > listFileLimit || !file.open(QIODevice::ReadOnly))
        return QByteArray();
    return file.read(listFileLimit);
}

// The "Path" and "IsRelative" of every "[Profile...]" section of a profiles.ini text.
QList<std::pair<QString, bool>> profileEntries(const QByteArray& text)
{
    QList<std::pair<QString, bool>> entries;
    bool inProfile = false;
    QString path;
    bool relative = false;
    const auto finish = [&] {
        if (inProfile && !path.isEmpty())
            entries.append({path, relative});
        path.clear();
        relative = false;
    };
    for (const QByteArray& rawLine : text.split('\n')) {
        const QString line = QString::fromUtf8(rawLine).trimmed();
        if (line.startsWith(QLatin1Char('[')) && line.endsWith(QLatin1Char(']'))) {
            finish();
            inProfile = line.startsWith(QLatin1String("[Profile"));
            continue;
        }
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        if (!inProfile || equals <= 0)
            continue;
        const QString key = line.left(equals).trimmed();
        const QString value = line.mid(equals + 1).trimmed();
        if (key == QLatin1String("Path"))
            path = value;
        else if (key == QLatin1String("IsRelative"))
            relative = value == QLatin1String("1");
    }
    finish();
    return entries;
}

} // namespace

namespace BrowserLocations {

std::optional<BrowserFamily> familyOf(const QString& browser)
{
    for (const auto& [name, family] : families) {
        if (name == browser)
            return family;
    }
    return std::nullopt;
}

QList<BrowserLocation> existing(const QString& browser)
{
    QList<BrowserLocation> found;
    QSet<QString> seen;
    const QString home = QDir::homePath();
    for (const Row& row : rows) {
        if (row.browser != browser)
            continue;
        for (const BrowserLocation& location : variantsOf(row)) {
            if (!isFolderBelow(home, location.folder))
                continue;
            const QString id = identity(location.folder);
            if (seen.contains(id))
                continue;
            seen.insert(id);
            found.append(location);
        }
    }
    return found;
}

std::optional<BrowserLocation> first(const QString& browser)
{
    for (const Row& row : rows) {
        if (row.browser == browser)
            return variantsOf(row).first();
    }
    return std::nullopt;
}

QList<BrowserProfile> profiles(const BrowserLocation& location)
{
    QList<std::pair<QString, QString>> folders; // key, full path
    switch (location.layout) {
    case ProfileLayout::SingleProfile:
        folders.append({QString(), location.folder});
        break;
    case ProfileLayout::LocalState:
    case ProfileLayout::LocalStateOrSingleProfile: {
        const auto map = localStateProfiles(location.folder);
        for (auto it = map.keyBegin(); it != map.keyEnd(); ++it)
            folders.append({*it, BrowserFolders::appending(location.folder, *it)});
        if (folders.isEmpty() && location.layout == ProfileLayout::LocalStateOrSingleProfile)
            folders.append({QString(), location.folder});
        break;
    }
    case ProfileLayout::EveryFolder: {
        const auto entries = DirectoryListing::list(location.folder);
        for (const DirectoryEntry& entry : entries.value_or(QList<DirectoryEntry>())) {
            if (entry.type == DirectoryEntry::Type::Directory)
                folders.append(
                    {entry.displayName(), BrowserFolders::appending(location.folder, entry.displayName())});
        }
        break;
    }
    case ProfileLayout::ProfilesIni:
        for (const QString& folder : profilesIniFolders(location.folder))
            folders.append({folder.section(QLatin1Char('/'), -1), folder});
        break;
    }

    QList<BrowserProfile> found;
    QSet<QString> seen;
    for (const auto& [key, folder] : std::as_const(folders)) {
        // A profile folder that is a link leads elsewhere: it is no profile of this location.
        if (DirectoryListing::typeOf(QFile::encodeName(folder)) == DirectoryEntry::Type::SymbolicLink)
            continue;
        const QString id = identity(folder);
        if (seen.contains(id))
            continue;
        seen.insert(id);
        found.append(BrowserProfile{location.browser, location.family, 0, key, folder});
    }
    return found;
}

QMap<QString, QString> localStateProfiles(const QString& folder)
{
    // Only a regular file: a FIFO in its place would block the pass for good.
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(
        readSmallRegularFile(BrowserFolders::appending(folder, QStringLiteral("Local State"))), &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return {};
    const QJsonValue infoCache =
        document.object().value(QLatin1String("profile")).toObject().value(QLatin1String("info_cache"));
    if (!infoCache.isObject())
        return {};

    QMap<QString, QString> profiles;
    const QJsonObject entries = infoCache.toObject();
    for (auto it = entries.begin(); it != entries.end(); ++it) {
        const QJsonValue name = it.value().toObject().value(QLatin1String("name"));
        // A folder name that would lead out of the browser folder is never a profile.
        if (!name.isString() || !isPlainComponent(it.key()))
            continue;
        profiles.insert(it.key(), name.toString());
    }
    return profiles;
}

QStringList profilesIniFolders(const QString& folder)
{
    const QString home = QDir::homePath();
    QStringList folders;
    for (const auto& [path, relative] : profileEntries(
             readSmallRegularFile(BrowserFolders::appending(folder, QStringLiteral("profiles.ini"))))) {
        if (relative) {
            const QStringList components = path.split(QLatin1Char('/'), Qt::SkipEmptyParts);
            if (components.isEmpty() ||
                !std::all_of(components.cbegin(), components.cend(), isPlainComponent))
                continue;
            const QString full =
                QDir::cleanPath(folder + QLatin1Char('/') + components.join(QLatin1Char('/')));
            if (isFolderBelow(folder, full))
                folders.append(full);
        } else {
            const QString full = QDir::cleanPath(path);
            if (QDir::isAbsolutePath(path) && isFolderBelow(home, full))
                folders.append(full);
        }
    }
    return folders;
}

QString regularFileIn(const QString& folder, const QString& relative)
{
    const QString path = QDir::cleanPath(folder + QLatin1Char('/') + relative);
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    if (slash <= 0 ||
        (path.left(slash) != QDir::cleanPath(folder) && !isFolderBelow(folder, path.left(slash))))
        return QString();
    if (DirectoryListing::typeOf(QFile::encodeName(path)) != DirectoryEntry::Type::File)
        return QString();
    return path;
}

bool isFolderBelow(const QString& base, const QString& path)
{
    const QString cleanBase = QDir::cleanPath(base);
    const QString cleanPath = QDir::cleanPath(path);
    if (!cleanPath.startsWith(cleanBase + QLatin1Char('/')))
        return false;
    // Each component below the base must be a folder itself, never a link to one.
    QString walked = cleanBase;
    for (const QString& component : cleanPath.mid(cleanBase.size() + 1).split(QLatin1Char('/'))) {
        if (!isPlainComponent(component))
            return false;
        walked += QLatin1Char('/') + component;
        if (DirectoryListing::typeOf(QFile::encodeName(walked)) != DirectoryEntry::Type::Directory)
            return false;
    }
    return true;
}

QString identity(const QString& path)
{
    struct stat info;
    if (lstat(QFile::encodeName(path).constData(), &info) != 0)
        return QStringLiteral("path:") + QDir::cleanPath(path);
    return QStringLiteral("inode:%1:%2").arg(quint64(info.st_dev)).arg(quint64(info.st_ino));
}

} // namespace BrowserLocations
