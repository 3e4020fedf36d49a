#pragma once

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

    // True when the item is gone afterwards (a missing item included).
    bool remove(const QString& path) const;
    bool remove(const QByteArray& path) const;
    bool removeAt(int folderFd, const QByteArray& name) const;

private:
    bool m_secureDelete;
};
