#include "platform/FileLock.h"

#include "platform/FileDescriptor.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>

namespace FileLock {

LockState state(const QString& path)
{
    // O_NONBLOCK: a FIFO in place of the lock file must not hold the pass up.
    const FileDescriptor file(
        open(QFile::encodeName(path).constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    if (!file.isOpen())
        return errno == ENOENT || errno == ENOTDIR ? LockState::Free : LockState::Unknown;
    struct stat info;
    if (fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode))
        return LockState::Unknown;
    // F_GETLK only asks; it takes no lock.
    struct flock lock = {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    if (fcntl(file.get(), F_GETLK, &lock) != 0)
        return LockState::Unknown;
    return lock.l_type == F_UNLCK ? LockState::Free : LockState::Held;
}

bool isHeldByAnotherProcess(const QString& path)
{
    return state(path) == LockState::Held;
}

} // namespace FileLock
