#pragma once

#include <QString>

#include <sys/types.h>

// Holds a record lock (fcntl) on a file from a process of its own, as a running browser does:
// locks of the test's own process would not show to a check made from that process.
class LockHolder
{
public:
    // Creates the file if needed and locks it whole; isLocked() tells whether that worked.
    explicit LockHolder(const QString& path);
    // Releases the lock and reaps the holding process.
    ~LockHolder();
    LockHolder(const LockHolder&) = delete;
    LockHolder& operator=(const LockHolder&) = delete;

    [[nodiscard]] bool isLocked() const { return m_locked; }

private:
    int m_release = -1;
    pid_t m_child = -1;
    bool m_locked = false;
};
