#include "WorkerAppDelegate.h"

#include "common/Names.h"
#include "platform/DirectoryListing.h"
#include "platform/SystemRoot.h"
#include "worker/BrowserFolders.h"
#include "worker/BrowserLocations.h"
#include "worker/SecureRemoval.h"

#include <QFile>
#include <QHash>
#include <QSet>

namespace {

using namespace Names::Browsers;

// Below "/private/var/folders/": three levels of folders, then the entries that are judged.
constexpr int temporaryFolderLevels = 3;

void removeFolderRow(const SecureRemoval& removal, const QString& browser, BrowserFolder folder)
{
    removal.remove(BrowserFolders::path(browser, folder));
}

QString relative(BrowserFolder folder)
{
    return BrowserFolders::entry(QString(), folder);
}

// The level-4 entry `name` of the open folder `folderFd`, already known to be a folder.
void clearTemporaryEntry(const SecureRemoval& removal, int folderFd, const QByteArray& name)
{
    if (name == "MediaCache") {
        removal.removeAt(folderFd, name);
        return;
    }
    QByteArray target;
    if (name == "com.apple.Safari")
        target = "ApplicationCache.db";
    else if (name == "com.apple.WebKit.WebContent+com.apple.Safari" ||
             name == "com.apple.WebProcess+com.apple.Safari")
        target = "MediaCache";
    else
        return;
    const FileDescriptor entry = DirectoryListing::openFolderAt(folderFd, name);
    if (entry.isOpen() && DirectoryListing::typeAt(entry.get(), target))
        removal.removeAt(entry.get(), target);
}

void walkTemporaryFolders(const SecureRemoval& removal, int folderFd, int level)
{
    const auto entries = DirectoryListing::list(folderFd);
    if (!entries)
        return;
    for (const DirectoryEntry& entry : *entries) {
        if (entry.type != DirectoryEntry::Type::Directory)
            continue;
        if (level > temporaryFolderLevels) {
            clearTemporaryEntry(removal, folderFd, entry.name);
            continue;
        }
        const FileDescriptor folder = DirectoryListing::openFolderAt(folderFd, entry.name);
        if (folder.isOpen())
            walkTemporaryFolders(removal, folder.get(), level + 1);
    }
}

} // namespace

void WorkerAppDelegate::removeBrowserCache(const QString& browser)
{
    removeBrowserCache(PassContext::forBrowser(browser, KeepList()));
}

void WorkerAppDelegate::removeBrowserCache(const PassContext& context)
{
    const QString& browser = context.browser;
    const SecureRemoval& removal = context.removal;
    const auto family = BrowserLocations::familyOf(browser);
    if (browser == safari) {
        removeFolderRow(removal, browser, BrowserFolder::SafariCacheDatabase);
        removeFolderRow(removal, browser, BrowserFolder::SafariCachedData);
        clearExtraCache();
        clearExtraCookieCache();
    } else if (family == BrowserFamily::Chrome) {
        clearChromeCache(context);
    } else if (browser == camino) {
        removeFolderRow(removal, browser, BrowserFolder::CaminoCache);
        removeFolderRow(removal, browser, BrowserFolder::CaminoMetadata);
    } else if (family == BrowserFamily::Mozilla) {
        clearFireFoxCache(context);
    }
    removeFolderRow(removal, QString(), BrowserFolder::FlashAssetCache);
    removeFolderRow(removal, QString(), BrowserFolder::QuickTimeDownloads);
}

void WorkerAppDelegate::clearExtraCache()
{
    const SecureRemoval removal = SecureRemoval::fromSettings();
    const QString folders =
        SystemRoot::path(BrowserFolders::entry(QString(safari), BrowserFolder::TemporaryFolders));
    const FileDescriptor root = DirectoryListing::openFolder(QFile::encodeName(folders));
    if (root.isOpen())
        walkTemporaryFolders(removal, root.get(), 1);
}

void WorkerAppDelegate::clearExtraCookieCache()
{
    const SecureRemoval removal = SecureRemoval::fromSettings();
    removeFolderRow(removal, QString(safari), BrowserFolder::CookiesPropertyList);
    removeFolderRow(removal, QString(safari), BrowserFolder::HstsPropertyList);
}

void WorkerAppDelegate::clearFireFoxCache()
{
    clearFireFoxCache(PassContext::forBrowser(QString(firefox), KeepList()));
}

void WorkerAppDelegate::clearFireFoxCache(const PassContext& context)
{
    // Caches sit in one folder per profile name below each location's cache folder; locations may
    // share that folder. A profile in use keeps its caches, whichever location it belongs to.
    QList<std::pair<QString, QList<QByteArray>>> cacheFolders;
    QHash<QString, QSet<QByteArray>> namesInUse;
    QSet<QString> seen;
    for (const BrowserLocation& location : context.locations) {
        if (location.family != BrowserFamily::Mozilla || location.cacheFolder.isEmpty())
            continue;
        const QString id = BrowserLocations::identity(location.cacheFolder);
        if (!seen.contains(id)) {
            seen.insert(id);
            cacheFolders.append({location.cacheFolder, location.cacheItems});
        }
    }
    for (const BrowserProfile& profile : context.profilesInUse) {
        const QString cacheFolder = context.locations.at(profile.location).cacheFolder;
        if (!cacheFolder.isEmpty())
            namesInUse[BrowserLocations::identity(cacheFolder)].insert(QFile::encodeName(profile.key));
    }
    for (const auto& [cacheFolder, items] : std::as_const(cacheFolders)) {
        const QSet<QByteArray> skipped = namesInUse.value(BrowserLocations::identity(cacheFolder));
        const FileDescriptor profiles = DirectoryListing::openFolder(QFile::encodeName(cacheFolder));
        if (!profiles.isOpen())
            continue;
        const auto entries = DirectoryListing::list(profiles.get());
        for (const DirectoryEntry& entry : entries.value_or(QList<DirectoryEntry>())) {
            if (entry.type != DirectoryEntry::Type::Directory || skipped.contains(entry.name))
                continue;
            const FileDescriptor profile = DirectoryListing::openFolderAt(profiles.get(), entry.name);
            if (!profile.isOpen())
                continue;
            for (const QByteArray& cache : items)
                context.removal.removeAt(profile.get(), cache);
        }
    }
}

void WorkerAppDelegate::clearChromeCache(const QString& browser)
{
    clearChromeCache(PassContext::forBrowser(browser, KeepList()));
}

void WorkerAppDelegate::clearChromeCache(const PassContext& context)
{
    const SecureRemoval& removal = context.removal;
    for (const BrowserProfile& profile : context.profiles) {
        if (profile.family != BrowserFamily::Chrome)
            continue;
        const QString cacheFolder = context.locations.at(profile.location).cacheFolder;
        const QString gpuCache = BrowserFolders::entry(profile.browser, BrowserFolder::ProfileGpuCache);
        if (!gpuCache.isEmpty())
            removal.remove(BrowserFolders::appending(profile.folder, gpuCache));
        const QString applicationCache =
            BrowserFolders::appending(profile.folder, relative(BrowserFolder::ApplicationCache));
        removal.remove(BrowserFolders::appending(profile.folder, relative(BrowserFolder::PepperFlashCache)));
        if (!cacheFolder.isEmpty())
            removal.remove(BrowserFolders::appending(cacheFolder, profile.key));
        removal.remove(applicationCache);
        removal.remove(BrowserFolders::appending(applicationCache, relative(BrowserFolder::GpuCache)));
    }
}
