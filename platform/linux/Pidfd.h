#pragma once

#include <sys/types.h>

// Process file descriptors: a handle on one process that a reused pid cannot fool, and that turns
// readable when the process ends.
namespace Pidfd {

// A close-on-exec descriptor for the process; -1 with errno set when it cannot be had.
[[nodiscard]] int open(pid_t processIdentifier);

[[nodiscard]] bool sendSignal(int pidfd, int signal);

} // namespace Pidfd
