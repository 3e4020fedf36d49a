#include "WorkerAppDelegate.h"

std::optional<QStringList> WorkerAppDelegate::getSmartFavouritesArray()
{
    return QStringList();
}

std::optional<QStringList> WorkerAppDelegate::getFirefoxSmartFavouritesArray()
{
    return QStringList();
}

QList<qint64> WorkerAppDelegate::removeCookies(const QString& browser, const KeepList& keepCookies)
{
    Q_UNUSED(browser);
    Q_UNUSED(keepCookies);
    return {0, 0};
}
