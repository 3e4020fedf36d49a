#include "platform/FileLock.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace FileLock {

bool isHeldByAnotherProcess(const QString& path)
{
    // O_NONBLOCK: a FIFO in place of the lock file must not hold the pass up.
    const int fd = open(QFile::encodeName(path).constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat info;
    bool held = false;
    if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
        // F_GETLK only asks: it takes no lock of ours, so closing the descriptor drops nothing.
        struct flock lock = {};
        lock.l_type = F_WRLCK;
        lock.l_whence = SEEK_SET;
        lock.l_start = 0;
        lock.l_len = 0;
        held = fcntl(fd, F_GETLK, &lock) == 0 && lock.l_type != F_UNLCK;
    }
    close(fd);
    return held;
}

} // namespace FileLock
