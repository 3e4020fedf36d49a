#pragma once

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

} // namespace DirectoryListing
