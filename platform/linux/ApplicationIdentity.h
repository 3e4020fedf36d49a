#pragma once

#include "platform/Workspace.h"

#include <QString>

#include <sys/types.h>

// What makes a process an application: its program lies in a bundle's Contents/MacOS/, or it is one
// of the browsers known by their executable or by the Flatpak sandbox they run in.
namespace ApplicationIdentity {

// The bundle of the program `executablePath` that the process runs, the browser's executable itself,
// or a Flatpak browser's exported launcher; empty when the process is no application. Cheap: a file
// is read only for a program of a Flatpak sandbox.
[[nodiscard]] QString applicationPath(pid_t processIdentifier, const QString& executablePath);

// True when every process of the application belongs to its one running instance, wherever it was
// started from: a Flatpak application starts helpers in sandboxes of their own, through a portal.
[[nodiscard]] bool isSingleInstance(const QString& applicationPath);

// Identifier, name and path of the application at `applicationPath` (process identifier 0).
[[nodiscard]] RunningApplication describe(const QString& applicationPath);

} // namespace ApplicationIdentity
