#pragma once

#include <QString>

#include <optional>
#include <vector>

// The browsers installed here as plain programs rather than bundles, known by their executable
// (under the system root, like every absolute path outside the home).
namespace BrowserExecutables {

struct Browser
{
    QString executablePath;
    QString name;
    QString bundleIdentifier;
};

// The browser whose program is exactly `executablePath`.
[[nodiscard]] std::optional<Browser> forExecutable(const QString& executablePath);

// Every known program of the browser with this identifier, in order of preference.
[[nodiscard]] std::vector<Browser> withIdentifier(const QString& bundleIdentifier);

} // namespace BrowserExecutables
