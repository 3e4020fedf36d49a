#include "loginhelper/HelperAppDelegate.h"
#include "platform/TerminationRequests.h"

#include <QCoreApplication>

// The helper shows no window, so it needs no display: it also works when the session starts it
// before the desktop is up.
int main(int argc, char* argv[])
{
    QCoreApplication application(argc, argv);
    TerminationRequests::quitEventLoopOnRequest();
    HelperAppDelegate delegate;
    delegate.awakeFromNib();
    delegate.applicationDidFinishLaunching();
    return QCoreApplication::exec();
}
