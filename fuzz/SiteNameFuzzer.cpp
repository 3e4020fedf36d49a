// Site names and the parsers of origin identifiers, local-storage file names and storage scopes:
// every text they see comes from a browser's files or a folder listing.
#include "worker/WorkerAppDelegate.h"
#include "worker/WorkerExtras.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const QString text = QString::fromUtf8(bytes);

    const auto site = WorkerExtras::siteWithDomainName(text);

    const KeepList nothingKept;
    const KeepList keepsItsOwnSite{
        {site.value_or(QStringLiteral("example.com")), QStringLiteral("example.com")}};
    for (const KeepList* keep : {&nothingKept, &keepsItsOwnSite}) {
        // A selection is a sub-list of its input.
        if (WorkerAppDelegate::databaseArray({text, text}, *keep).size() > 2)
            std::abort();
        if (WorkerAppDelegate::mozillaLocalStorage({text}, *keep).size() > 1)
            std::abort();
        for (const char* browser : {"Safari", "Google Chrome", "Opera"}) {
            const auto selected =
                WorkerAppDelegate::localStorageArray({bytes}, QString::fromLatin1(browser), *keep);
            if (selected.size() > 1 || (selected.size() == 1 && selected.first() != bytes))
                std::abort();
        }
    }
    return 0;
}
