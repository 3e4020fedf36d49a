#include "ProcessControl.h"

#include "platform/Workspace.h"

namespace ProcessControl {

bool isRunning(const QString& bundleIdentifier)
{
    const auto& workspace = Workspace::sharedWorkspace();
    if (!workspace.canListRunningApplications())
        return false;
    const auto applications = workspace.runningApplications();
    for (const RunningApplication& application : applications) {
        if (application.bundleIdentifier == bundleIdentifier)
            return true;
    }
    return false;
}

void start(const QString& bundlePath, const QStringList& arguments, LaunchOptions options)
{
    (void)Workspace::sharedWorkspace().launchApplicationAtPath(bundlePath, arguments, options);
}

void stop(const QString& bundleIdentifier)
{
    auto& workspace = Workspace::sharedWorkspace();
    if (!workspace.canListRunningApplications())
        return;
    const auto applications = workspace.runningApplications();
    for (const RunningApplication& application : applications) {
        if (application.bundleIdentifier == bundleIdentifier) {
            (void)workspace.terminate(application);
            return;
        }
    }
}

} // namespace ProcessControl
