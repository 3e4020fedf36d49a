#pragma once

#include <QString>

#include <optional>
#include <sys/types.h>
#include <vector>

// Reading /proc. Every process may vanish at any moment: each read simply comes back empty then.
namespace ProcFs {

struct ProcessStatus
{
    pid_t parentProcessIdentifier = 0;
    // Clock ticks after boot; with the pid it names one process for good.
    quint64 startTime = 0;
};

// Now, in the clock of ProcessStatus::startTime.
[[nodiscard]] quint64 ticksSinceBoot();

// Every process (thread-group leader) listed in /proc.
[[nodiscard]] std::vector<pid_t> processIdentifiers();

// The owner of the process (its effective user).
[[nodiscard]] std::optional<uid_t> owner(pid_t processIdentifier);

[[nodiscard]] std::optional<ProcessStatus> status(pid_t processIdentifier);

// The program the process runs, as it was when started ("(deleted)" left off: a program replaced
// or removed while it runs is still the same program); empty when it cannot be read (another
// user's process, a kernel thread, a process gone or not yet reaped).
[[nodiscard]] QString executable(pid_t processIdentifier);

} // namespace ProcFs
