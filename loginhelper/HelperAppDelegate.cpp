#include "loginhelper/HelperAppDelegate.h"

#include "common/BundleLocator.h"
#include "common/Names.h"
#include "common/ProcessControl.h"
#include "platform/Bundle.h"
#include "platform/UserDefaults.h"
#include "platform/Workspace.h"

#include <QCoreApplication>
#include <QTimer>

void HelperAppDelegate::awakeFromNib()
{
    UserDefaults::standardUserDefaults().addSuiteNamed(Names::suiteName);
}

void HelperAppDelegate::applicationDidFinishLaunching()
{
    bool watcherRunning = false;
    bool agentRunning = false;
    const Workspace& workspace = Workspace::sharedWorkspace();
    if (workspace.canListRunningApplications()) {
        const QList<RunningApplication> applications = workspace.runningApplications();
        for (const RunningApplication& application : applications) {
            if (application.bundleIdentifier == Names::BundleIdentifiers::daemon)
                watcherRunning = true;
            if (application.bundleIdentifier == Names::BundleIdentifiers::menuBar)
                agentRunning = true;
        }
    }

    const QString helperBundle = Bundle::mainBundlePath();
    const QString contents = BundleLocator::contentsFromLoginHelper(helperBundle);
    const UserDefaults& defaults = UserDefaults::standardUserDefaults();
    const bool openAtLogin = defaults.boolForKey(Names::Keys::openAtLogin);
    const bool isRunning = defaults.boolForKey(Names::Keys::isRunning);
    if (isRunning && !watcherRunning)
        ProcessControl::start(contents + QStringLiteral("/Resources/VeltraneDaemon.app"), {},
                              LaunchOptions::WithoutActivation);
    const bool showInMenuBar = defaults.boolForKey(Names::Keys::showInMenuBar);
    if (showInMenuBar && !agentRunning)
        ProcessControl::start(contents + QStringLiteral("/Resources/VeltraneMenuBar.app"), {},
                              LaunchOptions::WithoutActivation);
    if (!watcherRunning && !agentRunning && !isRunning && !showInMenuBar && openAtLogin)
        ProcessControl::start(BundleLocator::mainBundleFromLoginHelper(helperBundle), {},
                              LaunchOptions::Default);

    QTimer::singleShot(0, QCoreApplication::instance(), &QCoreApplication::quit);
}
