#pragma once

#include "worker/KeepList.h"
#include "worker/SecureRemoval.h"

#include <QString>

// The local storage of one Chromium-family profile, in both of its formats: the LevelDB database
// "Local Storage/leveldb" and the newer SQLite file "LocalStorage". Every entry of an origin whose
// site is not kept goes; the kept origins' entries are never rewritten.
class ChromeLocalStorage
{
public:
    ChromeLocalStorage() = delete;

    // Deletes "META:<key>", "METAACCESS:<key>" and every "_<key>\x00<name>" of each storage key whose
    // own origin is not kept, then compacts so that the removed values leave the database's files.
    // A database that is locked, missing, of another version or that does not read cleanly is left
    // alone whole. Returns the number of distinct origins removed.
    [[nodiscard]] static qint64 cleanLevelDb(const QString& folder, const KeepList& keep,
                                             const SecureRemoval& removal);

    // The rows of table "maps" (and their "map_entries") whose storage key is not kept. Returns the
    // number of distinct origins removed.
    [[nodiscard]] static qint64 cleanSqlite(const QString& path, const KeepList& keep,
                                            const SecureRemoval& removal);
};
