// Chrome's "Local State": the profile list read from it names folders the worker then visits.
#include "FuzzHome.h"

#include "common/Names.h"
#include "worker/BrowserFolders.h"
#include "worker/BrowserLocations.h"
#include "worker/WorkerAppDelegate.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    (void)FuzzHome::path();
    const QString browser(Names::Browsers::googleChrome);
    const QString localState =
        BrowserFolders::appending(BrowserLocations::first(browser)->folder, QStringLiteral("Local State"));
    if (!FuzzHome::write(localState, QByteArray(reinterpret_cast<const char*>(data), qsizetype(size))))
        return 0;
    const auto profiles = WorkerAppDelegate::userProfiles(browser);
    // Every profile is one folder inside the browser's own folder.
    for (auto it = profiles.keyBegin(); it != profiles.keyEnd(); ++it) {
        if (it->isEmpty() || it->contains(QLatin1Char('/')) || *it == QLatin1String(".") ||
            *it == QLatin1String(".."))
            std::abort();
    }
    return 0;
}
