#include "FileRemoval.h"

#include "worker/DirectoryListing.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace FileRemoval {

bool removeItem(const QString& path)
{
    return removeItem(QFile::encodeName(path));
}

bool removeItem(const QByteArray& path)
{
    QByteArray leaf;
    const FileDescriptor parent = DirectoryListing::openParent(path, &leaf);
    if (!parent.isOpen())
        return errno == ENOENT;
    return removeItemAt(parent.get(), leaf);
}

bool removeItemAt(int folderFd, const QByteArray& name)
{
    if (!DirectoryListing::isPlainName(name))
        return false; // "." or ".." would take the folder itself or its parent
    const auto type = DirectoryListing::typeAt(folderFd, name);
    if (!type)
        return errno == ENOENT;
    if (*type != DirectoryEntry::Type::Directory)
        return unlinkat(folderFd, name.constData(), 0) == 0 || errno == ENOENT;
    {
        const FileDescriptor folder = DirectoryListing::openFolderAt(folderFd, name);
        if (folder.isOpen()) {
            const auto entries = DirectoryListing::list(folder.get());
            for (const DirectoryEntry& entry : entries.value_or(QList<DirectoryEntry>()))
                removeItemAt(folder.get(), entry.name);
        }
    }
    return unlinkat(folderFd, name.constData(), AT_REMOVEDIR) == 0 || errno == ENOENT;
}

} // namespace FileRemoval
