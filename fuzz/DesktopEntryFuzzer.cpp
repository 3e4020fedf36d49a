// Autostart desktop entries: the user's folder is read back as the list of login items.
#include "FuzzHome.h"

#include "platform/LoginItems.h"

#include <QFile>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString home = FuzzHome::path();
    // Only the entry of this input is read: no system folder takes part.
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home + QStringLiteral("/.config")));
    qputenv("XDG_CONFIG_DIRS", QFile::encodeName(home + QStringLiteral("/no-system-folder")));
    const QString entry = LoginItems::userFolder() + QStringLiteral("/fuzzed.desktop");
    if (!FuzzHome::write(entry, QByteArray(reinterpret_cast<const char*>(data), qsizetype(size))))
        return 0;
    const QList<LoginItems::Job> jobs = LoginItems::jobs();
    // Whatever the entry holds, it is one job under its file's name.
    if (jobs.size() != 1 || jobs.first().label != QLatin1String("fuzzed"))
        std::abort();
    return 0;
}
