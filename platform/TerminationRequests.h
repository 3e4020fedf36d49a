#pragma once

// The polite quit request (SIGTERM) as the programs see it.
namespace TerminationRequests {

// The request quits the Qt event loop in order (call once QCoreApplication exists).
void quitEventLoopOnRequest();

// Holds every quit request back from now on, for a process that must not be cut short
// (the worker during its pass). The process ends on its own when its work is done.
void deferRequests();

} // namespace TerminationRequests
