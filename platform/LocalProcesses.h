#pragma once

#include <QString>

// This machine's own processes, as a lock file written by a program names them.
namespace LocalProcesses {

// The name this machine gives itself (gethostname).
[[nodiscard]] QString hostName();

// True while a process with this identifier exists here, whoever owns it.
[[nodiscard]] bool isAlive(qint64 processIdentifier);

} // namespace LocalProcesses
