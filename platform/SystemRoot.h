#pragma once

#include <QString>

// Absolute system paths outside the home folder ("/Applications", "/private/var/folders/") go
// through one root prefix, taken from VELTRANE_ROOT (unset or empty: "/"), so that a sandbox can
// stand in for the whole system.
namespace SystemRoot {

// The prefix itself, without a trailing slash ("" for "/").
QString prefix();

// `absolutePath` moved under the prefix ("/Applications" -> "$VELTRANE_ROOT/Applications").
QString path(const QString& absolutePath);

} // namespace SystemRoot
