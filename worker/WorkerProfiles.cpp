#include "WorkerAppDelegate.h"

#include "common/Names.h"
#include "worker/BrowserLocations.h"

QMap<QString, QString> WorkerAppDelegate::userProfiles(const QString& browser)
{
    const auto location = BrowserLocations::first(
        browser == Names::Browsers::googleChrome ? browser : QString(Names::Browsers::chromium));
    return BrowserLocations::localStateProfiles(location->folder);
}

QMap<QString, QString> WorkerAppDelegate::profileMap(const QString& browser)
{
    if (browser == Names::Browsers::googleChrome || browser == Names::Browsers::chromium)
        return userProfiles(browser);
    return {{QString(), QStringLiteral("Opera")}};
}

QStringList WorkerAppDelegate::firefoxProfileFolders()
{
    QStringList folders;
    const auto location = BrowserLocations::first(Names::Browsers::firefox);
    for (const BrowserProfile& profile : BrowserLocations::profiles(*location))
        folders.append(profile.folder);
    return folders;
}
