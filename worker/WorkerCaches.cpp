#include "WorkerAppDelegate.h"

#include "common/Names.h"
#include "platform/DirectoryListing.h"
#include "platform/SystemRoot.h"
#include "worker/BrowserFolders.h"
#include "worker/SecureRemoval.h"

#include <QFile>

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
    const SecureRemoval removal = SecureRemoval::fromSettings();
    if (browser == safari) {
        removeFolderRow(removal, browser, BrowserFolder::SafariCacheDatabase);
        removeFolderRow(removal, browser, BrowserFolder::SafariCachedData);
        clearExtraCache();
        clearExtraCookieCache();
    } else if (browser == opera || browser == googleChrome || browser == chromium) {
        clearChromeCache(browser);
    } else if (browser == camino) {
        removeFolderRow(removal, browser, BrowserFolder::CaminoCache);
        removeFolderRow(removal, browser, BrowserFolder::CaminoMetadata);
    } else if (browser == firefox) {
        clearFireFoxCache();
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
    const SecureRemoval removal = SecureRemoval::fromSettings();
    const FileDescriptor profiles = DirectoryListing::openFolder(
        QFile::encodeName(BrowserFolders::path(QString(firefox), BrowserFolder::FirefoxCaches)));
    if (!profiles.isOpen())
        return;
    const auto entries = DirectoryListing::list(profiles.get());
    for (const DirectoryEntry& entry : entries.value_or(QList<DirectoryEntry>())) {
        if (entry.type != DirectoryEntry::Type::Directory)
            continue;
        const FileDescriptor profile = DirectoryListing::openFolderAt(profiles.get(), entry.name);
        if (!profile.isOpen())
            continue;
        for (const char* cache : {"Cache", "OfflineCache", "startupCache"})
            removal.removeAt(profile.get(), QByteArray(cache));
    }
}

void WorkerAppDelegate::clearChromeCache(const QString& browser)
{
    if (browser != googleChrome && browser != chromium && browser != opera)
        return;
    const SecureRemoval removal = SecureRemoval::fromSettings();
    const QString cacheBase = BrowserFolders::path(browser, BrowserFolder::CacheBase);
    const QString supportBase = BrowserFolders::path(browser, BrowserFolder::Support);
    if (browser == opera)
        removal.remove(BrowserFolders::appending(supportBase, relative(BrowserFolder::GpuCache)));
    const auto profiles = profileMap(browser);
    for (auto it = profiles.keyBegin(); it != profiles.keyEnd(); ++it) {
        const QString profile = BrowserFolders::appending(supportBase, *it);
        const QString applicationCache =
            BrowserFolders::appending(profile, relative(BrowserFolder::ApplicationCache));
        removal.remove(BrowserFolders::appending(profile, relative(BrowserFolder::PepperFlashCache)));
        removal.remove(BrowserFolders::appending(cacheBase, *it));
        removal.remove(applicationCache);
        removal.remove(BrowserFolders::appending(applicationCache, relative(BrowserFolder::GpuCache)));
    }
}
