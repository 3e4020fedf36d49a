#pragma once

#include "worker/KeepList.h"
#include "worker/SecureRemoval.h"

#include <QByteArray>
#include <QString>
#include <QStringView>

#include <optional>

// The site data of one Chromium-family profile folder: local storage (ChromeLocalStorage), session
// storage (ChromeSessionStorage), the sandboxed file systems (ChromeFileSystem), the first-party
// IndexedDB folders, the Cache Storage folders and the storage buckets of every origin not kept.
class ChromeSiteData
{
public:
    ChromeSiteData() = delete;

    // The whole profile is left alone while its local-storage database is locked (the browser
    // runs). Returns the number of stores removed: one per origin and kind of store.
    [[nodiscard]] static qint64 clean(const QString& profileFolder, const KeepList& keep,
                                      const SecureRemoval& removal);

    // "<scheme>_<host>_<port>.indexeddb.leveldb" and ".indexeddb.blob" of origins not kept; a
    // database whose own LOCK is held stays. Returns the number of origins removed.
    [[nodiscard]] static qint64 cleanIndexedDb(const QString& folder, const KeepList& keep,
                                               const SecureRemoval& removal);
    // The folders of "Service Worker/CacheStorage" whose index names an origin not kept. Returns the
    // number of origins removed.
    [[nodiscard]] static qint64 cleanCacheStorage(const QString& folder, const KeepList& keep,
                                                  const SecureRemoval& removal);

    // The storage buckets of "WebStorage" (the quota database "QuotaManager" and a folder per bucket
    // that holds data: the IndexedDB and Cache Storage of partitioned and non-default buckets) whose
    // storage key is not kept: the folders go, then the rows. Returns the number of origins whose
    // bucket folders were removed (the rows of default buckets alone count nothing: their data lies
    // in the folders counted by the other steps).
    [[nodiscard]] static qint64 cleanBuckets(const QString& folder, const KeepList& keep,
                                             const SecureRemoval& removal);

    // "http_example.com_0" -> "http://example.com:0"; nullopt when it is not of that form.
    [[nodiscard]] static std::optional<QString> originOfIdentifier(QStringView identifier);
    // The origin recorded in a Cache Storage "index.txt"; nullopt when it is malformed.
    [[nodiscard]] static std::optional<QString> originOfCacheIndex(const QByteArray& index);
};
