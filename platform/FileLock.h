#pragma once

#include <QString>

// How a lock file stands towards the other processes of this machine.
enum class LockState
{
    Free,    // nobody holds a lock on it, or there is no such file
    Held,    // another process holds a record lock on some part of it
    Unknown, // it cannot be asked: a link, a FIFO or anything but a regular file, or no permission
};

// The record locks (fcntl) by which programs mark a file as theirs while they run, as LevelDB holds
// its "LOCK" and Firefox its ".parentlock". The lock lives on the file itself, so this works across
// PID namespaces (Flatpak, Snap).
namespace FileLock {

// Asking opens and closes a descriptor of the file, which would drop a lock this very process holds
// on it: ask before opening the store.
[[nodiscard]] LockState state(const QString& path);

// state() is Held.
[[nodiscard]] bool isHeldByAnotherProcess(const QString& path);

} // namespace FileLock
