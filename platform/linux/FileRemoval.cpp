#include "platform/FileRemoval.h"

#include "platform/DirectoryListing.h"
#include "platform/linux/SystemErrors.h"

#include <QFile>

#include <fcntl.h>
#include <unistd.h>

namespace {

FileResult unlinked(int folderFd, const QByteArray& name, int flags)
{
    if (unlinkat(folderFd, name.constData(), flags) == 0)
        return FileResult::Done;
    return errno == ENOENT ? FileResult::NothingThere : FileResult::Failed;
}

} // namespace

namespace FileRemoval {

FileResult removeItem(const QString& path)
{
    return removeItem(QFile::encodeName(path));
}

FileResult removeItem(const QByteArray& path)
{
    QByteArray leaf;
    const FileDescriptor parent = DirectoryListing::openParent(path, &leaf);
    if (!parent.isOpen())
        return parent.result();
    return removeItemAt(parent.get(), leaf);
}

FileResult removeItemAt(int folderFd, const QByteArray& name)
{
    if (!DirectoryListing::isPlainName(name))
        return FileResult::Refused; // "." or ".." would take the folder itself or its parent
    const DirectoryListing::ItemLookup item = DirectoryListing::lookupAt(folderFd, name);
    if (item.result != FileResult::Done)
        return item.result;
    if (item.type != DirectoryEntry::Type::Directory)
        return unlinked(folderFd, name, 0);
    {
        const FileDescriptor folder = DirectoryListing::openFolderAt(folderFd, name);
        if (folder.isOpen()) {
            const auto entries = DirectoryListing::list(folder.get());
            for (const DirectoryEntry& entry : entries.value_or(QList<DirectoryEntry>()))
                (void)removeItemAt(folder.get(), entry.name);
        }
    }
    return unlinked(folderFd, name, AT_REMOVEDIR);
}

} // namespace FileRemoval
