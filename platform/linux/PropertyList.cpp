#include "platform/PropertyList.h"

// Placeholder until the property-list reader lands.
namespace PropertyList {

ReadResult readFile(const QString&)
{
    return {};
}

QVariant fromBytes(const QByteArray&)
{
    return {};
}

QByteArray toXml(const QVariant&)
{
    return {};
}

} // namespace PropertyList
