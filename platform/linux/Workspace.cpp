#include "platform/Workspace.h"

// Placeholder until process control lands.
Workspace& Workspace::sharedWorkspace()
{
    static Workspace workspace;
    return workspace;
}

bool Workspace::canListRunningApplications() const
{
    return false;
}

QList<RunningApplication> Workspace::runningApplications() const
{
    return {};
}

bool Workspace::launchApplicationAtPath(const QString&, const QStringList&)
{
    return false;
}

bool Workspace::terminate(const RunningApplication&)
{
    return false;
}
