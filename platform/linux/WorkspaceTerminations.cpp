#include "platform/Workspace.h"

// Placeholder until quit watching and the application registry land.
QString Workspace::absolutePathForAppBundleWithIdentifier(const QString&) const
{
    return {};
}

void Workspace::startObservingTerminations() {}
