#pragma once

#include <QHash>
#include <QSocketNotifier>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

// Change events at any depth under a few folders, delivered in the event loop of the thread that
// schedules the stream: the callback runs once per batch of events, as soon as the batch arrives.
// A folder that does not exist is not watched until it appears; one that is removed stops being
// watched until it comes back. Symbolic links inside the folders are never followed.
class FileEventStream
{
public:
    using Callback = std::function<void()>;

    // nullptr when the system offers no file events to this process.
    [[nodiscard]] static std::unique_ptr<FileEventStream> create(Callback callback, const QStringList& paths);
    ~FileEventStream();
    FileEventStream(const FileEventStream&) = delete;
    FileEventStream& operator=(const FileEventStream&) = delete;

    // Attaches the stream to the calling thread's event loop.
    void scheduleWithRunLoop();
    void unscheduleFromRunLoop();

    // Starts and stops watching; events that arrive between start and scheduling wait for the loop.
    bool start();
    void stop();

    // Gives the event source back to the system; the stream cannot be started again.
    void invalidate();

private:
    enum class Links
    {
        Follow,
        DontFollow
    };

    FileEventStream(int descriptor, Callback callback, QStringList paths);
    void readBatch();
    void watchAll();
    void unwatchAll();
    void watchTree(const QString& folder, Links links);
    // False when the next folder towards `path` appeared meanwhile.
    [[nodiscard]] bool watchNearestExistingParent(const QString& path);
    [[nodiscard]] bool isInWatchedTree(const QString& folder) const;
    [[nodiscard]] bool leadsToMissingPath(const QString& folder, const QString& name) const;

    int m_descriptor = -1;
    Callback m_callback;
    QStringList m_paths;
    QStringList m_watchedPaths;    // the paths that exist and are watched with their whole tree
    QHash<int, QString> m_folders; // watch descriptor -> folder
    std::unique_ptr<QSocketNotifier> m_notifier;
    bool m_started = false;
};
