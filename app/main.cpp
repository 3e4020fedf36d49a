#include "app/AppDelegate.h"
#include "common/Names.h"
#include "platform/ApplicationInstance.h"
#include "platform/Bundle.h"
#include "platform/DesktopSession.h"
#include "platform/TerminationRequests.h"

#include <QApplication>
#include <QIcon>

#include <cstdio>

int main(int argc, char* argv[])
{
    // Without a display the application object would end the process with an abort.
    const QString unavailable = DesktopSession::unavailableReason();
    if (!unavailable.isEmpty()) {
        std::fprintf(stderr, "Veltrane cannot open its window: %s.\n", qPrintable(unavailable));
        return 1;
    }
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Veltrane"));
    QApplication::setDesktopFileName(Names::BundleIdentifiers::application);
    // Closing the last window leaves the application running, as the menu-bar agent expects.
    QApplication::setQuitOnLastWindowClosed(false);
    TerminationRequests::quitEventLoopOnRequest();

    ApplicationInstance instance;
    if (instance.claim(Names::BundleIdentifiers::application) == ApplicationInstance::Role::Secondary)
        return 0;

    const QString bundle = Bundle::mainBundlePath();
    AppDelegate::initialize(bundle);
    QApplication::setWindowIcon(QIcon(bundle + QStringLiteral("/Contents/Resources/about.svg")));
    // The delegate outlives the event loop, so a quit request tears it down in order.
    AppDelegate delegate;
    QObject::connect(&instance, &ApplicationInstance::reopenRequested, &delegate,
                     [&delegate] { delegate.applicationShouldHandleReopen(delegate.hasVisibleWindows()); });
    delegate.awakeFromNib();
    delegate.applicationDidFinishLaunching();
    return QApplication::exec();
}
