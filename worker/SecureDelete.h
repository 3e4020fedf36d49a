#pragma once

#include <QByteArray>
#include <QString>

// Overwrites files before they are deleted: pass 1 with 0x55, pass 2 with 0xAA, pass 3 with one
// block of pseudo-random bytes (never 0xFF) repeated over the file. Never deletes, renames or
// truncates anything, and never writes through a symbolic link or into a file that has other
// names (its other names hold data that is not ours to destroy): such items count as nothing to
// overwrite, and the caller's removal takes away only the name.
class SecureDelete
{
public:
    SecureDelete() = delete;

    // A file, or every file below a folder. True when all were overwritten or nothing is there;
    // false at the first file that could not be overwritten or a folder that could not be read.
    [[nodiscard]] static bool wipe(const QString& path);
    [[nodiscard]] static bool wipe(const QByteArray& path);
    // The same for the entry `name` of the open folder `folderFd`.
    [[nodiscard]] static bool wipeAt(int folderFd, const QByteArray& name);
    // One file, three passes (the name is historical: it takes a single file).
    [[nodiscard]] static bool wipeContentsofDir(const QString& path);
    // One pass (1, 2 or 3) over one file; any other pass number fails and changes nothing.
    [[nodiscard]] static bool wipe(const QString& path, int phase);

private:
    static bool wipeFolder(int folderFd);
    static bool wipeFileAt(int folderFd, const QByteArray& name);
    static bool passAt(int folderFd, const QByteArray& name, int phase);
    static bool fillBlock(char* block, int phase);
};
