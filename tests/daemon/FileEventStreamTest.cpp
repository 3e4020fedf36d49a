#include "platform/FileEventStream.h"
#include "Sandbox.h"

#include <QDir>
#include <QFile>
#include <QTest>

namespace {

bool touch(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Append) && file.write("x") == 1;
}

} // namespace

class FileEventStreamTest : public QObject
{
    Q_OBJECT

    int m_batches = 0;

    std::unique_ptr<FileEventStream> startStream(const QStringList& paths)
    {
        m_batches = 0;
        auto stream = FileEventStream::create([this] { ++m_batches; }, paths);
        if (stream) {
            stream->scheduleWithRunLoop();
            if (!stream->start())
                stream.reset();
        }
        return stream;
    }

    // Waits for the next batch after `before`; true when one came.
    bool nextBatch(int before)
    {
        return QTest::qWaitFor([&] { return m_batches > before; }, 2000);
    }

    // True when no batch arrives for a while.
    bool staysQuiet()
    {
        const int before = m_batches;
        QTest::qWait(300);
        return m_batches == before;
    }

private Q_SLOTS:
    void reportsChangesAtAnyDepth()
    {
        Sandbox sandbox;
        const QString applications = sandbox.rootPath(QStringLiteral("Applications"));
        QVERIFY(QDir().mkpath(applications));
        auto stream = startStream({applications});
        QVERIFY(stream);

        // Folders made in one go are all watched, however fast they appear.
        const QString contents = applications + QStringLiteral("/Safari.app/Contents/MacOS");
        QVERIFY(QDir().mkpath(contents));
        QVERIFY(nextBatch(0));
        QVERIFY(staysQuiet());
        int before = m_batches;
        QVERIFY(touch(contents + QStringLiteral("/Safari")));
        QVERIFY(nextBatch(before));

        before = m_batches;
        QVERIFY(QFile::rename(contents + QStringLiteral("/Safari"), contents + QStringLiteral("/Other")));
        QVERIFY(nextBatch(before));

        // A moved folder keeps being watched under its new path.
        before = m_batches;
        QVERIFY(QDir().rename(applications + QStringLiteral("/Safari.app"),
                              applications + QStringLiteral("/Renamed.app")));
        QVERIFY(nextBatch(before));
        before = m_batches;
        QVERIFY(QDir().mkdir(applications + QStringLiteral("/Renamed.app/Contents/MacOS/Deep")));
        QVERIFY(nextBatch(before));
        before = m_batches;
        QVERIFY(touch(applications + QStringLiteral("/Renamed.app/Contents/MacOS/Deep/file")));
        QVERIFY(nextBatch(before));

        before = m_batches;
        QVERIFY(QDir(applications + QStringLiteral("/Renamed.app")).removeRecursively());
        QVERIFY(nextBatch(before));
        QVERIFY(staysQuiet());
    }

    void foldsAFloodIntoFewBatchesAndThenRests()
    {
        Sandbox sandbox;
        const QString applications = sandbox.rootPath(QStringLiteral("Applications"));
        QVERIFY(QDir().mkpath(applications));
        auto stream = startStream({applications});
        QVERIFY(stream);

        // The events queue up while the loop is busy, and are then read a buffer at a time.
        for (int i = 0; i < 3000; ++i)
            QVERIFY(touch(applications + QStringLiteral("/file-%1").arg(i)));
        QVERIFY(nextBatch(0));
        QTest::qWait(200);
        QVERIFY2(m_batches <= 10, qPrintable(QString::number(m_batches)));
        QVERIFY(staysQuiet());
    }

