#include "platform/LocalProcesses.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <unistd.h>

namespace LocalProcesses {

QString hostName()
{
    char name[HOST_NAME_MAX + 1] = {};
    if (gethostname(name, sizeof name - 1) != 0)
        return QString();
    return QString::fromLocal8Bit(name);
}

bool isAlive(qint64 processIdentifier)
{
    if (processIdentifier <= 0 || processIdentifier > qint64(INT_MAX))
        return false;
    // Signal 0 only checks; EPERM means a process of another user exists under that number.
    return kill(pid_t(processIdentifier), 0) == 0 || errno == EPERM;
}

} // namespace LocalProcesses
