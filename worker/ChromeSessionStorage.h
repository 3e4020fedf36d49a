#pragma once

#include "worker/KeepList.h"
#include "worker/SecureRemoval.h"

#include <QString>

// The session storage of one Chromium-family profile ("Session Storage", a LevelDB database), kept
// on disk for the tabs a restored session brings back. Each tab's namespace names, per storage key,
// a map ("namespace-<guid>-<storage key>" -> map number); the map's entries are "map-<n>-<key>".
class ChromeSessionStorage
{
public:
    ChromeSessionStorage() = delete;

    // Deletes the namespace entries of every storage key whose own origin is not kept, and the maps
    // that no kept entry still names (tabs cloned from one another share maps). A database that is
    // locked, missing, of another version or that does not read cleanly is left alone whole.
    // Returns the number of distinct origins removed.
    [[nodiscard]] static qint64 clean(const QString& folder, const KeepList& keep,
                                      const SecureRemoval& removal);
};
