#include "menubar/MenuBarAppDelegate.h"
#include "platform/DesktopSession.h"
#include "platform/TerminationRequests.h"

#include <QApplication>

#include <cstdio>

int main(int argc, char* argv[])
{
    // Without a display the application object would end the process with an abort.
    const QString unavailable = DesktopSession::unavailableReason();
    if (!unavailable.isEmpty()) {
        std::fprintf(stderr, "VeltraneMenuBar cannot show its status item: %s.\n", qPrintable(unavailable));
        return 1;
    }
    QApplication application(argc, argv);
    // The agent has no window: closing its menu must not end it.
    QApplication::setQuitOnLastWindowClosed(false);
    TerminationRequests::quitEventLoopOnRequest();
    // The delegate outlives the event loop, so a quit request tears it down in order.
    MenuBarAppDelegate delegate;
    delegate.awakeFromNib();
    delegate.applicationDidFinishLaunching();
    return QApplication::exec();
}
