#include "platform/TerminationRequests.h"
#include "worker/WorkerAppDelegate.h"

#include <QCoreApplication>

// A quit request that arrives before main() must not cut the pass short either.
[[gnu::constructor(101)]] static void deferQuitRequestsFromTheStart()
{
    TerminationRequests::deferRequests();
}

int main(int argc, char* argv[])
{
    QCoreApplication application(argc, argv);
    WorkerAppDelegate delegate(QCoreApplication::arguments());
    delegate.awakeFromNib();
    // The whole pass runs here; the worker never reaches an idle event loop.
    delegate.applicationDidFinishLaunching();
    return 0;
}
