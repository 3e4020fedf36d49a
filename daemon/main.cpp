#include "daemon/DaemonAppDelegate.h"
#include "platform/TerminationRequests.h"

#include <QCoreApplication>

int main(int argc, char* argv[])
{
    QCoreApplication application(argc, argv);
    TerminationRequests::quitEventLoopOnRequest();
    // The delegate outlives the event loop, so a quit request tears it down in order.
    DaemonAppDelegate delegate;
    delegate.awakeFromNib();
    delegate.applicationDidFinishLaunching();
    return QCoreApplication::exec();
}
