#include "BrowserFolders.h"

#include "common/Names.h"

#include <QDir>

#include <array>

namespace {

struct Row
{
    QLatin1StringView browser;
    BrowserFolder folder;
    QLatin1StringView path;
};

using namespace Names::Browsers;
constexpr QLatin1StringView anyBrowser{""};

constexpr std::array rows{
    // Profiles
    Row{googleChrome, BrowserFolder::Support,
        QLatin1StringView{"~/Library/Application Support/Google/Chrome"}},
    Row{chromium, BrowserFolder::Support, QLatin1StringView{"~/Library/Application Support/Chromium"}},
    Row{opera, BrowserFolder::Support,
        QLatin1StringView{"~/Library/Application Support/com.operasoftware.Opera"}},
    Row{camino, BrowserFolder::Support, QLatin1StringView{"~/Library/Application Support/Camino"}},
    Row{googleChrome, BrowserFolder::LocalState,
        QLatin1StringView{"~/Library/Application Support/Google/Chrome/Local State"}},
    Row{chromium, BrowserFolder::LocalState,
        QLatin1StringView{"~/Library/Application Support/Chromium/Local State"}},
    Row{firefox, BrowserFolder::FirefoxProfiles,
        QLatin1StringView{"~/Library/Application Support/Firefox/Profiles/"}},

    // Favourites and cookies
    Row{googleChrome, BrowserFolder::CookieDatabase, QLatin1StringView{"Cookies"}},
    Row{chromium, BrowserFolder::CookieDatabase, QLatin1StringView{"Cookies"}},
    Row{opera, BrowserFolder::CookieDatabase, QLatin1StringView{"Cookies"}},
    Row{firefox, BrowserFolder::CookieDatabase, QLatin1StringView{"cookies.sqlite"}},
    Row{camino, BrowserFolder::CookieDatabase,
        QLatin1StringView{"~/Library/Application Support/Camino/cookies.sqlite"}},
    Row{googleChrome, BrowserFolder::ChannelIdDatabase, QLatin1StringView{"Origin Bound Certs"}},
    Row{chromium, BrowserFolder::ChannelIdDatabase, QLatin1StringView{"Origin Bound Certs"}},
    Row{opera, BrowserFolder::ChannelIdDatabase, QLatin1StringView{"Origin Bound Certs"}},
    Row{firefox, BrowserFolder::SavedLogins, QLatin1StringView{"signons.sqlite"}},
    Row{safari, BrowserFolder::CookieFile, QLatin1StringView{"~/Library/Cookies/Cookies.binarycookies"}},

    // Web storage and databases

    // Flash and Silverlight

    // Caches
};

} // namespace

namespace BrowserFolders {

QString entry(const QString& browser, BrowserFolder folder)
{
    for (const Row& row : rows) {
        if (row.folder == folder && row.browser == browser)
            return row.path;
    }
    return QString();
}

QString path(const QString& browser, BrowserFolder folder)
{
    return expandTilde(entry(browser, folder));
}

QString expandTilde(const QString& path)
{
    if (path == QLatin1String("~"))
        return QDir::homePath();
    if (path.startsWith(QLatin1String("~/")))
        return QDir::homePath() + path.mid(1);
    return path;
}

QString appending(const QString& base, const QString& component)
{
    if (component.isEmpty())
        return base;
    if (base.endsWith(QLatin1Char('/')))
        return base + component;
    return base + QLatin1Char('/') + component;
}

} // namespace BrowserFolders
