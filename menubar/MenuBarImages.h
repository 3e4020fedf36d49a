#pragma once

#include <QIcon>
#include <QList>
#include <QString>

// The status item's images, drawn as SVG masks ("menu" while cleaning is paused, "menu_running"
// while it is on) and shipped in the agent's Contents/Resources folder.
namespace MenuBarImages {

inline constexpr QLatin1StringView paused{"menu"};
inline constexpr QLatin1StringView running{"menu_running"};

// The sizes, in device-independent pixels, at which panels show a status item.
QList<int> panelSizes();

// The image `name` ("<resourcesFolder>/<name>.svg") as a mask icon rendered at every panel size, at
// single and double density. Panels show pixels as they get them, so the mask is filled with the
// desktop's text colour and ringed with a faint edge of its window colour, which keeps it readable on
// a light panel and on a dark one. A null icon when the file is missing or is no SVG image.
QIcon image(const QString& resourcesFolder, QLatin1StringView name);

} // namespace MenuBarImages
