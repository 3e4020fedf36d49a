#pragma once

#include "worker/KeepList.h"
#include "worker/SecureRemoval.h"

#include <QByteArray>
#include <QString>

#include <optional>

// The per-site storage of one Firefox profile: the folders of "storage/default", "storage/temporary"
// and "storage/private" (local storage, IndexedDB, Cache Storage of one origin each, with their
// "^userContextId=" and "^partitionKey=" variants) and Firefox's own records of them
// ("storage.sqlite", "storage/ls-archive.sqlite").
class FirefoxSiteStorage
{
public:
    FirefoxSiteStorage() = delete;

    // Removes the folder of every origin not kept, judged by the origin its ".metadata-v2" records,
    // and drops the removed origins from Firefox's records. Nothing is done while the profile's
    // ".parentlock" is held. Returns the number of distinct origins removed, once per store folder.
    [[nodiscard]] static qint64 clean(const QString& profileFolder, const KeepList& keep,
                                      const SecureRemoval& removal);

    // The origin, attributes included ("https://a.com^userContextId=2"), recorded in a
    // ".metadata-v2"; nullopt when the record is malformed.
    [[nodiscard]] static std::optional<QString> originOfMetadata(const QByteArray& metadata);

    // "moc.elpmaxe.:https:443" (a key of "ls-archive.sqlite") -> "https://example.com:443".
    [[nodiscard]] static std::optional<QString> originOfArchiveKey(const QString& originKey);

private:
    // One store folder ("storage/<repository>") and its rows in "storage.sqlite".
    static qint64 cleanRepository(const QString& profileFolder, const QString& repository,
                                  const KeepList& keep, const SecureRemoval& removal);
};
