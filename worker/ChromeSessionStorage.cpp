#include "ChromeSessionStorage.h"

#include "worker/LevelDbEdit.h"
#include "worker/SiteOrigin.h"

#include <QSet>

#include <leveldb/db.h>

#include <charconv>
#include <memory>
#include <set>
#include <string_view>

namespace {

constexpr std::string_view versionKey = "version";
constexpr std::string_view supportedVersion = "1";
constexpr std::string_view namespacePrefix = "namespace-";
constexpr std::string_view mapPrefix = "map-";
// "namespace-" + a 36-character namespace identifier + "-", then the storage key.
constexpr size_t storageKeyOffset = namespacePrefix.size() + 36 + 1;

bool isMapNumber(std::string_view value)
{
    long long number = 0;
    const auto result = std::from_chars(value.data(), value.data() + value.size(), number);
    return !value.empty() && result.ec == std::errc() && result.ptr == value.data() + value.size() &&
           number >= 0;
}

} // namespace

qint64 ChromeSessionStorage::clean(const QString& folder, const KeepList& keep, const SecureRemoval& removal)
{
    if (keep.keepsEverySite)
        return 0;
    QSet<QString> origins;
    const bool deleted =
        LevelDbEdit::run(folder, std::string(versionKey), removal, [&keep, &origins](leveldb::DB& db) {
            leveldb::ReadOptions options;
            options.fill_cache = false;
            options.verify_checksums = true;
            std::unique_ptr<leveldb::Iterator> it(db.NewIterator(options));
            std::optional<LevelDbEdit::Deletions> deletions;
            std::set<std::string> removedMaps;
            std::set<std::string> keptMaps;
            LevelDbEdit::Deletions selected;
            for (it->Seek(std::string(namespacePrefix));
                 it->Valid() && it->key().starts_with(std::string(namespacePrefix)); it->Next()) {
                const std::string_view key = LevelDbEdit::view(it->key());
                const std::string_view map = LevelDbEdit::view(it->value());
                // The browser's own placeholders ("namespace-", "namespace-<guid>-") name no map.
                if (key.size() <= storageKeyOffset)
                    continue;
                if (key[storageKeyOffset - 1] != '-' || !isMapNumber(map))
                    return deletions; // not the layout the browser reads: left to the browser
                const auto storageKey = LevelDbEdit::utf8Text(key.substr(storageKeyOffset));
                if (!storageKey || !SiteOrigin::isRemoved(*storageKey, keep)) {
                    keptMaps.emplace(map);
                    continue;
                }
                selected.keys.emplace_back(key);
                removedMaps.emplace(map);
                origins.insert(SiteOrigin::ownOrigin(*storageKey));
            }
            if (!it->status().ok())
                return deletions;
            std::string version;
            if (!db.Get(options, std::string(versionKey), &version).ok() || version != supportedVersion)
                return deletions;
            for (const std::string& map : removedMaps) {
                if (!keptMaps.contains(map))
                    selected.prefixes.push_back(std::string(mapPrefix) + map + '-');
            }
            deletions = std::move(selected);
            return deletions;
        });
    return deleted ? origins.size() : 0;
}
