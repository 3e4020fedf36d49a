#pragma once

#include "worker/SecureRemoval.h"

#include <QString>

#include <leveldb/slice.h>

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace leveldb {
class DB;
}

// One edit of a browser's LevelDB database (Chromium's format: bytewise keys, Snappy-compressed
// tables), made only while the browser does not hold it: what is selected is deleted, then the
// database is compacted so that the removed values leave its files (overwritten first when secure
// deletion is on).
namespace LevelDbEdit {

struct Deletions
{
    std::vector<std::string> prefixes; // every key under each of these
    std::vector<std::string> keys;
};

// Reads the database once and says what to delete; nullopt leaves the database alone (another
// version, an entry that does not read cleanly).
using Selector = std::function<std::optional<Deletions>(leveldb::DB&)>;

// Opens the database in `folder` and deletes what `select` chose: the keys under the prefixes first,
// then the single keys, so that an edit cut short leaves the single keys (which lead to the rest)
// for the next one. `versionKey` names the entry that the compaction is made to end on. True when
// the whole selection was deleted; false for a folder without a database, a link, a locked or
// unreadable database, an empty selection or a write that failed.
bool run(const QString& folder, const std::string& versionKey, const SecureRemoval& removal,
         const Selector& select);

[[nodiscard]] inline std::string_view view(const leveldb::Slice& slice)
{
    return {slice.data(), slice.size()};
}

// The bytes as text; nullopt when they are not valid UTF-8 (what they name is left alone).
[[nodiscard]] std::optional<QString> utf8Text(std::string_view bytes);

} // namespace LevelDbEdit
