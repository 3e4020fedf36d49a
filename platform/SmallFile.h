#pragma once

#include <QByteArray>

#include <optional>

// Reads small files whole: the records that name a store's origin, a sandbox's description.
namespace SmallFile {

// The content of the regular file `name` in the open folder `folderFd`; nullopt for a link, a FIFO,
// a folder, a file larger than `limit` bytes or one that cannot be read to its end.
[[nodiscard]] std::optional<QByteArray> readAt(int folderFd, const QByteArray& name, qint64 limit);

} // namespace SmallFile
