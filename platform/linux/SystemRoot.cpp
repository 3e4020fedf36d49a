#include "platform/SystemRoot.h"

#include <QDir>

namespace SystemRoot {

QString prefix()
{
    const QString root = qEnvironmentVariable("VELTRANE_ROOT");
    if (root.isEmpty())
        return QString();
    const QString clean = QDir::cleanPath(root);
    return clean == QLatin1String("/") ? QString() : clean;
}

QString path(const QString& absolutePath)
{
    return prefix() + absolutePath;
}

} // namespace SystemRoot
