#include "WorkerAppDelegate.h"

#include "platform/DirectoryListing.h"
#include "worker/BrowserFolders.h"
#include "worker/SecureRemoval.h"
#include "worker/WorkerExtras.h"

#include <QFile>
#include <QSet>

#include <functional>

namespace {

// A site item found at entry `name` of the open folder `folderFd`, named `siteItem`.
using SiteItemHandler = std::function<void(const QByteArray& siteItem, int folderFd, const QByteArray& name)>;

QByteArray siteItemName(const QByteArray& host)
{
    return host.startsWith("www.") ? host.mid(4) : host;
}

bool isSelected(const QByteArray& siteItem, const KeepList& keep)
{
    const auto site = WorkerExtras::siteWithDomainName(QFile::decodeName(siteItem));
    return !site || !keep.keeps(*site);
}

QList<DirectoryEntry> entriesOf(int folderFd)
{
    return DirectoryListing::list(folderFd).value_or(QList<DirectoryEntry>());
}

// A settings folder: "settings.sol" stays, "##" folders hold one entry per site, a single "#"
// entry is one site, everything else is not ours.
void visitSettings(int settingsFd, const SiteItemHandler& handle)
{
    for (const DirectoryEntry& entry : entriesOf(settingsFd)) {
        if (entry.name == "settings.sol" || !entry.name.startsWith('#'))
            continue;
        if (!entry.name.startsWith("##")) {
            handle(siteItemName(entry.name.mid(1)), settingsFd, entry.name);
            continue;
        }
        const FileDescriptor sites = DirectoryListing::openFolderAt(settingsFd, entry.name);
        if (!sites.isOpen())
            continue;
        for (const DirectoryEntry& site : entriesOf(sites.get()))
            handle(siteItemName(site.name), sites.get(), site.name);
    }
}

// A shared-objects folder: folders of arbitrary names, each with one entry per site. In a
// browser's own folder, "macromedia.com" holds a settings folder instead.
void visitSharedObjects(int sharedObjectsFd, bool withSettings, const SiteItemHandler& handle)
{
    // The row starts with "macromedia.com" itself.
    const QByteArray settings =
        QFile::encodeName(BrowserFolders::entry(QString(), BrowserFolder::BrowserFlashSettings));
    for (const DirectoryEntry& random : entriesOf(sharedObjectsFd)) {
        const FileDescriptor folder = DirectoryListing::openFolderAt(sharedObjectsFd, random.name);
        if (!folder.isOpen())
            continue;
        for (const DirectoryEntry& entry : entriesOf(folder.get())) {
            if (entry.name.startsWith('.'))
                continue;
            if (withSettings && entry.name == "macromedia.com") {
                const FileDescriptor sys = DirectoryListing::openFolderAt(folder.get(), settings);
                if (sys.isOpen())
                    visitSettings(sys.get(), handle);
                continue;
            }
            handle(siteItemName(entry.name), folder.get(), entry.name);
        }
    }
}

FileDescriptor openRow(BrowserFolder folder)
{
    return DirectoryListing::openFolder(QFile::encodeName(BrowserFolders::path(QString(), folder)));
}

} // namespace

qint64 WorkerAppDelegate::removeFlash(const QString& browser, const KeepList& keep)
{
    return removeFlash(PassContext::forBrowser(browser, keep));
}

qint64 WorkerAppDelegate::removeFlash(const PassContext& context)
{
    const KeepList& keep = context.keep;
    if (keep.keepsEverySite)
        return 0;
    const SecureRemoval& removal = context.removal;
    QSet<QByteArray> removed;
    const SiteItemHandler handle = [&](const QByteArray& siteItem, int folderFd, const QByteArray& name) {
        if (!isSelected(siteItem, keep))
            return;
        removed.insert(siteItem);
        removal.removeAt(folderFd, name);
    };
    if (const FileDescriptor sharedObjects = openRow(BrowserFolder::FlashSharedObjects);
        sharedObjects.isOpen())
        visitSharedObjects(sharedObjects.get(), false, handle);
    if (const FileDescriptor settings = openRow(BrowserFolder::FlashSettings); settings.isOpen())
        visitSettings(settings.get(), handle);

    qint64 count = removed.size();
    if (const auto profileCounts = clearChromeFlash(context))
        count += profileCounts->value(1);
    return count;
}

std::optional<QList<qint64>> WorkerAppDelegate::clearChromeFlash(const QString& browser, const KeepList& keep)
{
    return clearChromeFlash(PassContext::forBrowser(browser, keep));
}

std::optional<QList<qint64>> WorkerAppDelegate::clearChromeFlash(const PassContext& context)
{
    // Only the browsers that keep Flash data in their profiles have a row for it.
    const QString flash = BrowserFolders::entry(context.browser, BrowserFolder::BrowserFlash);
    if (flash.isEmpty())
        return std::nullopt;
    const KeepList& keep = context.keep;
    const SecureRemoval& removal = context.removal;
    QSet<QByteArray> seen;
    QSet<QByteArray> selected;
    for (const BrowserProfile& profile : context.profiles) {
        // Items are told apart by their profile's folder: two locations may both have a "Default".
        const QByteArray profileFolder = QFile::encodeName(profile.folder);
        const SiteItemHandler handle = [&](const QByteArray& siteItem, int folderFd, const QByteArray& name) {
            const QByteArray item = profileFolder + ':' + siteItem;
            seen.insert(item);
            if (keep.keepsEverySite || !isSelected(siteItem, keep))
                return;
            selected.insert(item);
            removal.removeAt(folderFd, name);
        };
        const QString folder = BrowserFolders::appending(profile.folder, flash);
        if (const FileDescriptor sharedObjects = DirectoryListing::openFolder(QFile::encodeName(folder));
            sharedObjects.isOpen())
            visitSharedObjects(sharedObjects.get(), true, handle);
    }
    return QList<qint64>{seen.size(), selected.size()};
}
