#include "platform/FileOverwrite.h"

#include "platform/FileDescriptor.h"
#include "platform/linux/SystemErrors.h"

#include <algorithm>
#include <array>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

namespace {

// One writev call covers this many repetitions of the block.
constexpr int vectorsPerWrite = 64;

// Only a regular file with a single name is ours to overwrite.
bool isOwnFile(const struct stat& info)
{
    return S_ISREG(info.st_mode) && info.st_nlink == 1;
}

bool writeRepeated(int fd, QByteArrayView block, qint64 size)
{
    // Every vector points at the same block, so a file of any size needs no memory of its own.
    const qint64 blockSize = block.size();
    std::array<iovec, vectorsPerWrite> vectors;
    qint64 remaining = size;
    qint64 offsetInBlock = 0; // after a short write, the next write resumes mid-block
    while (remaining > 0) {
        int count = 0;
        qint64 planned = 0;
        while (count < vectorsPerWrite && planned < remaining) {
            const qint64 start = count == 0 ? offsetInBlock : 0;
            const qint64 length = std::min(blockSize - start, remaining - planned);
            vectors[count].iov_base = const_cast<char*>(block.data() + start);
            vectors[count].iov_len = static_cast<size_t>(length);
            planned += length;
            ++count;
        }
        const ssize_t written = writev(fd, vectors.data(), count);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        remaining -= written;
        offsetInBlock = (offsetInBlock + written) % blockSize;
    }
    return true;
}

} // namespace

namespace FileOverwrite {

FileResult overwriteAt(int folderFd, const QByteArray& name, QByteArrayView block)
{
    if (block.isEmpty())
        return FileResult::Failed;
    FileDescriptor file(
        openat(folderFd, name.constData(), O_RDWR | O_NOFOLLOW | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (!file.isOpen())
        return resultOfError(errno);
    struct stat info;
    if (fstat(file.get(), &info) != 0)
        return FileResult::Failed;
    if (!isOwnFile(info))
        return FileResult::Refused;
    const bool written = writeRepeated(file.get(), block, info.st_size);
    return file.close() && written ? FileResult::Done : FileResult::Failed;
}

} // namespace FileOverwrite
