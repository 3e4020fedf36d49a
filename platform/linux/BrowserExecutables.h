#pragma once

#include <QString>

#include <optional>
#include <vector>

// The browsers installed here as plain programs rather than bundles, known by their executable
// (under the system root, like every absolute path outside the home): the distributions' and the
// browsers' own packages, Snap (any revision) and, for the installed list only, the launchers that
// Snap and Flatpak export. A Flatpak browser's own program runs in a file system of its own and is
// not recognised by its path.
namespace BrowserExecutables {

struct Browser
{
    QString executablePath;
    QString name;
    QString bundleIdentifier;
};

// The browser whose program is exactly `executablePath`.
[[nodiscard]] std::optional<Browser> forExecutable(const QString& executablePath);

// Every known program or launcher of the browser with this identifier, in order of preference.
[[nodiscard]] std::vector<Browser> withIdentifier(const QString& bundleIdentifier);

} // namespace BrowserExecutables
