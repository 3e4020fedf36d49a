#include "DirectoryListing.h"

#include <QFile>

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

DirectoryEntry::Type typeOf(int dirFd, const dirent* item)
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

} // namespace

QString DirectoryEntry::displayName() const
{
    return QFile::decodeName(name);
}

namespace DirectoryListing {

std::optional<QList<DirectoryEntry>> list(const QByteArray& path)
{
    const int fd = open(path.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    DIR* dir = fdopendir(fd);
    if (!dir) {
        close(fd);
        return std::nullopt;
    }
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
        entries.append({name, typeOf(dirfd(dir), item)});
    }
    closedir(dir);
    if (!complete)
        return std::nullopt;
    return entries;
}

std::optional<QList<DirectoryEntry>> list(const QString& path)
{
    return list(QFile::encodeName(path));
}

} // namespace DirectoryListing
