#include "loginhelper/HelperAppDelegate.h"
#include "platform/TerminationRequests.h"

#include <QCoreApplication>

int main(int argc, char* argv[])
{
    QCoreApplication application(argc, argv);
    TerminationRequests::quitEventLoopOnRequest();
    HelperAppDelegate delegate;
    delegate.applicationDidFinishLaunching();
    return QCoreApplication::exec();
}
