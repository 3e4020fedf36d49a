#pragma once

#include <QByteArray>
#include <QString>

// Deletes an item and, for a folder, everything in it, without following symbolic links: a link
// is removed itself, never its target, and no walk leaves the item's own folder.
namespace FileRemoval {

// True when nothing is left at the path; a missing item is not an error.
bool removeItem(const QString& path);
bool removeItem(const QByteArray& path);
bool removeItemAt(int folderFd, const QByteArray& name);

} // namespace FileRemoval
