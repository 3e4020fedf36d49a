// Property lists, XML and binary: the preferences domain, bundles' Info.plist and Safari's lists.
#include "platform/PropertyList.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QVariant value =
        PropertyList::fromBytes(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)));
    if (!value.isValid())
        return 0;
    // What was read can be written, and what was written reads back.
    const QByteArray xml = PropertyList::toXml(value);
    if (!xml.isEmpty() && !PropertyList::fromBytes(xml).isValid())
        std::abort();
    return 0;
}
