#include "LockProbe.h"

#include "platform/FileDescriptor.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>

namespace LockProbe {

bool isLocked(const QByteArray& path)
{
    // Probing opens and closes a descriptor, which would drop any lock of this very process on the
    // file; callers probe before they open the store themselves.
    FileDescriptor file(open(path.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    if (!file.isOpen())
        return errno != ENOENT;
    struct stat info;
    if (fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode))
        return true;
    struct flock lock = {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    if (fcntl(file.get(), F_GETLK, &lock) != 0)
        return true;
    return lock.l_type != F_UNLCK;
}

} // namespace LockProbe