    void followsAFolderThatAppearsAndVanishes()
    {
        Sandbox sandbox;
        const QString applications = sandbox.rootPath(QStringLiteral("Applications"));
        const QString entries = sandbox.rootPath(QStringLiteral("usr/share/applications"));
        auto stream = startStream({applications, entries});
        QVERIFY(stream);

        // Other things happening beside a missing folder are no change of it.
        QVERIFY(touch(sandbox.rootPath(QStringLiteral("unrelated"))));
        QVERIFY(QDir().mkdir(sandbox.rootPath(QStringLiteral("Apps"))));
        QVERIFY(staysQuiet());

        QVERIFY(QDir().mkdir(applications));
        QVERIFY(nextBatch(0));
        int before = m_batches;
        QVERIFY(touch(applications + QStringLiteral("/inside")));
        QVERIFY(nextBatch(before));

        before = m_batches;
        QVERIFY(QDir(applications).removeRecursively());
        QVERIFY(nextBatch(before));
        QVERIFY(staysQuiet());

        // Several missing levels made at once.
        before = m_batches;
        QVERIFY(QDir().mkpath(entries));
        QVERIFY(nextBatch(before));
        before = m_batches;
        QVERIFY(touch(entries + QStringLiteral("/firefox.desktop")));
        QVERIFY(nextBatch(before));

        // Back again, moved in whole.
        QVERIFY(QDir().mkpath(sandbox.rootPath(QStringLiteral("staging/Safari.app"))));
        QVERIFY(staysQuiet());
        before = m_batches;
        QVERIFY(QDir().rename(sandbox.rootPath(QStringLiteral("staging")), applications));
        QVERIFY(nextBatch(before));
        before = m_batches;
        QVERIFY(touch(applications + QStringLiteral("/Safari.app/Info.plist")));
        QVERIFY(nextBatch(before));
    }

    void neverFollowsLinksBelowTheWatchedFolder()
    {
        Sandbox sandbox;
        const QString applications = sandbox.rootPath(QStringLiteral("Applications"));
        const QString outside = sandbox.rootPath(QStringLiteral("outside"));
        QVERIFY(QDir().mkpath(applications));
        QVERIFY(QDir().mkpath(outside + QStringLiteral("/deep")));
        QVERIFY(QFile::link(outside, applications + QStringLiteral("/Linked.app")));
        auto stream = startStream({applications});
        QVERIFY(stream);

        QVERIFY(touch(outside + QStringLiteral("/file")));
        QVERIFY(touch(outside + QStringLiteral("/deep/file")));
        QVERIFY(staysQuiet());

        // A link made while watching is a change, and is not followed either.
        QVERIFY(QFile::link(outside, applications + QStringLiteral("/Second.app")));
        QVERIFY(nextBatch(0));
        QVERIFY(staysQuiet());
        QVERIFY(touch(outside + QStringLiteral("/deep/other")));
        QVERIFY(staysQuiet());
    }

    void watchesThroughALinkedFolderItself()
    {
        Sandbox sandbox;
        const QString real = sandbox.rootPath(QStringLiteral("real"));
        const QString applications = sandbox.rootPath(QStringLiteral("Applications"));
        QVERIFY(QDir().mkpath(real + QStringLiteral("/Safari.app")));
        QVERIFY(QFile::link(real, applications));
        auto stream = startStream({applications});
        QVERIFY(stream);
        QVERIFY(touch(real + QStringLiteral("/Safari.app/Info.plist")));
        QVERIFY(nextBatch(0));
    }

    void stopsReportingWhenStopped()
    {
        Sandbox sandbox;
        const QString applications = sandbox.rootPath(QStringLiteral("Applications"));
        QVERIFY(QDir().mkpath(applications));
        auto stream = startStream({applications});
        QVERIFY(stream);
        stream->stop();
        QVERIFY(touch(applications + QStringLiteral("/file")));
        QVERIFY(staysQuiet());

        QVERIFY(stream->start());
        QVERIFY(touch(applications + QStringLiteral("/again")));
        QVERIFY(nextBatch(0));

        stream->stop();
        stream->unscheduleFromRunLoop();
        stream->invalidate();
        QVERIFY(!stream->start());
    }
};

QTEST_GUILESS_MAIN(FileEventStreamTest)
#include "FileEventStreamTest.moc"
