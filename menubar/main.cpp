#include "menubar/DisplayCheck.h"
#include "menubar/MenuBarAppDelegate.h"
#include "platform/TerminationRequests.h"

#include <QApplication>

#include <cstdio>

int main(int argc, char* argv[])
{
    const QString missingDisplay = DisplayCheck::missingDisplay();
    if (!missingDisplay.isEmpty()) {
        std::fprintf(stderr, "VeltraneMenuBar: %s; the status item needs a desktop session.\n",
                     qPrintable(missingDisplay));
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
