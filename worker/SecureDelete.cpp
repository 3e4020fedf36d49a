#include "SecureDelete.h"

#include "worker/DirectoryListing.h"

#include <QFile>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

namespace {

constexpr qint64 blockSize = 1024;
// One writev call covers this many repetitions of the block.
constexpr int vectorsPerWrite = 64;

// Only a regular file with a single name is ours to overwrite.
bool isOwnFile(const struct stat& info)
{
    return S_ISREG(info.st_mode) && info.st_nlink == 1;
}

void seedFromSystem()
{
    unsigned int seed = 0;
    if (getrandom(&seed, sizeof seed, 0) != static_cast<ssize_t>(sizeof seed))
        seed = static_cast<unsigned int>(time(nullptr)) ^ static_cast<unsigned int>(getpid());
    srandom(seed);
}

} // namespace

bool SecureDelete::wipe(const QString& path)
{
    return wipe(QFile::encodeName(path));
}

bool SecureDelete::wipe(const QByteArray& path)
{
    QByteArray leaf;
    const FileDescriptor parent = DirectoryListing::openParent(path, &leaf);
    if (!parent.isOpen())
        return errno == ENOENT; // nothing there is nothing to overwrite
    return wipeAt(parent.get(), leaf);
}

bool SecureDelete::wipeAt(int folderFd, const QByteArray& name)
{
    if (!DirectoryListing::isPlainName(name))
        return false;
    const auto type = DirectoryListing::typeAt(folderFd, name);
    if (!type)
        return errno == ENOENT;
    if (*type == DirectoryEntry::Type::Directory) {
        const FileDescriptor folder = DirectoryListing::openFolderAt(folderFd, name);
        if (!folder.isOpen())
            return errno == ENOENT;
        return wipeFolder(folder.get());
    }
    if (*type == DirectoryEntry::Type::File)
        return wipeFileAt(folderFd, name);
    return true;
}

bool SecureDelete::wipeContentsofDir(const QString& path)
{
    QByteArray leaf;
    const FileDescriptor parent = DirectoryListing::openParent(QFile::encodeName(path), &leaf);
    if (!parent.isOpen())
        return errno == ENOENT;
    return wipeFileAt(parent.get(), leaf);
}

bool SecureDelete::wipe(const QString& path, int phase)
{
    if (phase < 1 || phase > 3)
        return false;
    QByteArray leaf;
    const FileDescriptor parent = DirectoryListing::openParent(QFile::encodeName(path), &leaf);
    return parent.isOpen() && passAt(parent.get(), leaf, phase);
}

bool SecureDelete::wipeFolder(int folderFd)
{
    const auto entries = DirectoryListing::list(folderFd);
    if (!entries)
        return false;
    for (const DirectoryEntry& entry : *entries) {
        if (entry.type == DirectoryEntry::Type::Directory) {
            const FileDescriptor folder = DirectoryListing::openFolderAt(folderFd, entry.name);
            if (!folder.isOpen()) {
                if (errno == ENOENT)
                    continue; // vanished meanwhile
                return false;
            }
            if (!wipeFolder(folder.get()))
                return false;
        } else if (entry.type == DirectoryEntry::Type::File) {
            if (!wipeFileAt(folderFd, entry.name))
                return false;
        }
    }
    return true;
}

bool SecureDelete::wipeFileAt(int folderFd, const QByteArray& name)
{
    struct stat info;
    if (fstatat(folderFd, name.constData(), &info, AT_SYMLINK_NOFOLLOW) != 0)
        return errno == ENOENT;
    if (!isOwnFile(info))
        return true;
    for (int phase = 1; phase <= 3; ++phase) {
        if (!passAt(folderFd, name, phase))
            return false;
    }
    return true;
}

bool SecureDelete::passAt(int folderFd, const QByteArray& name, int phase)
{
    std::array<char, blockSize> block;
    if (!fillBlock(block.data(), phase))
        return false;
    FileDescriptor file(
        openat(folderFd, name.constData(), O_RDWR | O_NOFOLLOW | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (!file.isOpen())
        return errno == ELOOP; // a link is nothing to overwrite
    struct stat info;
    if (fstat(file.get(), &info) != 0)
        return false;
    if (!isOwnFile(info))
        return true;
    const bool written = writeRepeated(file.get(), block.data(), info.st_size);
    return file.close() && written;
}

bool SecureDelete::fillBlock(char* block, int phase)
{
    switch (phase) {
    case 1:
        std::memset(block, 0x55, blockSize);
        return true;
    case 2:
        std::memset(block, 0xAA, blockSize);
        return true;
    case 3:
        seedFromSystem();
        // Modulo 255, so that no byte is ever 0xFF.
        for (qint64 i = 0; i < blockSize; ++i)
            block[i] = static_cast<char>(random() % 255);
        return true;
    default:
        return false;
    }
}

bool SecureDelete::writeRepeated(int fd, const char* block, qint64 size)
{
    // Every vector points at the same block, so a file of any size needs no memory of its own.
    std::array<iovec, vectorsPerWrite> vectors;
    qint64 remaining = size;
    qint64 offsetInBlock = 0; // after a short write, the next write resumes mid-block
    while (remaining > 0) {
        int count = 0;
        qint64 planned = 0;
        while (count < vectorsPerWrite && planned < remaining) {
            const qint64 start = count == 0 ? offsetInBlock : 0;
            const qint64 length = std::min(blockSize - start, remaining - planned);
            vectors[count].iov_base = const_cast<char*>(block + start);
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
