#include "WorkerAppDelegate.h"

#include "platform/DirectoryListing.h"
#include "worker/BrowserFolders.h"
#include "worker/SecureRemoval.h"
#include "worker/WorkerExtras.h"

#include <QFile>
#include <QSet>

#include <cerrno>
#include <cstdio>
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

// Calls `visit` with each third-level folder C below the storage root and its path from the root.
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
                    visit(cFd.get(), a.name + '/' + b.name + '/' + c.name);
            }
        }
    }
}

// One store folder below "s" and what its files say.
struct Store
{
    QByteArray name;
    std::optional<QString> site; // nullopt: "id.dat" has no site name
    std::optional<QString> group;
};

// The stores of one third-level folder C, sorted before anything is removed.
struct Container
{
    QByteArray path; // below the storage root; opened again to clean, so that no folder stays open
    QList<Store> selected;
    QList<QByteArray> emptyStores; // what a removal cut short just before the folder itself left
    QSet<QString> keptGroups;      // the groups of the stores that stay
    bool everyGroupKnown = true;   // false when a store that stays has no readable "group.dat"
    bool entryStays = false;       // a store, a hidden or odd entry, or an unreadable "s" stays
};

// The name, beside it, that the Silverlight folder takes first when it goes whole, so that a removal
// killed half-way is recognised and finished by the next pass.
QByteArray removalName(const QByteArray& folder)
{
    return folder + ".veltrane-removed";
}

Container sortContainer(int containerFd, const QByteArray& path, const KeepList& keep)
{
    Container container;
    container.path = path;
    const FileDescriptor stores = DirectoryListing::openFolderAt(containerFd, "s");
    if (!stores.isOpen()) {
        container.entryStays = errno != ENOENT;
        container.everyGroupKnown = false;
        return container;
    }
    const auto entries = DirectoryListing::list(stores.get());
    if (!entries) {
        container.entryStays = true;
        container.everyGroupKnown = false;
        return container;
    }
    for (const DirectoryEntry& store : *entries) {
        const FileDescriptor storeFd = store.name.startsWith('.')
                                           ? FileDescriptor()
                                           : DirectoryListing::openFolderAt(stores.get(), store.name);
        if (storeFd.isOpen() &&
            DirectoryListing::list(storeFd.get()).value_or(QList<DirectoryEntry>{{}}).isEmpty()) {
            container.emptyStores.append(store.name);
            continue;
        }
        std::optional<QString> id;
        if (storeFd.isOpen())
            id = readStoreFile(storeFd.get(), "id.dat");
        // A store whose owner cannot be read is left alone: it may belong to a kept site.
        const auto site = id && !id->isEmpty() ? WorkerExtras::siteWithDomainName(*id) : std::nullopt;
        const bool selected = id && !id->isEmpty() && !(site && keep.keeps(*site));
        const auto group = storeFd.isOpen() ? readStoreFile(storeFd.get(), "group.dat") : std::nullopt;
        if (selected) {
            container.selected.append(Store{store.name, site, group});
            continue;
        }
        container.entryStays = true;
        if (group)
            container.keptGroups.insert(*group);
        else
            container.everyGroupKnown = false;
    }
    return container;
}

// Removes a store with its "id.dat" last, so that a store cut short is still known as its site's.
void removeStore(int storesFd, const QByteArray& name, const SecureRemoval& removal)
{
    const FileDescriptor storeFd = DirectoryListing::openFolderAt(storesFd, name);
    if (storeFd.isOpen()) {
        bool allGone = true;
        for (const DirectoryEntry& entry :
             DirectoryListing::list(storeFd.get()).value_or(QList<DirectoryEntry>())) {
            if (entry.name != "id.dat")
                allGone = isSettled(removal.removeAt(storeFd.get(), entry.name)) && allGone;
        }
        if (!allGone || !isSettled(removal.removeAt(storeFd.get(), "id.dat")))
            return;
    }
    removal.removeAt(storesFd, name);
}

// Removes the selected stores of one folder C, each after its group folder, and the group folders
// that no store names any more, unless a store that stays might name them.
void cleanContainer(int rootFd, const Container& container, const SecureRemoval& removal)
{
    const FileDescriptor containerFd = DirectoryListing::openFolderAt(rootFd, container.path);
    if (!containerFd.isOpen())
        return;
    const FileDescriptor groups = DirectoryListing::openFolderAt(containerFd.get(), "g");
    const FileDescriptor stores = DirectoryListing::openFolderAt(containerFd.get(), "s");
    for (const Store& store : container.selected) {
        // A group name read from a file is one plain component of "g", never a way out of it.
        if (store.group && groups.isOpen() && !container.keptGroups.contains(*store.group) &&
            DirectoryListing::isPlainName(QFile::encodeName(*store.group)))
            removal.removeAt(groups.get(), QFile::encodeName(*store.group));
        if (stores.isOpen())
            removeStore(stores.get(), store.name, removal);
    }
    for (const QByteArray& store : container.emptyStores) {
        if (stores.isOpen())
            removal.removeAt(stores.get(), store);
    }
    if (!groups.isOpen() || !container.everyGroupKnown)
        return;
    for (const DirectoryEntry& group : visibleEntries(groups.get())) {
        if (!container.keptGroups.contains(QFile::decodeName(group.name)) &&
            QFile::encodeName(QFile::decodeName(group.name)) == group.name)
            removal.removeAt(groups.get(), group.name);
    }
}

} // namespace

qint64 WorkerAppDelegate::removeSilverlight(const KeepList& keep)
{
    if (keep.keepsEverySite)
        return 0;
    const SecureRemoval removal = SecureRemoval::fromSettings();
    QByteArray folderName;
    const FileDescriptor parent = DirectoryListing::openParent(
        QFile::encodeName(BrowserFolders::path(QString(), BrowserFolder::SilverlightFolder)), &folderName);
    // What a whole-folder removal that was killed left.
    if (parent.isOpen())
        removal.removeAt(parent.get(), removalName(folderName));
    const FileDescriptor root = DirectoryListing::openFolder(
        QFile::encodeName(BrowserFolders::path(QString(), BrowserFolder::SilverlightStorage)));
    if (!root.isOpen())
        return 0;

    // Every store is judged before any goes, so that the whole folder can go in one rename when no
    // store is to stay anywhere.
    QList<Container> containers;
    forEachContainer(root.get(), [&](int containerFd, const QByteArray& path) {
        containers.append(sortContainer(containerFd, path, keep));
    });
    QSet<QString> removed;
    bool entryStays = false;
    for (const Container& container : std::as_const(containers)) {
        entryStays = entryStays || container.entryStays;
        for (const Store& store : container.selected)
            removed.insert(store.site.value_or(QString())); // stores without a site name count as one
    }
    if (!removed.isEmpty() && !entryStays && parent.isOpen() &&
        renameat(parent.get(), folderName.constData(), parent.get(), removalName(folderName).constData()) ==
            0) {
        removal.removeAt(parent.get(), removalName(folderName));
        return removed.size();
    }
    for (const Container& container : std::as_const(containers))
        cleanContainer(root.get(), container, removal);
    return removed.size();
}
