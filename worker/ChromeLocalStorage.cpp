#include "ChromeLocalStorage.h"

#include "platform/DirectoryListing.h"
#include "worker/LevelDbEdit.h"
#include "worker/SiteOrigin.h"
#include "worker/Sqlite.h"

#include <QFile>
#include <QSet>

#include <leveldb/db.h>

#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>

namespace {

constexpr std::string_view versionKey = "VERSION";
constexpr std::string_view supportedVersion = "1";
constexpr std::string_view metaPrefix = "META:";
constexpr std::string_view metaAccessPrefix = "METAACCESS:";
constexpr std::string_view dataPrefix = "_";

// The storage key of a local-storage entry; nullopt for "VERSION" and any other key.
std::optional<std::string_view> storageKeyOf(std::string_view key)
{
    if (key.starts_with(metaAccessPrefix))
        return key.substr(metaAccessPrefix.size());
    if (key.starts_with(metaPrefix))
        return key.substr(metaPrefix.size());
    if (key.starts_with(dataPrefix)) {
        const size_t end = key.find('\0');
        if (end == std::string_view::npos)
            return std::nullopt;
        return key.substr(dataPrefix.size(), end - dataPrefix.size());
    }
    return std::nullopt;
}

struct Selection
{
    std::set<std::string> storageKeys; // sorted, as the entries of each key are
    QSet<QString> origins;
};

// Reads every key once; nullopt when the database is of another version or does not read cleanly.
std::optional<Selection> select(leveldb::DB& db, const KeepList& keep)
{
    Selection selection;
    leveldb::ReadOptions options;
    options.fill_cache = false;
    options.verify_checksums = true;
    std::unique_ptr<leveldb::Iterator> it(db.NewIterator(options));
    std::string lastKey;
    bool lastRemoved = false;
    for (it->SeekToFirst(); it->Valid(); it->Next()) {
        const std::string_view key = LevelDbEdit::view(it->key());
        if (key == versionKey) {
            if (LevelDbEdit::view(it->value()) != supportedVersion)
                return std::nullopt;
            continue;
        }
        const auto storageKey = storageKeyOf(key);
        if (!storageKey)
            continue;
        // The entries of one storage key lie together: judge each key once.
        if (*storageKey != lastKey) {
            lastKey = std::string(*storageKey);
            const auto text = LevelDbEdit::utf8Text(*storageKey);
            lastRemoved = text && SiteOrigin::isRemoved(*text, keep);
            if (lastRemoved) {
                selection.storageKeys.insert(lastKey);
                selection.origins.insert(SiteOrigin::ownOrigin(*text));
            }
        }
    }
    if (!it->status().ok())
        return std::nullopt;
    return selection;
}

} // namespace

qint64 ChromeLocalStorage::cleanLevelDb(const QString& folder, const KeepList& keep,
                                        const SecureRemoval& removal)
{
    if (keep.keepsEverySite)
        return 0;
    QSet<QString> origins;
    const bool deleted =
        LevelDbEdit::run(folder, std::string(versionKey), removal, [&keep, &origins](leveldb::DB& db) {
            std::optional<LevelDbEdit::Deletions> deletions;
            if (const auto selection = select(db, keep)) {
                deletions.emplace();
                for (const std::string& storageKey : selection->storageKeys) {
                    deletions->prefixes.push_back(std::string(dataPrefix) + storageKey + '\0');
                    deletions->keys.push_back(std::string(metaPrefix) + storageKey);
                    deletions->keys.push_back(std::string(metaAccessPrefix) + storageKey);
                }
                origins = selection->origins;
            }
            return deletions;
        });
    return deleted ? origins.size() : 0;
}

qint64 ChromeLocalStorage::cleanSqlite(const QString& path, const KeepList& keep,
                                       const SecureRemoval& removal)
{
    if (keep.keepsEverySite ||
        DirectoryListing::typeOf(QFile::encodeName(path)) != DirectoryEntry::Type::File)
        return 0;
    Sqlite database;
    if (!database.open(path))
        return 0;
    const auto rows = database.executeQuery(QStringLiteral("SELECT row_id, storage_key FROM maps;"));
    if (!rows)
        return 0;
    QList<QVariantList> selected;
    QSet<QString> origins;
    for (const Sqlite::Row& row : *rows) {
        const QByteArray storageKey = row.value(QStringLiteral("storage_key")).toByteArray();
        const auto text =
            LevelDbEdit::utf8Text(std::string_view(storageKey.constData(), size_t(storageKey.size())));
        if (text && SiteOrigin::isRemoved(*text, keep)) {
            selected.append(QVariantList{row.value(QStringLiteral("row_id"))});
            origins.insert(SiteOrigin::ownOrigin(*text));
        }
    }
    if (selected.isEmpty())
        return 0;
    // SQLite keeps deleted rows in its free pages unless told to overwrite them.
    if (removal.secureDelete())
        (void)database.executeNonQuery(QStringLiteral("PRAGMA secure_delete = ON;"));
    if (!database.beginTransaction())
        return origins.size();
    if (database.executeNonQuery(QStringLiteral("DELETE FROM map_entries WHERE map_id = ?;"), selected) &&
        database.executeNonQuery(QStringLiteral("DELETE FROM maps WHERE row_id = ?;"), selected) &&
        database.commit())
        return origins.size();
    (void)database.rollback();
    return origins.size();
}
