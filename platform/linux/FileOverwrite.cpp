#include "platform/FileOverwrite.h"

#include "platform/FileDescriptor.h"
#include "platform/linux/SystemErrors.h"

#include <algorithm>
#include <array>
#include <climits>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

namespace {

// One pwritev call covers this many repetitions of the block (the system's limit on vectors): with
// the 1024-byte block that is 1 MiB per call.
constexpr int vectorsPerWrite = IOV_MAX;

// Only a regular file with a single name is ours to overwrite.
bool isOwnFile(const struct stat& info)
{
    return S_ISREG(info.st_mode) && info.st_nlink == 1;
}

bool sizeIs(int fd, off_t size)
{
    struct stat info;
    return fstat(fd, &info) == 0 && info.st_size == size;
}

// Writes the block repeatedly over [0, size). The size is checked before every write: a file that
// shrinks or grows meanwhile is not the file that was measured, and the pass stops. Only a
// truncation that falls between a check and its write can be followed by that one write (1 MiB at
// most) past the new end; nothing is ever written past the end that was measured.
bool writeRepeated(int fd, QByteArrayView block, off_t size)
{
    // Every vector points at the same block, so a file of any size needs no memory of its own.
    const qint64 blockSize = block.size();
    std::array<iovec, vectorsPerWrite> vectors;
    off_t offset = 0;
    while (offset < size) {
        if (!sizeIs(fd, size))
            return false;
        const qint64 offsetInBlock = offset % blockSize; // after a short write, resume mid-block
        int count = 0;
        qint64 planned = 0;
        while (count < vectorsPerWrite && offset + planned < size) {
            const qint64 start = count == 0 ? offsetInBlock : 0;
            const qint64 length = std::min<qint64>(blockSize - start, size - offset - planned);
            vectors[count].iov_base = const_cast<char*>(block.data() + start);
            vectors[count].iov_len = static_cast<size_t>(length);
            planned += length;
            ++count;
        }
        const ssize_t written = pwritev(fd, vectors.data(), count, offset);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        offset += written;
    }
    return true;
}

// Hands the written bytes to the device. Without it a file unlinked right after keeps its old
// bytes on the disk: the kernel drops the unwritten pages along with the file.
bool reachesDevice(int fd)
{
    int result;
    do
        result = fdatasync(fd);
    while (result != 0 && errno == EINTR);
    return result == 0;
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
    const bool written = writeRepeated(file.get(), block, info.st_size) && reachesDevice(file.get()) &&
                         sizeIs(file.get(), info.st_size);
    return file.close() && written ? FileResult::Done : FileResult::Failed;
}

} // namespace FileOverwrite
