#include "platform/Workspace.h"

#include "platform/Bundle.h"
#include "platform/linux/ApplicationIdentity.h"
#include "platform/linux/DetachedProcess.h"
#include "platform/linux/Pidfd.h"
#include "platform/linux/ProcFs.h"
#include "platform/linux/ProcessCensus.h"

#include <csignal>
#include <unistd.h>

Workspace& Workspace::sharedWorkspace()
{
    static Workspace workspace;
    return workspace;
}

bool Workspace::canListRunningApplications() const
{
    return access("/proc/self/stat", R_OK) == 0;
}

QList<RunningApplication> Workspace::runningApplications() const
{
    ProcessCensus census(0);
    (void)census.update();
    return census.applications();
}

bool Workspace::launchApplicationAtPath(const QString& bundlePath, const QStringList& arguments,
                                        LaunchOptions options)
{
    const QString executable = Bundle::executablePath(bundlePath);
    if (executable.isEmpty())
        return false;
    // The desktop hands a program it started the token that lets it take the focus (Wayland's
    // xdg-activation, X11 startup notification); a background start must not pass it on.
    QStringList withoutVariables;
    if (options == LaunchOptions::WithoutActivation)
        withoutVariables = {QStringLiteral("XDG_ACTIVATION_TOKEN"), QStringLiteral("DESKTOP_STARTUP_ID")};
    return DetachedProcess::start(executable, arguments, withoutVariables).has_value();
}

bool Workspace::terminate(const RunningApplication& application)
{
    const auto processIdentifier = static_cast<pid_t>(application.processIdentifier);
    if (processIdentifier <= 0)
        return false;
    const int pidfd = Pidfd::open(processIdentifier);
    if (pidfd < 0)
        return false;
    // Held by its pidfd, the process can be checked before it is signalled: it must still run the
    // application, not some newer process that was given the same pid.
    const bool same = ApplicationIdentity::applicationPath(
                          processIdentifier, ProcFs::executable(processIdentifier)) == application.bundlePath;
    const bool sent = same && Pidfd::sendSignal(pidfd, SIGTERM);
    close(pidfd);
    return sent;
}
