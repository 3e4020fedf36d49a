#pragma once

#include <QString>

// The record locks (fcntl) by which programs mark a file as theirs while they run.
namespace FileLock {

// True when another process holds a lock on any part of the regular file at `path`. A missing
// file, a link or anything that is no regular file holds no lock. Nothing is locked by the test.
[[nodiscard]] bool isHeldByAnotherProcess(const QString& path);

} // namespace FileLock
