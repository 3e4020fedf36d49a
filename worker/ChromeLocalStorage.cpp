#include "ChromeLocalStorage.h"

#include "platform/DirectoryListing.h"
#include "worker/SecureLevelDbEnv.h"
#include "worker/SiteOrigin.h"
#include "worker/Sqlite.h"

#include <QFile>
#include <QSet>
#include <QStringDecoder>

#include <leveldb/db.h>
#include <leveldb/write_batch.h>

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
// A batch is written once it holds this much; each batch is applied whole or not at all.
constexpr size_t batchBytes = size_t(1) << 20;

// LevelDB's own log would name the keys it compacts; Chromium's "LOG" stays as the browser left it.
class SilentLogger : public leveldb::Logger
{
public:
    void Logv(const char*, std::va_list) override {}
};

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

// The key as text; nullopt when it is not valid UTF-8 (such entries are left alone).
std::optional<QString> decoded(std::string_view bytes)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decoder(QByteArrayView(bytes.data(), qsizetype(bytes.size())));
    if (decoder.hasError())
        return std::nullopt;
    return text;
}

std::string_view view(const leveldb::Slice& slice)
{
    return {slice.data(), slice.size()};
}

leveldb::Options optionsWith(leveldb::Env* env, leveldb::Logger* logger)
{
    leveldb::Options options; // Chromium's format: bytewise comparator, Snappy-compressed tables
    options.create_if_missing = false;
    options.error_if_exists = false;
    options.paranoid_checks = true;
    options.env = env;
    options.info_log = logger;
    return options;
}

struct Selection
{
    std::set<std::string> storageKeys; // sorted, as the entries of each key are
    QSet<QString> origins;
    bool hasVersion = false;
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
        const std::string_view key = view(it->key());
        if (key == versionKey) {
            if (view(it->value()) != supportedVersion)
                return std::nullopt;
            selection.hasVersion = true;
            continue;
        }
        const auto storageKey = storageKeyOf(key);
        if (!storageKey)
            continue;
        // The entries of one storage key lie together: judge each key once.
        if (*storageKey != lastKey) {
            lastKey = std::string(*storageKey);
            const auto text = decoded(*storageKey);
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

bool writeIfFull(leveldb::DB& db, leveldb::WriteBatch* batch, size_t limit)
{
    if (batch->ApproximateSize() < limit)
        return true;
    const bool written = db.Write(leveldb::WriteOptions(), batch).ok();
    batch->Clear();
    return written;
}

// Deletes every entry of the selected storage keys, in batches of bounded size.
bool deleteEntries(leveldb::DB& db, const std::set<std::string>& storageKeys)
{
    leveldb::ReadOptions options;
    options.fill_cache = false;
    std::unique_ptr<leveldb::Iterator> it(db.NewIterator(options));
    leveldb::WriteBatch batch;
    for (const std::string& storageKey : storageKeys) {
        batch.Delete(std::string(metaPrefix) + storageKey);
        batch.Delete(std::string(metaAccessPrefix) + storageKey);
        std::string prefix = std::string(dataPrefix) + storageKey;
        prefix.push_back('\0');
        for (it->Seek(prefix); it->Valid() && it->key().starts_with(prefix); it->Next()) {
            batch.Delete(it->key());
            if (!writeIfFull(db, &batch, batchBytes))
                return false;
        }
        if (!it->status().ok())
            return false;
    }
    return writeIfFull(db, &batch, 0);
}

} // namespace

qint64 ChromeLocalStorage::cleanLevelDb(const QString& folder, const KeepList& keep,
                                        const SecureRemoval& removal)
{
    const QByteArray path = QFile::encodeName(folder);
    // A folder without "CURRENT" is no database; opening would still leave a LOCK file in it.
    if (keep.keepsEverySite || DirectoryListing::typeOf(path) != DirectoryEntry::Type::Directory ||
        DirectoryListing::typeOf(DirectoryListing::appending(path, "CURRENT")) != DirectoryEntry::Type::File)
        return 0;
    SecureLevelDbEnv env(removal);
    SilentLogger logger;
    const leveldb::Options options = optionsWith(&env, &logger);
    leveldb::DB* opened = nullptr;
    // Opening takes the database's LOCK; it fails while the browser holds it.
    if (!leveldb::DB::Open(options, path.toStdString(), &opened).ok())
        return 0;
    std::unique_ptr<leveldb::DB> db(opened);
    const auto selection = select(*db, keep);
    if (!selection || selection->storageKeys.empty())
        return 0;
    if (deleteEntries(*db, selection->storageKeys)) {
        db->CompactRange(nullptr, nullptr);
        // The manifest keeps, for every level compacted, the largest key that level's last compaction
        // read: often a removed one. Compacting once more from a rewrite of the unchanged "VERSION"
        // entry leaves that key there instead.
        if (selection->hasVersion &&
            db->Put(leveldb::WriteOptions(), std::string(versionKey), std::string(supportedVersion)).ok())
            db->CompactRange(nullptr, nullptr);
    }
    db.reset();
    // Opening once more starts a fresh manifest, so that the old one, which still names the removed
    // keys as bounds of the tables it listed, is discarded (and overwritten with secure deletion on).
    if (leveldb::DB::Open(options, path.toStdString(), &opened).ok())
        delete opened;
    return selection->origins.size();
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
        const auto text = decoded(std::string_view(storageKey.constData(), size_t(storageKey.size())));
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
