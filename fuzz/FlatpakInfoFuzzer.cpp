// The ".flatpak-info" key file at the root of a sandbox: its processes can write what they like there
// in a namespace of their own, so the daemon reads it as outside input.
#include "platform/linux/FlatpakInfo.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const auto instance =
        FlatpakInfo::parse(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)));
    // An instance always names its application.
    if (instance && instance->application.isEmpty())
        std::abort();
    return 0;
}
