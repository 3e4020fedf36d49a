#include "RunningBrowserGuard.h"

#include "platform/FileLock.h"
#include "platform/LocalProcesses.h"
#include "worker/BrowserFolders.h"

#include <QFile>
#include <QFileInfo>

namespace {

// Chromium's "SingletonLock" is a link whose target, which never exists, reads "<host>-<pid>".
// Anything else (a regular file, a target that does not parse) names no running browser.
bool singletonLockIsHeld(const BrowserLocation& location)
{
    const QString name = BrowserFolders::entry(location.browser, BrowserFolder::SingletonLock);
    if (name.isEmpty())
        return false;
    const QFileInfo lock(BrowserFolders::appending(location.folder, name));
    if (!lock.isSymLink())
        return false;
    const QString target = lock.symLinkTarget().section(QLatin1Char('/'), -1);
    const qsizetype dash = target.lastIndexOf(QLatin1Char('-'));
    if (dash <= 0)
        return false;
    bool isNumber = false;
    const qint64 pid = target.mid(dash + 1).toLongLong(&isNumber);
    if (!isNumber)
        return false;
    // A browser of another machine that shares this home cannot be asked: it may run.
    if (target.left(dash) != LocalProcesses::hostName())
        return true;
    return LocalProcesses::isAlive(pid);
}

} // namespace

namespace RunningBrowserGuard {

bool isInUse(const BrowserLocation& location, const BrowserProfile& profile)
{
    // The lock on the local-storage database works across process namespaces (Flatpak), where
    // the process number of "SingletonLock" means nothing here.
    if (singletonLockIsHeld(location))
        return true;
    for (const BrowserFolder lock : {BrowserFolder::LocalStorageLock, BrowserFolder::ParentLock}) {
        const QString name = BrowserFolders::entry(profile.browser, lock);
        if (!name.isEmpty() &&
            FileLock::isHeldByAnotherProcess(BrowserFolders::appending(profile.folder, name)))
            return true;
    }
    return false;
}

} // namespace RunningBrowserGuard
