#include "LevelDbEdit.h"

#include "platform/DirectoryListing.h"
#include "worker/SecureLevelDbEnv.h"

#include <QFile>
#include <QStringDecoder>

#include <leveldb/db.h>
#include <leveldb/write_batch.h>

#include <memory>

namespace LevelDbEdit {

namespace {

// A batch is written once it holds this much; each batch is applied whole or not at all.
constexpr size_t batchBytes = size_t(1) << 20;

// LevelDB's own log would name the keys it compacts; the browser's "LOG" stays as it left it.
class SilentLogger : public leveldb::Logger
{
public:
    void Logv(const char*, std::va_list) override {}
};

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

bool writeIfFull(leveldb::DB& db, leveldb::WriteBatch* batch, size_t limit)
{
    if (batch->ApproximateSize() < limit)
        return true;
    const bool written = db.Write(leveldb::WriteOptions(), batch).ok();
    batch->Clear();
    return written;
}

bool deleteAll(leveldb::DB& db, const Deletions& deletions)
{
    leveldb::ReadOptions options;
    options.fill_cache = false;
    std::unique_ptr<leveldb::Iterator> it(db.NewIterator(options));
    leveldb::WriteBatch batch;
    for (const std::string& prefix : deletions.prefixes) {
        for (it->Seek(prefix); it->Valid() && it->key().starts_with(prefix); it->Next()) {
            batch.Delete(it->key());
            if (!writeIfFull(db, &batch, batchBytes))
                return false;
        }
        if (!it->status().ok())
            return false;
    }
    if (!writeIfFull(db, &batch, 0))
        return false;
    for (const std::string& key : deletions.keys) {
        batch.Delete(key);
        if (!writeIfFull(db, &batch, batchBytes))
            return false;
    }
    return writeIfFull(db, &batch, 0);
}

} // namespace

std::optional<QString> utf8Text(std::string_view bytes)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decoder(QByteArrayView(bytes.data(), qsizetype(bytes.size())));
    if (decoder.hasError())
        return std::nullopt;
    return text;
}

bool run(const QString& folder, const std::string& versionKey, const SecureRemoval& removal,
         const Selector& select)
{
    const QByteArray path = QFile::encodeName(folder);
    // A folder without "CURRENT" is no database; opening would still leave a LOCK file in it.
    if (DirectoryListing::typeOf(path) != DirectoryEntry::Type::Directory ||
        DirectoryListing::typeOf(DirectoryListing::appending(path, "CURRENT")) != DirectoryEntry::Type::File)
        return false;
    SecureLevelDbEnv env(removal);
    SilentLogger logger;
    const leveldb::Options options = optionsWith(&env, &logger);
    leveldb::DB* opened = nullptr;
    // Opening takes the database's LOCK; it fails while the browser holds it.
    if (!leveldb::DB::Open(options, path.toStdString(), &opened).ok())
        return false;
    std::unique_ptr<leveldb::DB> db(opened);
    const auto deletions = select(*db);
    if (!deletions || (deletions->prefixes.empty() && deletions->keys.empty()))
        return false;
    const bool deleted = deleteAll(*db, *deletions);
    if (deleted) {
        db->CompactRange(nullptr, nullptr);
        // The manifest keeps, for every level compacted, the largest key that level's last compaction
        // read: often a removed one. Compacting once more from a rewrite of the unchanged version
        // entry leaves that key there instead.
        std::string version;
        if (db->Get(leveldb::ReadOptions(), versionKey, &version).ok() &&
            db->Put(leveldb::WriteOptions(), versionKey, version).ok())
            db->CompactRange(nullptr, nullptr);
    }
    db.reset();
    // Opening once more starts a fresh manifest, so that the old one, which still names the removed
    // keys as bounds of the tables it listed, is discarded (and overwritten with secure deletion on).
    if (leveldb::DB::Open(options, path.toStdString(), &opened).ok())
        delete opened;
    return deleted;
}

} // namespace LevelDbEdit
