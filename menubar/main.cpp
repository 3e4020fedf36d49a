#include "menubar/MenuBarAppDelegate.h"
#include "platform/TerminationRequests.h"

#include <QCoreApplication>

int main(int argc, char* argv[])
{
    QCoreApplication application(argc, argv);
    TerminationRequests::quitEventLoopOnRequest();
    MenuBarAppDelegate delegate;
    delegate.applicationDidFinishLaunching();
    return QCoreApplication::exec();
}
