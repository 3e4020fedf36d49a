#include "platform/TerminationRequests.h"

#include <csignal>

// Placeholder until the signal handling lands.
namespace TerminationRequests {

void quitEventLoopOnRequest() {}

void deferRequests() {}

} // namespace TerminationRequests
