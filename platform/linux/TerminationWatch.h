#pragma once

#include "platform/linux/ProcessCensus.h"

#include <QObject>
#include <QTimer>

#include <sys/types.h>
#include <unordered_map>

class QSocketNotifier;

// Tells when an application of the current user ends. New applications are found by a periodic
// census of /proc; each one is then watched through a pidfd in the event loop, so that its exit
// is seen at once rather than at the next census.
class TerminationWatch : public QObject
{
    Q_OBJECT

public:
    explicit TerminationWatch(QObject* parent = nullptr);
    ~TerminationWatch() override;

    void start();

Q_SIGNALS:
    void applicationTerminated(const QString& applicationName, const QString& bundleIdentifier);

private:
    struct Watched
    {
        RunningApplication application;
        int pidfd = -1;
        QSocketNotifier* notifier = nullptr;
    };

    void takeCensus();
    void watch(pid_t processIdentifier);
    void applicationEnded(pid_t processIdentifier);
    void report(const RunningApplication& application);

    ProcessCensus m_census;
    QTimer m_timer;
    std::unordered_map<pid_t, Watched> m_watched;
};
