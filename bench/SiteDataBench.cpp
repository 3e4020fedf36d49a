// Times the local-storage step on a LevelDB database laid out as Chromium writes it (2,000 origins,
// 200,000 keys, 1,950 origins to remove) beside a plain `cp -r` of the same folder, each on fresh
// copies, and reports the step's peak memory (the step runs in a process of its own, started again
// from this program, so that its high-water mark is its own). "SiteDataBench N" makes the database N
// times as large, with the same 50 origins kept.
#include "worker/ChromeLocalStorage.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <leveldb/db.h>
#include <leveldb/write_batch.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// Scaled by the optional argument, to show that memory stays flat as the database grows.
int originCount = 2000;
int keyCount = 200000;
constexpr int keptCount = 50;
constexpr int repeats = 5;

QString siteName(int origin)
{
    return QStringLiteral("site%1.com").arg(origin);
}

KeepList keepList()
{
    KeepList keep;
    for (int origin = 0; origin < keptCount; ++origin)
        keep.sites.append(siteName(origin));
    return keep;
}

// Chromium's settings for this database: 64 KiB write buffer, so that many small tables build up.
bool build(const QString& folder)
{
    leveldb::Options options;
    options.create_if_missing = true;
    options.write_buffer_size = 64 * 1024;
    leveldb::DB* opened = nullptr;
    if (!leveldb::DB::Open(options, QFile::encodeName(folder).toStdString(), &opened).ok())
        return false;
    std::unique_ptr<leveldb::DB> db(opened);
    QRandomGenerator random(12345);
    const int keysPerOrigin = keyCount / originCount;
    if (!db->Put(leveldb::WriteOptions(), "VERSION", "1").ok())
        return false;
    for (int origin = 0; origin < originCount; ++origin) {
        const std::string storageKey = "https://www." + siteName(origin).toStdString();
        leveldb::WriteBatch batch;
        batch.Put("META:" + storageKey, "\x08\x01\x10\x80\x01");
        batch.Put("METAACCESS:" + storageKey, "\x08\x01");
        for (int key = 0; key < keysPerOrigin; ++key) {
            std::string value(1, '\1');
            for (int i = 0; i < 120; ++i)
                value.push_back(static_cast<char>('a' + random.bounded(26)));
            batch.Put("_" + storageKey + std::string(1, '\0') + "key" + std::to_string(key), value);
        }
        if (!db->Write(leveldb::WriteOptions(), &batch).ok())
            return false;
    }
    return true;
}

bool copyFolder(const QString& from, const QString& to)
{
    return QProcess::execute(QStringLiteral("cp"), {QStringLiteral("-r"), from, to}) == 0;
}

struct Run
{
    double seconds = 0;
    double peakMiB = 0;
    qint64 removed = -1;
};

// Runs this program again in `mode` on `folder`.
Run runChild(const char* mode, const QString& folder)
{
    int pipeFds[2];
    if (pipe(pipeFds) != 0)
        return {};
    const QByteArray self = QFile::encodeName(QCoreApplication::applicationFilePath());
    const QByteArray path = QFile::encodeName(folder);
    QElapsedTimer timer;
    timer.start();
    const pid_t child = fork();
    if (child == 0) {
        dup2(pipeFds[1], STDOUT_FILENO);
        execl(self.constData(), self.constData(), mode, path.constData(), static_cast<char*>(nullptr));
        _exit(127);
    }
    close(pipeFds[1]);
    char buffer[64] = {};
    const ssize_t length = read(pipeFds[0], buffer, sizeof buffer - 1);
    close(pipeFds[0]);
    int status = 0;
    rusage usage{};
    wait4(child, &status, 0, &usage);
    Run run;
    run.seconds = static_cast<double>(timer.nsecsElapsed()) / 1e9;
    run.peakMiB = static_cast<double>(usage.ru_maxrss) / 1024.0;
    run.removed = length > 0 ? QByteArray(buffer, length).trimmed().toLongLong() : -1;
    return run;
}

double median(QList<double> values)
{
    std::sort(values.begin(), values.end());
    return values.at(values.size() / 2);
}

qint64 folderSize(const QString& folder)
{
    qint64 size = 0;
    for (const QFileInfo& file : QDir(folder).entryInfoList(QDir::Files))
        size += file.size();
    return size;
}

} // namespace

int main(int argc, char* argv[])
{
    // Child modes: the step itself, and an empty run for the program's own baseline.
    if (argc == 3 && (qstrcmp(argv[1], "--step") == 0 || qstrcmp(argv[1], "--secure-step") == 0)) {
        const bool secure = qstrcmp(argv[1], "--secure-step") == 0;
        const qint64 removed = ChromeLocalStorage::cleanLevelDb(QString::fromLocal8Bit(argv[2]), keepList(),
                                                                SecureRemoval(secure));
        std::printf("%lld\n", static_cast<long long>(removed));
        return 0;
    }
    if (argc == 3 && qstrcmp(argv[1], "--baseline") == 0) {
        std::printf("0\n");
        return 0;
    }
    QCoreApplication application(argc, argv);
    const int scale = argc == 2 ? std::max(1, QByteArray(argv[1]).toInt()) : 1;
    originCount *= scale;
    keyCount *= scale;
    QTemporaryDir dir(QDir::tempPath() + QStringLiteral("/sitedata-bench-XXXXXX"));
    const QString source = dir.filePath(QStringLiteral("leveldb"));
    QElapsedTimer timer;
    timer.start();
    if (!build(source)) {
        std::fprintf(stderr, "could not build the database\n");
        return 1;
    }
    std::printf("database: %d origins, %d keys, %.1f MiB in %lld files, built in %.1f s; %d origins kept\n",
                originCount, keyCount, static_cast<double>(folderSize(source)) / (1024.0 * 1024.0),
                static_cast<long long>(QDir(source).entryList(QDir::Files).size()),
                static_cast<double>(timer.elapsed()) / 1000.0, keptCount);

    QList<double> copies;
    QList<double> steps;
    QList<double> peaks;
    qint64 removed = -1;
    for (int round = 0; round < repeats; ++round) {
        const QString copy = dir.filePath(QStringLiteral("copy%1").arg(round));
        timer.restart();
        if (!copyFolder(source, copy))
            return 1;
        copies.append(static_cast<double>(timer.nsecsElapsed()) / 1e9);
        const Run run = runChild("--step", copy);
        steps.append(run.seconds);
        peaks.append(run.peakMiB);
        removed = run.removed;
        QDir(copy).removeRecursively();
    }
    const QString copy = dir.filePath(QStringLiteral("secure"));
    if (!copyFolder(source, copy))
        return 1;
    const Run secure = runChild("--secure-step", copy);
    const Run baseline = runChild("--baseline", copy);

    std::printf("cp -r of the folder          median %7.3f s\n", median(copies));
    std::printf("local-storage step           median %7.3f s   (%.1fx the copy)   origins removed %lld\n",
                median(steps), median(steps) / median(copies), static_cast<long long>(removed));
    std::printf("  with secure deletion       %7.3f s\n", secure.seconds);
    std::printf("peak memory: step %.1f MiB, secure step %.1f MiB, the same program doing nothing %.1f MiB\n",
                median(peaks), secure.peakMiB, baseline.peakMiB);
    return 0;
}
