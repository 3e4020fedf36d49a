#include "ChromeSiteData.h"

#include "platform/DirectoryListing.h"
#include "platform/FileLock.h"
#include "platform/SmallFile.h"
#include "worker/BrowserFolders.h"
#include "worker/ChromeFileSystem.h"
#include "worker/ChromeLocalStorage.h"
#include "worker/ChromeSessionStorage.h"
#include "worker/SiteOrigin.h"
#include "worker/Sqlite.h"

#include <QFile>
#include <QMap>
#include <QSet>

namespace {

constexpr QLatin1StringView leveldbSuffix(".indexeddb.leveldb");
constexpr QLatin1StringView blobSuffix(".indexeddb.blob");
constexpr qint64 cacheIndexLimit = 1 << 20;

// Protocol-buffer wire format, as far as reading one string field of a message needs.
bool readVarint(const QByteArray& bytes, qsizetype* at, quint64* value)
{
    *value = 0;
    for (int shift = 0; shift < 64; shift += 7) {
        if (*at >= bytes.size())
            return false;
        const auto byte = static_cast<quint8>(bytes.at((*at)++));
        *value |= quint64(byte & 0x7f) << shift;
        if (!(byte & 0x80))
            return true;
    }
    return false;
}

} // namespace

qint64 ChromeSiteData::clean(const QString& profileFolder, const KeepList& keep, const SecureRemoval& removal)
{
    if (keep.keepsEverySite)
        return 0;
    const QString localStorage =
        BrowserFolders::appending(profileFolder, QStringLiteral("Local Storage/leveldb"));
    if (FileLock::state(BrowserFolders::appending(localStorage, QStringLiteral("LOCK"))) != LockState::Free)
        return 0;
    return ChromeLocalStorage::cleanLevelDb(localStorage, keep, removal) +
           ChromeLocalStorage::cleanSqlite(
               BrowserFolders::appending(profileFolder, QStringLiteral("LocalStorage")), keep, removal) +
           ChromeSessionStorage::clean(
               BrowserFolders::appending(profileFolder, QStringLiteral("Session Storage")), keep, removal) +
           cleanIndexedDb(BrowserFolders::appending(profileFolder, QStringLiteral("IndexedDB")), keep,
                          removal) +
           cleanCacheStorage(
               BrowserFolders::appending(profileFolder, QStringLiteral("Service Worker/CacheStorage")), keep,
               removal) +
           ChromeFileSystem::clean(BrowserFolders::appending(profileFolder, QStringLiteral("File System")),
                                   keep, removal) +
           cleanBuckets(BrowserFolders::appending(profileFolder, QStringLiteral("WebStorage")), keep,
                        removal);
}

qint64 ChromeSiteData::cleanIndexedDb(const QString& folder, const KeepList& keep,
                                      const SecureRemoval& removal)
{
    const FileDescriptor folderFd = DirectoryListing::openFolder(QFile::encodeName(folder));
    if (!folderFd.isOpen())
        return 0;
    // Identifier -> its folders (the database and, if any, its blobs).
    QMap<QString, QList<QByteArray>> folders;
    for (const DirectoryEntry& entry :
         DirectoryListing::list(folderFd.get()).value_or(QList<DirectoryEntry>())) {
        if (entry.type != DirectoryEntry::Type::Directory)
            continue; // a link is never followed, nor taken for a store
        const QString name = entry.displayName();
        for (const QLatin1StringView suffix : {leveldbSuffix, blobSuffix}) {
            if (name.endsWith(suffix))
                folders[name.chopped(suffix.size())].append(entry.name);
        }
    }
    qint64 removed = 0;
    for (auto it = folders.cbegin(); it != folders.cend(); ++it) {
        const auto origin = originOfIdentifier(it.key());
        if (!origin || !SiteOrigin::isRemoved(*origin, keep))
            continue;
        const QByteArray lock = DirectoryListing::appending(
            DirectoryListing::appending(QFile::encodeName(folder),
                                        QFile::encodeName(it.key() + leveldbSuffix)),
            "LOCK");
        if (FileLock::state(QFile::decodeName(lock)) != LockState::Free)
            continue;
        for (const QByteArray& name : it.value())
            removal.removeAt(folderFd.get(), name);
        ++removed;
    }
    return removed;
}

