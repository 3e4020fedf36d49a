#pragma once

#include "platform/Workspace.h"

#include <QList>
#include <QString>

#include <optional>
#include <sys/types.h>
#include <unordered_map>
#include <vector>

// The current user's processes as read from /proc, and which of them are applications: a process
// whose program belongs to an application, unless its parent runs the same application while that
// application's main process lives (then it is one of its helpers; a helper that starts the
// application anew once the main process has ended, as a relaunch does, starts a new application).
// An application of one instance (a Flatpak) has no second main process while its first lives, whoever
// started it. Kept up to date by repeated updates that look closely only at processes not seen
// before, and at young ones whose program may still change by exec.
class ProcessCensus
{
public:
    // For `recheckWindowMs` after a process has started, its program is read again on every
    // update, so that a process caught between fork and exec is recognised once it has exec'ed.
    explicit ProcessCensus(qint64 recheckWindowMs);

    // Brings the census up to /proc; returns the processes that became applications.
    std::vector<pid_t> update();

    [[nodiscard]] QList<RunningApplication> applications() const;
    [[nodiscard]] std::optional<RunningApplication> application(pid_t processIdentifier) const;
    [[nodiscard]] std::optional<quint64> startTime(pid_t processIdentifier) const;

    // Drops an ended process, so that a new process given the same pid is examined afresh.
    void forget(pid_t processIdentifier);

private:
    struct Process
    {
        bool isMine = false;
        pid_t parent = 0;
        quint64 startTime = 0;
        quint64 generation = 0;
        // The main process of the application it belongs to (itself for a main process), or 0.
        pid_t mainProcess = 0;
        QString applicationPath;
        std::optional<RunningApplication> application;
    };

    [[nodiscard]] Process examine(pid_t processIdentifier) const;
    [[nodiscard]] bool programChanged(Process& process, pid_t processIdentifier, quint64 now) const;
    void classify(pid_t processIdentifier, Process& process);
    [[nodiscard]] bool isRunningApplication(pid_t processIdentifier) const;

    uid_t m_user;
    quint64 m_recheckWindowTicks;
    quint64 m_generation = 0;
    std::unordered_map<pid_t, Process> m_processes;
};
