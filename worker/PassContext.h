#pragma once

#include "worker/BrowserFolders.h"
#include "worker/BrowserLocations.h"
#include "worker/KeepList.h"
#include "worker/SecureRemoval.h"

#include <QList>
#include <QString>

// What every step of one pass works on, found once when the pass starts: the browser, each of its
// locations that exists, the profiles there, the keep list and the removal rule.
struct PassContext
{
    QString browser;
    KeepList keep;
    SecureRemoval removal{false};
    QList<BrowserLocation> locations;
    // Profiles the pass may clean, each folder once over all locations.
    QList<BrowserProfile> profiles;
    // Profiles a running browser still uses: the pass leaves them whole.
    QList<BrowserProfile> profilesInUse;

    // The locations and profiles of `browser` as they are now, with an empty keep list.
    [[nodiscard]] static PassContext forBrowser(const QString& browser, SecureRemoval removal);
    // The same with `keep` as keep list and the secureDeleteData setting as removal rule.
    [[nodiscard]] static PassContext forBrowser(const QString& browser, const KeepList& keep);

    // The profile folders, free or in use, of every location.
    [[nodiscard]] QList<BrowserProfile> everyProfile() const;
    // The file of this row inside each free profile, where it is a regular file reached through no link.
    [[nodiscard]] QStringList filesInProfiles(BrowserFolder file) const;
};
