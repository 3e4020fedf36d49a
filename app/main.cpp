#include "app/AppDelegate.h"
#include "platform/TerminationRequests.h"

#include <QCoreApplication>

int main(int argc, char* argv[])
{
    QCoreApplication application(argc, argv);
    TerminationRequests::quitEventLoopOnRequest();
    AppDelegate delegate;
    delegate.applicationDidFinishLaunching();
    return QCoreApplication::exec();
}
