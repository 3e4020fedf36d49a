#pragma once

#include <QByteArray>
#include <QString>

#include <optional>
#include <sys/types.h>

// The ".flatpak-info" key file that Flatpak puts at the root of every sandbox it starts: it names
// the application that the sandbox's processes belong to, helpers in sandboxes of their own included.
namespace FlatpakInfo {

struct Instance
{
    QString application; // [Application] name, the application's identifier
    QString appPath;     // [Instance] app-path, where the application is installed (may be empty)
};

// The instance the text describes; nothing when it names no application.
[[nodiscard]] std::optional<Instance> parse(const QByteArray& text);

// The instance the process runs in, read through its root in /proc; nothing for a process outside
// a Flatpak sandbox or one whose root cannot be read (gone, another user's, not dumpable).
[[nodiscard]] std::optional<Instance> ofProcess(pid_t processIdentifier);

} // namespace FlatpakInfo
