#include "platform/Preferences.h"

// Placeholder until the file store lands.
namespace Preferences {

void setValue(const QString&, const QVariant&, const QString&) {}

bool synchronize(const QString&)
{
    return false;
}

} // namespace Preferences
