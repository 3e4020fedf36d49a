#pragma once

#include "worker/KeepList.h"
#include "worker/SecureRemoval.h"

#include <QString>

// The sandboxed file systems of one Chromium-family profile ("File System"): the origin private file
// system and the older file system API. Its "Origins" LevelDB database names, per origin identifier,
// the folder that holds that origin's files ("ORIGIN:http_example.com_0" -> "000").
class ChromeFileSystem
{
public:
    ChromeFileSystem() = delete;

    // Removes the folder of every origin not kept, then its entry, so that an entry outlives its
    // folder and a pass cut short is finished by the next. A folder that cannot be removed keeps its
    // entry. An "Origins" database that is locked, missing or does not read cleanly, or that names a
    // folder outside "File System", is left alone whole. Returns the number of origins removed.
    [[nodiscard]] static qint64 clean(const QString& folder, const KeepList& keep,
                                      const SecureRemoval& removal);
};
