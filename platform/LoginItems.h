#pragma once

#include <QList>
#include <QString>

// Programs the desktop starts when the user logs in: entries of the freedesktop autostart folders,
// "$XDG_CONFIG_HOME/autostart" (default "~/.config/autostart") for the user, "<dir>/autostart" for
// each of $XDG_CONFIG_DIRS (default "/etc/xdg") for the system. An entry of the user's folder hides the
// system entries of the same name.
namespace LoginItems {

// One autostart entry: `label` is its file name without ".desktop"; `onDemand` is true when the
// desktop starts it (not Hidden, not switched off with X-GNOME-Autostart-enabled=false).
struct Job
{
    QString label;
    bool onDemand = false;
};

// Registers (writes "<user folder>/<identifier>.desktop", starting the program of the bundle at
// `bundlePath`) or unregisters (removes that file). False when it could not be done: the folder
// is not writable or is a link, a folder or link stands in the file's place, the bundle has no
// program. Never touches another file.
[[nodiscard]] bool setEnabled(const QString& identifier, const QString& bundlePath, bool enabled);

// Every entry the user's session sees, the user's folder first, each folder in name order.
[[nodiscard]] QList<Job> jobs();

// The user's autostart folder for the current environment.
[[nodiscard]] QString userFolder();

} // namespace LoginItems
