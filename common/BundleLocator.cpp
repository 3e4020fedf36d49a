#include "BundleLocator.h"

#include <QDir>

namespace BundleLocator {

QString removingLastComponents(const QString& path, int count)
{
    QString result = QDir::cleanPath(path);
    for (int i = 0; i < count; ++i) {
        const qsizetype slash = result.lastIndexOf(QLatin1Char('/'));
        if (slash < 0)
            return QString();
        result = slash == 0 ? QStringLiteral("/") : result.left(slash);
    }
    return result;
}

QString siblingBundle(const QString& ownBundle, const QString& bundleName)
{
    return removingLastComponents(ownBundle, 1) + QLatin1Char('/') + bundleName;
}

QString insideMainBundle(const QString& mainBundle, const QString& relativePath)
{
    return QDir::cleanPath(mainBundle) + QLatin1Char('/') + relativePath;
}

QString mainBundleFromMenuBar(const QString& menuBarBundle)
{
    return removingLastComponents(menuBarBundle, 3);
}

QString contentsFromLoginHelper(const QString& helperBundle)
{
    return removingLastComponents(helperBundle, 3);
}

QString mainBundleFromLoginHelper(const QString& helperBundle)
{
    return removingLastComponents(helperBundle, 4);
}

} // namespace BundleLocator
