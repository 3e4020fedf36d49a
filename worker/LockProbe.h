#pragma once

#include <QByteArray>

// Whether another process holds a POSIX record lock on a file, as LevelDB holds its "LOCK" and
// Firefox its ".parentlock" while they run. The probe works across PID namespaces (Flatpak, Snap),
// since the lock lives on the file itself.
namespace LockProbe {

// True when the file is locked by another process, or cannot be probed (unreadable, a link, a
// FIFO): callers then leave the store alone. A missing file is not locked.
[[nodiscard]] bool isLocked(const QByteArray& path);

} // namespace LockProbe
