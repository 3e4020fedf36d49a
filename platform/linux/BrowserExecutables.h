#pragma once

#include <QString>

#include <optional>
#include <vector>

// The browsers installed here as plain programs rather than bundles, known by their executable
// (under the system root, like every absolute path outside the home): the distributions' and the
// browsers' own packages, Snap (any revision) and the launchers that Snap and Flatpak export. A
// Flatpak browser's programs run in a file system of their own: the exported launcher stands for them.
namespace BrowserExecutables {

struct Browser
{
    QString executablePath;
    QString name;
    QString bundleIdentifier;
    // A Flatpak install, whose executable path is its exported launcher.
    bool isFlatpak = false;
};

// The browser whose program is exactly `executablePath`.
[[nodiscard]] std::optional<Browser> forExecutable(const QString& executablePath);

// The Flatpak browser with the application identifier `application`, installed for the user alone
// when `appPath` (where the running instance was installed from) lies in the home folder.
[[nodiscard]] std::optional<Browser> forFlatpak(const QString& application, const QString& appPath);

// The browser of an application path that forExecutable() or forFlatpak() gave.
[[nodiscard]] std::optional<Browser> forApplicationPath(const QString& applicationPath);

// Every known program or launcher of the browser with this identifier, in order of preference.
[[nodiscard]] std::vector<Browser> withIdentifier(const QString& bundleIdentifier);

} // namespace BrowserExecutables
