#include "WorkerAppDelegate.h"

qint64 WorkerAppDelegate::removeNonFavLocalStorage(const QString& browser, const KeepList& keep)
{
    Q_UNUSED(browser);
    Q_UNUSED(keep);
    return 0;
}

qint64 WorkerAppDelegate::removeFlash(const QString& browser, const KeepList& keep)
{
    Q_UNUSED(browser);
    Q_UNUSED(keep);
    return 0;
}

qint64 WorkerAppDelegate::removeSilverlight(const KeepList& keep)
{
    Q_UNUSED(keep);
    return 0;
}

void WorkerAppDelegate::removeBrowserCache(const QString& browser)
{
    Q_UNUSED(browser);
}
