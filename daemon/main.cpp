#include "daemon/DaemonAppDelegate.h"
#include "platform/TerminationRequests.h"

#include <QCoreApplication>

int main(int argc, char* argv[])
{
    QCoreApplication application(argc, argv);
    TerminationRequests::quitEventLoopOnRequest();
    DaemonAppDelegate delegate;
    delegate.applicationDidFinishLaunching();
    return QCoreApplication::exec();
}
