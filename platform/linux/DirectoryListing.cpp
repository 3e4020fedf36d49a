#include "platform/DirectoryListing.h"

#include "platform/SystemRoot.h"
#include "platform/linux/SystemErrors.h"

#include <QDir>
#include <QFile>

#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

DirectoryEntry::Type typeFromMode(mode_t mode)
{
    if (S_ISREG(mode))
        return DirectoryEntry::Type::File;
    if (S_ISDIR(mode))
        return DirectoryEntry::Type::Directory;
    if (S_ISLNK(mode))
        return DirectoryEntry::Type::SymbolicLink;
    return DirectoryEntry::Type::Other;
}

DirectoryEntry::Type entryType(int dirFd, const dirent* item)
{
    switch (item->d_type) {
    case DT_REG:
        return DirectoryEntry::Type::File;
    case DT_DIR:
        return DirectoryEntry::Type::Directory;
    case DT_LNK:
        return DirectoryEntry::Type::SymbolicLink;
    case DT_UNKNOWN:
        break;
    default:
        return DirectoryEntry::Type::Other;
    }
    // Some file systems leave the type out of the listing.
    struct stat info;
    if (fstatat(dirFd, item->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0)
        return DirectoryEntry::Type::Other;
    return typeFromMode(info.st_mode);
}

bool isBelow(const QByteArray& path, const QByteArray& anchor)
{
    if (anchor.isEmpty() || !path.startsWith(anchor))
        return false;
    return path.size() == anchor.size() || anchor.endsWith('/') || path.at(anchor.size()) == '/';
}

// The longest trusted folder that `path` lies in.
QByteArray anchorOf(const QByteArray& path)
{
    QByteArray anchor("/");
    for (const QString& candidate : {QDir::homePath(), SystemRoot::prefix()}) {
        const QByteArray bytes = QFile::encodeName(QDir::cleanPath(candidate));
        if (bytes.size() > anchor.size() && isBelow(path, bytes))
            anchor = bytes;
    }
    return anchor;
}

} // namespace

QString DirectoryEntry::displayName() const
{
    return QFile::decodeName(name);
}

namespace DirectoryListing {

std::optional<QList<DirectoryEntry>> list(int folderFd)
{
    const int fd = fcntl(folderFd, F_DUPFD_CLOEXEC, 0);
    if (fd < 0)
        return std::nullopt;
    DIR* dir = fdopendir(fd);
    if (!dir) {
        close(fd);
        return std::nullopt;
    }
    // The copy shares its read position with the original, which may have been listed before.
    rewinddir(dir);
    QList<DirectoryEntry> entries;
    bool complete = true;
    for (;;) {
        errno = 0;
        const dirent* item = readdir(dir);
        if (!item) {
            complete = errno == 0;
            break;
        }
        const QByteArray name(item->d_name);
        if (name == "." || name == "..")
            continue;
        entries.append({name, entryType(dirfd(dir), item)});
    }
    closedir(dir);
    if (!complete)
        return std::nullopt;
    return entries;
}

std::optional<QList<DirectoryEntry>> list(const QByteArray& path)
{
    const FileDescriptor folder = openFolder(path);
    if (!folder.isOpen())
        return std::nullopt;
    return list(folder.get());
}

std::optional<QList<DirectoryEntry>> list(const QString& path)
{
    return list(QFile::encodeName(path));
}

FileDescriptor openFolderAt(int folderFd, const QByteArray& relativePath)
{
    QList<QByteArray> components = relativePath.split('/');
    components.removeIf([](const QByteArray& component) { return component.isEmpty() || component == "."; });
    FileDescriptor folder;
    int current = folderFd;
    for (qsizetype i = 0; i < components.size(); ++i) {
        if (components.at(i) == "..")
            return FileDescriptor(FileResult::Refused);
        // Folders on the way need only be passable; the last one is listed.
        const int access = i + 1 < components.size() ? O_PATH : O_RDONLY;
        folder = FileDescriptor(
            openat(current, components.at(i).constData(), access | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (!folder.isOpen())
            return FileDescriptor(resultOfError(errno));
        current = folder.get();
    }
    if (!folder.isOpen()) { // an empty relative path: the folder itself
        folder = FileDescriptor(fcntl(folderFd, F_DUPFD_CLOEXEC, 0));
        if (!folder.isOpen())
            return FileDescriptor(resultOfError(errno));
    }
    return folder;
}

FileDescriptor openFolder(const QByteArray& path)
{
    if (!path.startsWith('/'))
        return FileDescriptor(FileResult::Refused);
    const QByteArray anchor = anchorOf(path);
    const QByteArray below = path.mid(anchor.size());
    const QList<QByteArray> components = below.split('/');
    const bool isAnchor = std::all_of(components.begin(), components.end(), [](const QByteArray& component) {
        return component.isEmpty() || component == ".";
    });
    const FileDescriptor base(
        open(anchor.constData(), (isAnchor ? O_RDONLY : O_PATH) | O_DIRECTORY | O_CLOEXEC));
    if (!base.isOpen())
        return FileDescriptor(resultOfError(errno));
    return openFolderAt(base.get(), below);
}

FileDescriptor openParent(const QByteArray& path, QByteArray* leaf)
{
    QByteArray trimmed = path;
    while (trimmed.size() > 1 && trimmed.endsWith('/'))
        trimmed.chop(1);
    const qsizetype slash = trimmed.lastIndexOf('/');
    if (slash < 0)
        return FileDescriptor(FileResult::Refused);
    *leaf = trimmed.mid(slash + 1);
    if (leaf->isEmpty() || *leaf == "." || *leaf == "..")
        return FileDescriptor(FileResult::Refused);
    return openFolder(slash == 0 ? QByteArray("/") : trimmed.left(slash));
}

ItemLookup lookupAt(int folderFd, const QByteArray& name)
{
    struct stat info;
    if (fstatat(folderFd, name.constData(), &info, AT_SYMLINK_NOFOLLOW) != 0)
        return {resultOfError(errno), DirectoryEntry::Type::Other};
    return {FileResult::Done, typeFromMode(info.st_mode)};
}

std::optional<DirectoryEntry::Type> typeAt(int folderFd, const QByteArray& name)
{
    const ItemLookup lookup = lookupAt(folderFd, name);
    if (lookup.result != FileResult::Done)
        return std::nullopt;
    return lookup.type;
}

std::optional<DirectoryEntry::Type> typeOf(const QByteArray& path)
{
    QByteArray leaf;
    const FileDescriptor parent = openParent(path, &leaf);
    if (!parent.isOpen())
        return std::nullopt;
    return typeAt(parent.get(), leaf);
}

bool isPlainName(const QByteArray& name)
{
    return !name.isEmpty() && !name.contains('/') && !name.contains('\0') && name != "." && name != "..";
}

QByteArray appending(const QByteArray& base, const QByteArray& name)
{
    if (name.isEmpty())
        return base;
    if (base.endsWith('/'))
        return base + name;
    return base + '/' + name;
}

} // namespace DirectoryListing
