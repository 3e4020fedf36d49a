#pragma once

#include "platform/FileResult.h"
#include "worker/Sqlite.h"

#include <QByteArray>
#include <QString>

// The one rule by which every cleaning step removes an item: with secure deletion on, the item is
// overwritten first and deleted only if that succeeded; with it off, it is deleted at once.
class SecureRemoval
{
public:
    explicit SecureRemoval(bool secureDelete) : m_secureDelete(secureDelete) {}
    // Reads the secureDeleteData setting.
    [[nodiscard]] static SecureRemoval fromSettings();

    [[nodiscard]] bool secureDelete() const { return m_secureDelete; }
    // How a step opens a browser database it deletes rows from.
    [[nodiscard]] Sqlite::Deletion databaseDeletion() const
    {
        return m_secureDelete ? Sqlite::Deletion::Secure : Sqlite::Deletion::Ordinary;
    }

    // How the removal ended (FileRemoval); Failed also when the overwrite did, and then the item
    // stays as it is.
    FileResult remove(const QString& path) const;
    FileResult remove(const QByteArray& path) const;
    FileResult removeAt(int folderFd, const QByteArray& name) const;

private:
    bool m_secureDelete;
};
