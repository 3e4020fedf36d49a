#pragma once

#include "worker/CookieInventory.h"
#include "worker/KeepList.h"
#include "worker/PassContext.h"

#include <QMap>
#include <QString>
#include <QStringList>

#include <optional>

// One cleaning pass for one browser: finds the browser name among the arguments, runs the steps in
// their fixed order, optionally tells the user what was removed, and ends.
class WorkerAppDelegate
{
public:
    explicit WorkerAppDelegate(QStringList arguments);

    // Entry.
    void awakeFromNib();
    void applicationDidFinishLaunching();
    // The browser name, or "Quit" when the arguments hold none.
    [[nodiscard]] QString startupCheck() const;
    void clearData(const QString& browser);
    void displayNotificationWithTitle(const QString& title, const QString& text);

    // The message of the pass, filled with the counts and the browser name.
    static QString resultMessage(qint64 cookies, qint64 trackingCookies, qint64 databases, qint64 flash,
                                 qint64 silverlight, const QString& browser);

    // Profiles. A pass visits every location of the browser (PassContext); these three read the first
    // layout only.
    // Chrome-family profile folder name -> display name, from "Local State"; empty when unreadable.
    [[nodiscard]] static QMap<QString, QString> userProfiles(const QString& browser);
    // The profiles a step visits: userProfiles for Google Chrome and Chromium, else one entry whose
    // key is empty, so that appending the key leaves the browser's own folder unchanged.
    [[nodiscard]] static QMap<QString, QString> profileMap(const QString& browser);
    // Full paths of the Firefox profile folders (directories only; links and files skipped).
    [[nodiscard]] static QStringList firefoxProfileFolders();

    // Favourites and cookies.
    // The site names of the saved web-form passwords; nullopt when they could not be read.
    std::optional<QStringList> getSmartFavouritesArray();
    // Firefox's own saved logins, in every profile of every location.
    std::optional<QStringList> getFirefoxSmartFavouritesArray();
    // The saved web-form logins that the browser keeps itself, in every profile (in use or not).
    [[nodiscard]] static std::optional<QStringList> savedLoginFavourites(const PassContext& context);
    // The 122 name prefixes of tracking cookies, removed whatever site set them.
    [[nodiscard]] static QStringList defaultTrackingCookies();
    // Every cookie of a site not kept, and every tracking cookie.
    // Each step also takes a pass context: the (browser, keep list) forms find the context themselves.
    [[nodiscard]] static CookieInventory cookies(const QString& browser, const KeepList& keepCookies);
    [[nodiscard]] static CookieInventory cookies(const PassContext& context);
    // [cookies removed, tracking cookies removed]
    QList<qint64> removeCookies(const QString& browser, const KeepList& keepCookies);
    static QList<qint64> removeCookies(const PassContext& context);
    static void deleteSafariCookies(const QList<CookieRecord>& cookies);
    // Channel-ID certificates of every site not kept, in each profile of the Chrome family and Opera.
    static void deleteChromeChannelID(const QString& browser, const KeepList& keep);
    static void deleteChromeChannelID(const PassContext& context);

    // Web storage, Flash, Silverlight and caches.
    // Web databases and local storage of every site not kept; the count of what was selected.
    qint64 removeNonFavLocalStorage(const QString& browser, const KeepList& keep);
    static qint64 removeNonFavLocalStorage(const PassContext& context);
    // The origin identifiers to remove, in input order; extension storage always stays.
    [[nodiscard]] static QStringList databaseArray(const QStringList& origins, const KeepList& keep);
    // The local-storage file names (as stored, any bytes) to remove, in input order.
    [[nodiscard]] static QList<QByteArray> localStorageArray(const QList<QByteArray>& names,
                                                             const QString& browser, const KeepList& keep);
    // The storage scopes of "webappsstore2" to remove, in input order.
    [[nodiscard]] static QStringList mozillaLocalStorage(const QStringList& scopes, const KeepList& keep);
    // Flash data of every site not kept: the distinct names removed system-wide, plus the Chrome
    // family's profile items.
    qint64 removeFlash(const QString& browser, const KeepList& keep);
    static qint64 removeFlash(const PassContext& context);
    // [distinct profile items seen, distinct profile items selected]; nullopt for other browsers.
    [[nodiscard]] static std::optional<QList<qint64>> clearChromeFlash(const QString& browser,
                                                                       const KeepList& keep);
    [[nodiscard]] static std::optional<QList<qint64>> clearChromeFlash(const PassContext& context);
    // Silverlight stores of every site not kept; the number of distinct sites selected.
    qint64 removeSilverlight(const KeepList& keep);
    void removeBrowserCache(const QString& browser);
    static void removeBrowserCache(const PassContext& context);
    static void clearExtraCache();
    static void clearExtraCookieCache();
    static void clearFireFoxCache();
    static void clearFireFoxCache(const PassContext& context);
    static void clearChromeCache(const QString& browser);
    static void clearChromeCache(const PassContext& context);

private:
    QStringList m_arguments;
};
