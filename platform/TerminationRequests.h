#pragma once

// The polite quit request (SIGTERM) as the programs see it.
namespace TerminationRequests {

// The request quits the Qt event loop in order (call once QCoreApplication exists).
void quitEventLoopOnRequest();

// From now on a quit request changes nothing, however many arrive, for a process that must not be
// cut short (the worker during its pass). The process ends on its own when its work is done.
// Call it before main() (a constructor function) to cover the process from its very start.
void deferRequests();

} // namespace TerminationRequests
