#pragma once

#include "platform/FileResult.h"

#include <QByteArray>
#include <QString>

// Deletes an item and, for a folder, everything in it, without following symbolic links: a link
// is removed itself, never its target, and no walk leaves the item's own folder.
namespace FileRemoval {

// Done when the item was removed, NothingThere when there was none, Refused when a link stands on
// the way to it (or the name is not one plain name), Failed when it or something in it stays.
[[nodiscard]] FileResult removeItem(const QString& path);
[[nodiscard]] FileResult removeItem(const QByteArray& path);
[[nodiscard]] FileResult removeItemAt(int folderFd, const QByteArray& name);

} // namespace FileRemoval
