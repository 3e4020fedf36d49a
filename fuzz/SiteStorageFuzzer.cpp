// The origins of today's per-site stores: Firefox's ".metadata-v2" records and "ls-archive.sqlite"
// keys, Chromium's Cache Storage indexes and origin identifiers, and the serialized origins
// (partitions and attributes included) that both browsers write.
#include "worker/ChromeSiteData.h"
#include "worker/FirefoxSiteStorage.h"
#include "worker/SiteOrigin.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

// A store's own origin is where its serialized form starts, and only a web origin is ever removed.
void checkOrigin(const QString& serialized)
{
    if (!serialized.startsWith(SiteOrigin::ownOrigin(serialized)))
        std::abort();
    const KeepList nothingKept;
    if (SiteOrigin::isRemoved(serialized, nothingKept) && !SiteOrigin::webHost(serialized))
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    checkOrigin(QString::fromUtf8(bytes));
    if (const auto origin = FirefoxSiteStorage::originOfMetadata(bytes))
        checkOrigin(*origin);
    if (const auto origin = FirefoxSiteStorage::originOfArchiveKey(QString::fromUtf8(bytes)))
        checkOrigin(*origin);
    if (const auto origin = ChromeSiteData::originOfCacheIndex(bytes))
        checkOrigin(*origin);
    if (const auto origin = ChromeSiteData::originOfIdentifier(QString::fromUtf8(bytes)))
        checkOrigin(*origin);
    return 0;
}
