#include "worker/SecureDelete.h"
#include "Sandbox.h"
#include "platform/DirectoryListing.h"
#include "worker/SecureRemoval.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTest>

#include <atomic>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

QByteArray contentsOf(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

bool write(const QString& path, const QByteArray& contents)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(contents) == contents.size();
}

// Runs wipe() as a user that may not write `path`'s read-only file; root may write any file.
bool wipeAsUnprivileged(const Sandbox& sandbox, const QString& path)
{
    if (geteuid() != 0)
        return SecureDelete::wipe(path);
    const passwd* nobody = getpwnam("nobody");
    if (!nobody)
        return true; // reported by the caller as a failed expectation
    // The sandbox, and nothing above it, must be passable for that user.
    const QString top = QFileInfo(sandbox.home()).absolutePath();
    for (QString folder = path; folder.startsWith(top); folder = QFileInfo(folder).absolutePath())
        chmod(QFile::encodeName(folder).constData(), 0755);
    const pid_t child = fork();
    if (child == 0) {
        if (setgid(nobody->pw_gid) != 0 || setuid(nobody->pw_uid) != 0)
            _exit(2);
        _exit(SecureDelete::wipe(path) ? 0 : 1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return !(WIFEXITED(status) && WEXITSTATUS(status) == 1);
}

} // namespace

class SecureDeleteTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void emptyFileStaysEmpty()
    {
        Sandbox sandbox;
        const QString path = sandbox.homePath(QStringLiteral("empty"));
        QVERIFY(write(path, QByteArray()));
        QVERIFY(SecureDelete::wipe(path));
        QVERIFY(QFileInfo::exists(path));
        QCOMPARE(QFileInfo(path).size(), 0);
    }

    void eachPassCoversTheFileAndKeepsItsSize()
    {
        Sandbox sandbox;
        const QString path = sandbox.homePath(QStringLiteral("data"));
        QVERIFY(write(path, QByteArray(2500, 'x')));
        QVERIFY(SecureDelete::wipe(path, 1));
        QCOMPARE(contentsOf(path), QByteArray(2500, '\x55'));
        QVERIFY(SecureDelete::wipe(path, 2));
        QCOMPARE(contentsOf(path), QByteArray(2500, '\xAA'));
        QVERIFY(SecureDelete::wipe(path, 3));
        const QByteArray random = contentsOf(path);
        QCOMPARE(random.size(), 2500);
        const QByteArray block = random.left(1024);
        QCOMPARE(random, block + block + block.left(452));
        QVERIFY(!random.contains('\xFF'));
        QVERIFY(block.count(block.at(0)) < 1024); // not one repeated byte

        // A fresh seed each time: two third passes give different blocks.
        QVERIFY(SecureDelete::wipe(path, 3));
        QVERIFY(contentsOf(path).left(1024) != block);

        QVERIFY(!SecureDelete::wipe(path, 0));
        QVERIFY(!SecureDelete::wipe(path, 4));
        QCOMPARE(contentsOf(path).size(), 2500);
    }

    void largeFileOverwrittenToItsEnd()
    {
        Sandbox sandbox;
        const QString path = sandbox.homePath(QStringLiteral("large"));
        const qint64 size = 3 * 1024 * 1024 + 17;
        QVERIFY(write(path, QByteArray(size, '\xFF')));
        QVERIFY(SecureDelete::wipeContentsofDir(path));
        const QByteArray after = contentsOf(path);
        QCOMPARE(after.size(), size);
        QVERIFY(!after.contains('\xFF'));
    }

    // A file that another writer shrinks or extends while it is overwritten is not the file that
    // was measured: the wipe fails (the caller leaves it) and never writes past the end it measured.
    void fileThatChangesSizeMeanwhileFailsTheWipe_data()
    {
        QTest::addColumn<qint64>("newSize");
        QTest::newRow("shrinks") << qint64(1000);
        QTest::newRow("grows") << qint64(64 * 1024 * 1024 + 4096);
    }

    void fileThatChangesSizeMeanwhileFailsTheWipe()
    {
        QFETCH(qint64, newSize);
        Sandbox sandbox;
        const QString path = sandbox.homePath(QStringLiteral("changing"));
        QVERIFY(write(path, QByteArray(64 * 1024 * 1024, 'x')));
        const QByteArray file = QFile::encodeName(path);
        std::atomic<bool> resized = false;
        std::atomic<bool> finished = false;
        // Resizes the file as soon as the first pass has begun.
        std::thread writer([&] {
            const int fd = open(file.constData(), O_RDWR | O_CLOEXEC);
            char first = 'x';
            while (fd >= 0 && pread(fd, &first, 1, 0) == 1 && first == 'x' && !finished) {
            }
            resized = fd >= 0 && !finished && ftruncate(fd, newSize) == 0;
            if (fd >= 0)
                close(fd);
        });
        const bool wiped = SecureDelete::wipe(path);
        finished = true;
        writer.join();
        QVERIFY(resized);
        QVERIFY(!wiped);
        const qint64 original = 64 * 1024 * 1024;
        if (newSize > original)
            QCOMPARE(QFileInfo(path).size(), newSize);
        else // a write already under way when the file was cut may land past the cut, never past the old end
            QVERIFY(QFileInfo(path).size() <= original);
    }

    void folderTreeOverwrittenFoldersKept()
    {
        Sandbox sandbox;
        const QString top = sandbox.homePath(QStringLiteral("tree"));
        QVERIFY(write(top + QStringLiteral("/a"), "first"));
        QVERIFY(write(top + QStringLiteral("/sub/.hidden"), "second"));
        QVERIFY(write(top + QStringLiteral("/sub/deeper/b\xc3\xa9'\n"), "third"));
        QVERIFY(QDir().mkpath(top + QStringLiteral("/emptyFolder")));
        QVERIFY(SecureDelete::wipe(top));
        for (const QString& file : {QStringLiteral("/a"), QStringLiteral("/sub/.hidden"),
                                    QStringLiteral("/sub/deeper/b\xc3\xa9'\n")}) {
            const QByteArray after = contentsOf(top + file);
            QVERIFY2(after != "first" && after != "second" && after != "third", qPrintable(file));
            QVERIFY(!after.contains('\xFF'));
        }
        QVERIFY(QFileInfo(top + QStringLiteral("/emptyFolder")).isDir());
    }

    void nothingThereIsSuccess()
    {
        Sandbox sandbox;
        QVERIFY(SecureDelete::wipe(sandbox.homePath(QStringLiteral("missing"))));
        QVERIFY(SecureDelete::wipe(sandbox.homePath(QStringLiteral("missing/deeper"))));
        QVERIFY(SecureDelete::wipeContentsofDir(sandbox.homePath(QStringLiteral("missing"))));
    }

    void linksAndHardLinksAreNeverWrittenThrough()
    {
        Sandbox sandbox;
        const QString outside = sandbox.homePath(QStringLiteral("outside.txt"));
        const QString outsideFolder = sandbox.homePath(QStringLiteral("outsideFolder"));
        const QString shared = sandbox.homePath(QStringLiteral("shared.txt"));
        QVERIFY(write(outside, "keep me"));
        QVERIFY(write(outsideFolder + QStringLiteral("/inner"), "keep me too"));
        QVERIFY(write(shared, "two names"));
        const QString tree = sandbox.homePath(QStringLiteral("tree"));
        QVERIFY(write(tree + QStringLiteral("/own"), "mine"));
        QVERIFY(QFile::link(outside, tree + QStringLiteral("/fileLink")));
        QVERIFY(QFile::link(outsideFolder, tree + QStringLiteral("/folderLink")));
        QCOMPARE(::link(QFile::encodeName(shared).constData(),
                        QFile::encodeName(tree + QStringLiteral("/hardLink")).constData()),
                 0);

        QVERIFY(SecureDelete::wipe(tree));
        QVERIFY(SecureDelete::wipe(tree + QStringLiteral("/fileLink")));
        QVERIFY(SecureDelete::wipe(tree + QStringLiteral("/fileLink"), 1));
        QVERIFY(contentsOf(tree + QStringLiteral("/own")) != "mine");
        QCOMPARE(contentsOf(outside), QByteArray("keep me"));
        QCOMPARE(contentsOf(outsideFolder + QStringLiteral("/inner")), QByteArray("keep me too"));
        QCOMPARE(contentsOf(shared), QByteArray("two names"));

        // Removal takes the links themselves, never what they point to.
        QCOMPARE(SecureRemoval(true).remove(tree), FileResult::Done);
        QVERIFY(!QFileInfo::exists(tree));
        QCOMPARE(contentsOf(outside), QByteArray("keep me"));
        QCOMPARE(contentsOf(outsideFolder + QStringLiteral("/inner")), QByteArray("keep me too"));
        QCOMPARE(contentsOf(shared), QByteArray("two names"));
    }

    void linkInThePathIsNotFollowed()
    {
        Sandbox sandbox;
        const QString outsideFolder = sandbox.homePath(QStringLiteral("outsideFolder"));
        QVERIFY(write(outsideFolder + QStringLiteral("/Cache/file"), "keep"));
        QVERIFY(QDir().mkpath(sandbox.homePath(QStringLiteral("Library"))));
        QVERIFY(QFile::link(outsideFolder, sandbox.homePath(QStringLiteral("Library/Caches"))));
        const QString target = sandbox.homePath(QStringLiteral("Library/Caches/Cache"));
        QVERIFY(!SecureDelete::wipe(target));
        QCOMPARE(SecureRemoval(false).remove(target), FileResult::Refused);
        QCOMPARE(contentsOf(outsideFolder + QStringLiteral("/Cache/file")), QByteArray("keep"));
    }

    void readOnlyFileStopsTheWipeAndTheRemoval()
    {
        Sandbox sandbox;
        const QString tree = sandbox.homePath(QStringLiteral("tree"));
        for (int i = 0; i < 6; ++i)
            QVERIFY(write(tree + QStringLiteral("/file%1").arg(i), "original"));
        QVERIFY(QFile::setPermissions(tree + QStringLiteral("/file3"),
                                      QFileDevice::ReadOwner | QFileDevice::ReadOther));
        for (int i = 0; i < 6; ++i) {
            if (i != 3)
                QVERIFY(QFile::setPermissions(tree + QStringLiteral("/file%1").arg(i),
                                              QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                  QFileDevice::ReadOther | QFileDevice::WriteOther));
        }
        QVERIFY(!wipeAsUnprivileged(sandbox, tree));

        // Files listed after the read-only one are untouched; the ones before were overwritten.
        const auto entries = DirectoryListing::list(tree);
        QVERIFY(entries);
        bool afterReadOnly = false;
        for (const DirectoryEntry& entry : *entries) {
            const QByteArray contents = contentsOf(tree + QLatin1Char('/') + entry.displayName());
            if (entry.name == "file3") {
                afterReadOnly = true;
                QCOMPARE(contents, QByteArray("original"));
            } else {
                QCOMPARE(contents == "original", afterReadOnly);
            }
        }
    }

    void unreadableFolderFailsTheWipe()
    {
        Sandbox sandbox;
        const QString tree = sandbox.homePath(QStringLiteral("tree"));
        QVERIFY(write(tree + QStringLiteral("/locked/file"), "original"));
        QVERIFY(QFile::setPermissions(tree + QStringLiteral("/locked"), QFileDevice::WriteOwner));
        QVERIFY(!wipeAsUnprivileged(sandbox, tree));
        QVERIFY(QFile::setPermissions(tree + QStringLiteral("/locked"), QFileDevice::ReadOwner |
                                                                            QFileDevice::WriteOwner |
                                                                            QFileDevice::ExeOwner));
        QCOMPARE(contentsOf(tree + QStringLiteral("/locked/file")), QByteArray("original"));
    }

    void removalRule()
    {
        Sandbox sandbox;
        const QString file = sandbox.homePath(QStringLiteral("plain"));
        QVERIFY(write(file, "x"));
        QCOMPARE(SecureRemoval(false).remove(file), FileResult::Done);
        QVERIFY(!QFileInfo::exists(file));
        QCOMPARE(SecureRemoval(true).remove(file), FileResult::NothingThere);
        const QString tree = sandbox.homePath(QStringLiteral("tree"));
        QVERIFY(write(tree + QStringLiteral("/a/b/c"), "deep"));
        QCOMPARE(SecureRemoval(true).remove(tree), FileResult::Done);
        QVERIFY(!QFileInfo::exists(tree));
    }
};

QTEST_GUILESS_MAIN(SecureDeleteTest)
#include "SecureDeleteTest.moc"
