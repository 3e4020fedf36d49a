#pragma once

#include "platform/FileDescriptor.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

// One level of a folder, read without following symbolic links: an entry's type is that of the
// entry itself, so a link to a folder is a link, never a folder.
struct DirectoryEntry
{
    enum class Type
    {
        File,
        Directory,
        SymbolicLink,
        Other
    };

    QByteArray name; // the name's bytes as stored; not every name is valid UTF-8
    Type type = Type::Other;

    [[nodiscard]] QString displayName() const;
};

namespace DirectoryListing {

// The entries of `path` in the order the file system lists them, "." and ".." left out;
// nullopt when the folder cannot be opened or read to its end.
[[nodiscard]] std::optional<QList<DirectoryEntry>> list(const QByteArray& path);
[[nodiscard]] std::optional<QList<DirectoryEntry>> list(const QString& path);
// The same for a folder already open; the descriptor stays open.
[[nodiscard]] std::optional<QList<DirectoryEntry>> list(int folderFd);

// Opens a folder without following a link anywhere below its anchor: the home folder, the system
// root or "/" (the anchor itself may be a link, as a home folder often is). A path holding ".."
// below the anchor, or a link in place of a folder, does not open (Refused); the descriptor's
// result() tells that from a missing folder (NothingThere) and a failure.
[[nodiscard]] FileDescriptor openFolder(const QByteArray& path);
// The folder at `relativePath` (one or more components) inside the open folder `folderFd`,
// following no link on the way.
[[nodiscard]] FileDescriptor openFolderAt(int folderFd, const QByteArray& relativePath);
// Opens the folder that holds `path`'s last component as openFolder does; `leaf` gets that component.
[[nodiscard]] FileDescriptor openParent(const QByteArray& path, QByteArray* leaf);

// The item itself in an open folder (a link is a link): Done with its type, or why it is not
// reachable (NothingThere, Refused for a link on the way, Failed).
struct ItemLookup
{
    FileResult result;
    DirectoryEntry::Type type;
};
[[nodiscard]] ItemLookup lookupAt(int folderFd, const QByteArray& name);

// The type of the item itself at `path` (a link is a link); nullopt when nothing is reachable there.
[[nodiscard]] std::optional<DirectoryEntry::Type> typeOf(const QByteArray& path);
[[nodiscard]] std::optional<DirectoryEntry::Type> typeAt(int folderFd, const QByteArray& name);

// True for a name that stays inside its folder as one component: not empty, no "/", not "." or "..".
[[nodiscard]] bool isPlainName(const QByteArray& name);

// A/B for byte paths; B is one component.
[[nodiscard]] QByteArray appending(const QByteArray& base, const QByteArray& name);

} // namespace DirectoryListing
