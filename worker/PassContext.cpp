#include "PassContext.h"

#include "worker/BrowserFolders.h"
#include "worker/RunningBrowserGuard.h"

#include <QSet>

PassContext PassContext::forBrowser(const QString& browser, SecureRemoval removal)
{
    PassContext context{browser, KeepList(), removal, BrowserLocations::existing(browser), {}, {}};
    QSet<QString> seen;
    for (qsizetype index = 0; index < context.locations.size(); ++index) {
        const BrowserLocation& location = context.locations.at(index);
        for (BrowserProfile profile : BrowserLocations::profiles(location)) {
            // The same folder reached from two locations is one profile, cleaned and counted once.
            const QString id = BrowserLocations::identity(profile.folder);
            if (seen.contains(id))
                continue;
            seen.insert(id);
            profile.location = index;
            if (RunningBrowserGuard::isInUse(location, profile))
                context.profilesInUse.append(profile);
            else
                context.profiles.append(profile);
        }
    }
    return context;
}

PassContext PassContext::forBrowser(const QString& browser, const KeepList& keep)
{
    PassContext context = forBrowser(browser, SecureRemoval::fromSettings());
    context.keep = keep;
    return context;
}

QList<BrowserProfile> PassContext::everyProfile() const
{
    return profiles + profilesInUse;
}

QStringList PassContext::filesInProfiles(BrowserFolder file) const
{
    QStringList files;
    for (const BrowserProfile& profile : profiles) {
        const QString relative = BrowserFolders::entry(profile.browser, file);
        if (relative.isEmpty())
            continue;
        const QString path = BrowserLocations::regularFileIn(profile.folder, relative);
        if (!path.isEmpty())
            files.append(path);
    }
    return files;
}
