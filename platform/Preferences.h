#pragma once

#include <QString>
#include <QVariant>

// Direct access to a preferences domain of the current user, any host, without the defaults layer:
// the daemon publishes its one key this way.
namespace Preferences {

// Stores the value in this process; a null QVariant removes the key.
void setValue(const QString& key, const QVariant& value, const QString& applicationId);

// Writes the pending values of the domain to disk at once, merged with other processes' keys.
bool synchronize(const QString& applicationId);

} // namespace Preferences
