#include "platform/Preferences.h"

#include "PreferencesFile.h"
#include "platform/UserDefaults.h"

#include <QHash>
#include <QVariantMap>

namespace {

// Values set but not yet synchronized, per domain.
QHash<QString, QVariantMap>& pendingValues()
{
    static QHash<QString, QVariantMap> pending;
    return pending;
}

} // namespace

namespace Preferences {

void setValue(const QString& key, const QVariant& value, const QString& applicationId)
{
    pendingValues()[applicationId].insert(key, value);
}

bool synchronize(const QString& applicationId)
{
    auto& pending = pendingValues();
    const auto found = pending.find(applicationId);
    if (found == pending.end() || found->isEmpty())
        return true;
    PreferencesFile file(UserDefaults::pathForDomain(applicationId));
    if (!file.write(*found))
        return false;
    pending.erase(found);
    return true;
}

} // namespace Preferences
