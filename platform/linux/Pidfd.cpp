#include "platform/linux/Pidfd.h"

#include <csignal>
#include <sys/syscall.h>
#include <unistd.h>

namespace Pidfd {

int open(pid_t processIdentifier)
{
    // pidfd descriptors are always close-on-exec.
    return static_cast<int>(syscall(SYS_pidfd_open, processIdentifier, 0));
}

bool sendSignal(int pidfd, int signal)
{
    return syscall(SYS_pidfd_send_signal, pidfd, signal, nullptr, 0) == 0;
}

} // namespace Pidfd
