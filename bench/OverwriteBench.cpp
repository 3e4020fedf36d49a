// Overwrite speed: SecureDelete's three passes, each synced to the device, beside dd (bs=1M,
// conv=notrunc,fdatasync, three passes) and beside plain 1024-byte writes without a sync, on one
// 256 MiB file and on 2,000 files of 4 KiB, in one run. Measure on a disk, not on tmpfs, where a
// sync costs nothing.
//   OverwriteBench [folder on the disk to measure; default: the temporary folder]
#include "worker/SecureDelete.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <array>
#include <cstdio>
#include <fcntl.h>
#include <functional>
#include <unistd.h>

namespace {

constexpr qint64 largeSize = 256LL * 1024 * 1024;
constexpr int smallCount = 2000;
constexpr qint64 smallSize = 4096;

bool makeFile(const QString& path, qint64 size)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    const QByteArray chunk(1024 * 1024, 'x');
    for (qint64 left = size; left > 0; left -= chunk.size())
        file.write(chunk.constData(), std::min<qint64>(left, chunk.size()));
    return true;
}

double seconds(const QElapsedTimer& timer)
{
    return static_cast<double>(timer.nsecsElapsed()) / 1e9;
}

// dd over one file, three passes, each ended by an fdatasync as the secure passes are.
bool ddThreePasses(const QString& path, qint64 size)
{
    for (int pass = 0; pass < 3; ++pass) {
        const int result = QProcess::execute(
            QStringLiteral("dd"),
            {QStringLiteral("if=/dev/zero"), QStringLiteral("of=") + path, QStringLiteral("bs=1M"),
             QStringLiteral("count=%1").arg(size), QStringLiteral("iflag=count_bytes"),
             QStringLiteral("conv=notrunc,fdatasync"), QStringLiteral("status=none")});
        if (result != 0)
            return false;
    }
    return true;
}

// Three passes of 1024-byte writes, the way an overwrite without vectors goes.
bool smallWrites(const QString& path)
{
    std::array<char, 1024> block;
    block.fill(0x55);
    for (int pass = 0; pass < 3; ++pass) {
        const int fd = open(QFile::encodeName(path).constData(), O_RDWR);
        if (fd < 0)
            return false;
        const off_t size = lseek(fd, 0, SEEK_END);
        lseek(fd, 0, SEEK_SET);
        for (off_t left = size; left > 0;) {
            const ssize_t written = write(fd, block.data(), std::min<off_t>(left, 1024));
            if (written <= 0)
                break;
            left -= written;
        }
        close(fd);
    }
    return true;
}

double timed(const std::function<void()>& work)
{
    QElapsedTimer timer;
    timer.start();
    work();
    return seconds(timer);
}

void report(const char* what, double megabytes, double ours, double other, const char* otherName)
{
    std::printf("%-34s ours %8.1f MB/s   %-16s %8.1f MB/s   ours/other %5.2f\n", what, megabytes / ours,
                otherName, megabytes / other, other / ours);
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication application(argc, argv);
    const QString base = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QDir::tempPath();
    QTemporaryDir dir(base + QStringLiteral("/overwrite-bench-XXXXXX"));
    if (!dir.isValid())
        return 1;
    const QString large = dir.filePath(QStringLiteral("large"));
    if (!makeFile(large, largeSize))
        return 1;
    const QString small = dir.filePath(QStringLiteral("small"));
    QDir().mkpath(small);
    for (int i = 0; i < smallCount; ++i)
        makeFile(small + QStringLiteral("/f%1").arg(i), smallSize);

    // Three passes each, so every figure is three times the data's size.
    const double largeMegabytes = 3.0 * static_cast<double>(largeSize) / 1e6;
    const double smallMegabytes = 3.0 * static_cast<double>(smallSize) * smallCount / 1e6;
    sync();
    const double ddLarge = timed([&] { ddThreePasses(large, largeSize); });
    const double oursLarge = timed([&] { (void)SecureDelete::wipe(large); });
    const double writesLarge = timed([&] { smallWrites(large); });
    const double ddSmall = timed([&] {
        for (int i = 0; i < smallCount; ++i)
            ddThreePasses(small + QStringLiteral("/f%1").arg(i), smallSize);
    });
    const double oursSmall = timed([&] { (void)SecureDelete::wipe(small); });
    const double writesSmall = timed([&] {
        for (int i = 0; i < smallCount; ++i)
            smallWrites(small + QStringLiteral("/f%1").arg(i));
    });

    std::printf("folder: %s\n", qPrintable(base));
    report("256 MiB file, 3 passes", largeMegabytes, oursLarge, ddLarge, "dd fdatasync");
    report("256 MiB file, 3 passes", largeMegabytes, oursLarge, writesLarge, "1024 B, no sync");
    report("2,000 x 4 KiB files, 3 passes", smallMegabytes, oursSmall, ddSmall, "dd fdatasync");
    report("2,000 x 4 KiB files, 3 passes", smallMegabytes, oursSmall, writesSmall, "1024 B, no sync");
    std::printf("ours / dd with fdatasync: large file %.0f %%, small files %.0f %%\n",
                100.0 * ddLarge / oursLarge, 100.0 * ddSmall / oursSmall);
    return 0;
}
