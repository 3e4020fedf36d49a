#include "WorkerAppDelegate.h"

#include "platform/DirectoryListing.h"
#include "worker/BrowserFolders.h"
#include "worker/SecureRemoval.h"
#include "worker/WorkerExtras.h"

#include <QFile>
#include <QSet>

#include <fcntl.h>
#include <unistd.h>

namespace {

// id.dat and group.dat hold a short name; anything longer is not one.
constexpr qsizetype storeFileLimit = 64 * 1024;

QList<DirectoryEntry> visibleEntries(int folderFd)
{
    QList<DirectoryEntry> entries = DirectoryListing::list(folderFd).value_or(QList<DirectoryEntry>());
    entries.removeIf([](const DirectoryEntry& entry) { return entry.name.startsWith('.'); });
    return entries;
}

// The text of a small file of the store, read without following a link; nullopt when unreadable.
std::optional<QString> readStoreFile(int storeFd, const char* name)
{
    if (DirectoryListing::typeAt(storeFd, name) != DirectoryEntry::Type::File)
        return std::nullopt;
    const FileDescriptor file(openat(storeFd, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (!file.isOpen())
        return std::nullopt;
    QByteArray text;
    char buffer[4096];
    for (;;) {
        const ssize_t count = read(file.get(), buffer, sizeof buffer);
        if (count < 0)
            return std::nullopt;
        if (count == 0)
            break;
        text.append(buffer, count);
        if (text.size() > storeFileLimit)
            return std::nullopt;
    }
    return QString::fromUtf8(text);
}

// Calls `visit` with each third-level folder C below the storage root.
template <typename Visit> void forEachContainer(int rootFd, Visit visit)
{
    for (const DirectoryEntry& a : visibleEntries(rootFd)) {
        const FileDescriptor aFd = DirectoryListing::openFolderAt(rootFd, a.name);
        if (!aFd.isOpen())
            continue;
        for (const DirectoryEntry& b : visibleEntries(aFd.get())) {
            const FileDescriptor bFd = DirectoryListing::openFolderAt(aFd.get(), b.name);
            if (!bFd.isOpen())
                continue;
            for (const DirectoryEntry& c : visibleEntries(bFd.get())) {
                const FileDescriptor cFd = DirectoryListing::openFolderAt(bFd.get(), c.name);
                if (cFd.isOpen())
                    visit(cFd.get());
            }
        }
    }
}

} // namespace

qint64 WorkerAppDelegate::removeSilverlight(const KeepList& keep)
{
    if (keep.keepsEverySite)
        return 0;
    const SecureRemoval removal = SecureRemoval::fromSettings();
    const FileDescriptor root = DirectoryListing::openFolder(
        QFile::encodeName(BrowserFolders::path(QString(), BrowserFolder::SilverlightStorage)));
    if (!root.isOpen())
        return 0;

    QSet<QString> removed;
    forEachContainer(root.get(), [&](int containerFd) {
        const FileDescriptor stores = DirectoryListing::openFolderAt(containerFd, "s");
        if (!stores.isOpen())
            return;
        for (const DirectoryEntry& store : visibleEntries(stores.get())) {
            const FileDescriptor storeFd = DirectoryListing::openFolderAt(stores.get(), store.name);
            if (!storeFd.isOpen())
                continue;
            // A store whose owner cannot be read is left alone: it may belong to a kept site.
            const auto id = readStoreFile(storeFd.get(), "id.dat");
            if (!id || id->isEmpty())
                continue;
            const auto site = WorkerExtras::siteWithDomainName(*id);
            if (site && keep.keeps(*site))
                continue;
            // A group name read from a file is one plain component of "g", never a way out of it.
            const auto group = readStoreFile(storeFd.get(), "group.dat");
            removed.insert(site.value_or(QString())); // stores without a site name count as one
            removal.removeAt(stores.get(), store.name);
            if (!group || !DirectoryListing::isPlainName(QFile::encodeName(*group)))
                continue;
            if (const FileDescriptor groups = DirectoryListing::openFolderAt(containerFd, "g");
                groups.isOpen())
                removal.removeAt(groups.get(), QFile::encodeName(*group));
        }
    });
    if (removed.isEmpty())
        return 0;

    // The whole folder goes only when no store is left anywhere, so no kept store goes with it.
    bool storeLeft = false;
    forEachContainer(root.get(), [&](int containerFd) {
        const FileDescriptor stores = DirectoryListing::openFolderAt(containerFd, "s");
        if (stores.isOpen() &&
            !DirectoryListing::list(stores.get()).value_or(QList<DirectoryEntry>{{}}).isEmpty())
            storeLeft = true;
    });
    if (!storeLeft)
        removal.remove(BrowserFolders::path(QString(), BrowserFolder::SilverlightFolder));
    return removed.size();
}
