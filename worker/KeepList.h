#pragma once

#include <QStringList>

// The site names whose data a pass keeps. When the favourites could not be read, every site
// counts as kept, so that a failed read never signs the user out everywhere: only tracking
// cookies and caches go then.
struct KeepList
{
    QStringList sites;
    bool keepsEverySite = false;

    [[nodiscard]] bool keeps(const QString& siteName) const
    {
        return keepsEverySite || sites.contains(siteName);
    }
};
