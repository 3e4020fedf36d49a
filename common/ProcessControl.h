#pragma once

#include "platform/Workspace.h"

#include <QString>
#include <QStringList>

// The three process-control operations every program uses on the others.
namespace ProcessControl {

// True when a running application of this user has exactly this bundle identifier.
// Where running applications cannot be listed, nothing counts as running.
bool isRunning(const QString& bundleIdentifier);

// Starts the bundle at `bundlePath` with `arguments`; nobody waits for it and the result is not reported.
void start(const QString& bundlePath, const QStringList& arguments = {},
           LaunchOptions options = LaunchOptions::Default);

// Politely asks the first running application with this identifier to quit, without waiting.
void stop(const QString& bundleIdentifier);

} // namespace ProcessControl
