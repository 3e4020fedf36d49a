#pragma once

#include "platform/FileResult.h"

#include <QByteArray>
#include <QByteArrayView>

// Writes over a file's content in place: never creates, truncates or renames it, never writes past
// the end it measured, never follows a symbolic link and never writes into a file that has other
// names (their data is not ours to destroy).
namespace FileOverwrite {

// Covers the whole length of the file `name` of the open folder `folderFd` with `block` repeated
// from the file's first byte, and returns once the bytes have reached the device. Done when every
// byte was written and synced; NothingThere when no file is there; Refused for a link, a file with
// other names or anything but a regular file (left as it is); Failed when it could not be opened
// for writing, its size changed meanwhile, or a write, the sync or the close failed.
[[nodiscard]] FileResult overwriteAt(int folderFd, const QByteArray& name, QByteArrayView block);

} // namespace FileOverwrite
