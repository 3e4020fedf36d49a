#include "SecureDelete.h"

#include "platform/DirectoryListing.h"
#include "platform/FileOverwrite.h"
#include "platform/RandomGenerator.h"

#include <QFile>

#include <array>
#include <cstring>

namespace {

constexpr qsizetype blockSize = 1024;

} // namespace

bool SecureDelete::wipe(const QString& path)
{
    return wipe(QFile::encodeName(path));
}

bool SecureDelete::wipe(const QByteArray& path)
{
    QByteArray leaf;
    const FileDescriptor parent = DirectoryListing::openParent(path, &leaf);
    if (!parent.isOpen())
        return parent.result() == FileResult::NothingThere; // nothing there is nothing to overwrite
    return wipeAt(parent.get(), leaf);
}

bool SecureDelete::wipeAt(int folderFd, const QByteArray& name)
{
    if (!DirectoryListing::isPlainName(name))
        return false;
    const DirectoryListing::ItemLookup item = DirectoryListing::lookupAt(folderFd, name);
    if (item.result != FileResult::Done)
        return item.result == FileResult::NothingThere;
    if (item.type == DirectoryEntry::Type::Directory) {
        const FileDescriptor folder = DirectoryListing::openFolderAt(folderFd, name);
        if (!folder.isOpen())
            return folder.result() == FileResult::NothingThere;
        return wipeFolder(folder.get());
    }
    if (item.type == DirectoryEntry::Type::File)
        return wipeFileAt(folderFd, name);
    return true;
}

bool SecureDelete::wipeContentsofDir(const QString& path)
{
    QByteArray leaf;
    const FileDescriptor parent = DirectoryListing::openParent(QFile::encodeName(path), &leaf);
    if (!parent.isOpen())
        return parent.result() == FileResult::NothingThere;
    return wipeFileAt(parent.get(), leaf);
}

bool SecureDelete::wipe(const QString& path, int phase)
{
    if (phase < 1 || phase > 3)
        return false;
    QByteArray leaf;
    const FileDescriptor parent = DirectoryListing::openParent(QFile::encodeName(path), &leaf);
    return parent.isOpen() && passAt(parent.get(), leaf, phase);
}

bool SecureDelete::wipeFolder(int folderFd)
{
    const auto entries = DirectoryListing::list(folderFd);
    if (!entries)
        return false;
    for (const DirectoryEntry& entry : *entries) {
        if (entry.type == DirectoryEntry::Type::Directory) {
            const FileDescriptor folder = DirectoryListing::openFolderAt(folderFd, entry.name);
            if (!folder.isOpen()) {
                if (folder.result() == FileResult::NothingThere)
                    continue; // vanished meanwhile
                return false;
            }
            if (!wipeFolder(folder.get()))
                return false;
        } else if (entry.type == DirectoryEntry::Type::File) {
            if (!wipeFileAt(folderFd, entry.name))
                return false;
        }
    }
    return true;
}

bool SecureDelete::wipeFileAt(int folderFd, const QByteArray& name)
{
    const DirectoryListing::ItemLookup item = DirectoryListing::lookupAt(folderFd, name);
    if (item.result != FileResult::Done)
        return item.result == FileResult::NothingThere;
    for (int phase = 1; phase <= 3; ++phase) {
        if (!passAt(folderFd, name, phase))
            return false;
    }
    return true;
}

bool SecureDelete::passAt(int folderFd, const QByteArray& name, int phase)
{
    std::array<char, blockSize> block;
    if (!fillBlock(block.data(), phase))
        return false;
    // A link or a file with other names is nothing to overwrite: the removal takes only the name.
    const FileResult result =
        FileOverwrite::overwriteAt(folderFd, name, QByteArrayView(block.data(), blockSize));
    return result == FileResult::Done || result == FileResult::Refused;
}

bool SecureDelete::fillBlock(char* block, int phase)
{
    switch (phase) {
    case 1:
        std::memset(block, 0x55, blockSize);
        return true;
    case 2:
        std::memset(block, 0xAA, blockSize);
        return true;
    case 3:
        RandomGenerator::seedFromSystem();
        // Modulo 255, so that no byte is ever 0xFF.
        for (qsizetype i = 0; i < blockSize; ++i)
            block[i] = static_cast<char>(RandomGenerator::next() % 255);
        return true;
    default:
        return false;
    }
}