qint64 ChromeSiteData::cleanCacheStorage(const QString& folder, const KeepList& keep,
                                         const SecureRemoval& removal)
{
    const FileDescriptor folderFd = DirectoryListing::openFolder(QFile::encodeName(folder));
    if (!folderFd.isOpen())
        return 0;
    QSet<QString> origins;
    for (const DirectoryEntry& entry :
         DirectoryListing::list(folderFd.get()).value_or(QList<DirectoryEntry>())) {
        if (entry.type != DirectoryEntry::Type::Directory)
            continue;
        std::optional<QString> origin;
        {
            const FileDescriptor cache = DirectoryListing::openFolderAt(folderFd.get(), entry.name);
            if (!cache.isOpen())
                continue;
            if (const auto index = SmallFile::readAt(cache.get(), "index.txt", cacheIndexLimit))
                origin = originOfCacheIndex(*index);
        }
        if (!origin || !SiteOrigin::isRemoved(*origin, keep))
            continue;
        removal.removeAt(folderFd.get(), entry.name);
        origins.insert(SiteOrigin::ownOrigin(*origin));
    }
    return origins.size();
}

qint64 ChromeSiteData::cleanBuckets(const QString& folder, const KeepList& keep, const SecureRemoval& removal)
{
    const QString index = BrowserFolders::appending(folder, QStringLiteral("QuotaManager"));
    const FileDescriptor folderFd = DirectoryListing::openFolder(QFile::encodeName(folder));
    Sqlite database;
    if (!folderFd.isOpen() ||
        DirectoryListing::typeOf(QFile::encodeName(index)) != DirectoryEntry::Type::File ||
        !database.open(index))
        return 0;
    const auto rows = database.executeQuery(QStringLiteral("SELECT id, storage_key FROM buckets;"));
    QList<QVariantList> selected;
    QSet<QString> origins;
    for (const Sqlite::Row& row : rows.value_or(Sqlite::Rows())) {
        const QString storageKey = row.value(QStringLiteral("storage_key")).toString();
        const QByteArray id = row.value(QStringLiteral("id")).toString().toLatin1();
        if (!SiteOrigin::isRemoved(storageKey, keep) || !DirectoryListing::isPlainName(id))
            continue;
        const auto type = DirectoryListing::typeAt(folderFd.get(), id);
        if (type == DirectoryEntry::Type::Directory) {
            const QByteArray lock =
                DirectoryListing::appending(DirectoryListing::appending(QFile::encodeName(folder), id),
                                            "IndexedDB/indexeddb.leveldb/LOCK");
            if (FileLock::state(QFile::decodeName(lock)) != LockState::Free)
                continue;
            removal.removeAt(folderFd.get(), id);
            origins.insert(SiteOrigin::ownOrigin(storageKey));
        } else if (type) {
            continue; // a link or a file in place of the bucket's folder: left alone, and its row too
        }
        selected.append(QVariantList{row.value(QStringLiteral("id"))});
    }
    if (selected.isEmpty())
        return origins.size();
    if (removal.secureDelete())
        (void)database.executeNonQuery(QStringLiteral("PRAGMA secure_delete = ON;"));
    if (!database.beginTransaction())
        return origins.size();
    if (!database.executeNonQuery(QStringLiteral("DELETE FROM buckets WHERE id = ?;"), selected) ||
        !database.commit())
        (void)database.rollback();
    return origins.size();
}

std::optional<QString> ChromeSiteData::originOfIdentifier(QStringView identifier)
{
    const qsizetype first = identifier.indexOf(QLatin1Char('_'));
    const qsizetype last = identifier.lastIndexOf(QLatin1Char('_'));
    if (first <= 0 || last <= first + 1 || last == identifier.size() - 1)
        return std::nullopt;
    return identifier.left(first).toString() + QLatin1String("://") +
           identifier.mid(first + 1, last - first - 1).toString() + QLatin1Char(':') +
           identifier.mid(last + 1).toString();
}

std::optional<QString> ChromeSiteData::originOfCacheIndex(const QByteArray& index)
{
    // CacheStorageIndex: field 2 is the origin, field 3 the storage key (newer indexes).
    constexpr quint64 originField = 2;
    constexpr quint64 storageKeyField = 3;
    std::optional<QString> origin;
    std::optional<QString> storageKey;
    qsizetype at = 0;
    while (at < index.size()) {
        quint64 tag = 0;
        quint64 value = 0;
        if (!readVarint(index, &at, &tag))
            return std::nullopt;
        switch (tag & 7) {
        case 0:
            if (!readVarint(index, &at, &value))
                return std::nullopt;
            break;
        case 1:
            at += 8;
            break;
        case 5:
            at += 4;
            break;
        case 2: {
            if (!readVarint(index, &at, &value) || value > quint64(index.size() - at))
                return std::nullopt;
            const QByteArray field = index.mid(at, qsizetype(value));
            if (tag >> 3 == originField)
                origin = QString::fromUtf8(field);
            else if (tag >> 3 == storageKeyField)
                storageKey = QString::fromUtf8(field);
            at += qsizetype(value);
            break;
        }
        default:
            return std::nullopt;
        }
    }
    if (at != index.size())
        return std::nullopt;
    return origin ? origin : storageKey;
}
