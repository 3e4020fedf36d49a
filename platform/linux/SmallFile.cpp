#include "platform/SmallFile.h"

#include "platform/FileDescriptor.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace SmallFile {

std::optional<QByteArray> readAt(int folderFd, const QByteArray& name, qint64 limit)
{
    FileDescriptor file(
        openat(folderFd, name.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    if (!file.isOpen())
        return std::nullopt;
    struct stat info;
    if (fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode) || info.st_size > limit)
        return std::nullopt;
    QByteArray content(static_cast<qsizetype>(info.st_size), Qt::Uninitialized);
    qsizetype done = 0;
    while (done < content.size()) {
        const ssize_t count =
            read(file.get(), content.data() + done, static_cast<size_t>(content.size() - done));
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0)
            return std::nullopt; // an error, or the file shrank while being read
        done += count;
    }
    return content;
}

} // namespace SmallFile
