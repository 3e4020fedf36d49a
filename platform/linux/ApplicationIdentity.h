#pragma once

#include "platform/Workspace.h"

#include <QString>

// What makes a program an application: it lies in a bundle's Contents/MacOS/, or it is one of the
// browsers known by their executable.
namespace ApplicationIdentity {

// The bundle of the program, or the browser's executable itself; empty when the program is no
// application. Cheap: no file is read.
[[nodiscard]] QString applicationPath(const QString& executablePath);

// Identifier, name and path of the application at `applicationPath` (process identifier 0).
[[nodiscard]] RunningApplication describe(const QString& applicationPath);

} // namespace ApplicationIdentity
