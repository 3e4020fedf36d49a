#pragma once

#include <QtGlobal>

namespace ProcessTimes {

// The user and system CPU time a running process has used so far, in clock ticks; -1 when it cannot
// be read.
qint64 cpuTicks(qint64 pid);

} // namespace ProcessTimes
