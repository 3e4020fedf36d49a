#include "WorkerAppDelegate.h"

#include "common/Names.h"
#include "platform/HttpCookieStorage.h"
#include "worker/BrowserFolders.h"
#include "worker/SecureRemoval.h"
#include "worker/BrowserLogins.h"
#include "worker/Sqlite.h"
#include "worker/WorkerExtras.h"

#include <QFileInfo>
#include <QHash>
#include <QSet>

#include <algorithm>

using namespace Names::Browsers;

namespace {

// How one kind of cookie database is read and how one of its rows is deleted.
struct CookieTable
{
    QLatin1StringView select;
    QLatin1StringView remove;
    QLatin1StringView rowColumn; // empty when the id column is the row's own key
    QLatin1StringView hostColumn;
    QLatin1StringView idColumn;
};

// Only the columns a record is sorted and deleted by are read: today's rows carry some twenty.
// Rows are read in row order, in which their deletes visit the table's pages one after another.
// Chrome's creation time is not unique, so its delete also names the row that was read: a kept
// cookie of the same host and creation time must not go with it.
constexpr CookieTable chromeCookies{
    QLatin1StringView{
        "SELECT rowid AS cookie_row, host_key, name, creation_utc FROM cookies ORDER BY rowid;"},
    QLatin1StringView{"DELETE FROM cookies WHERE rowid = ? AND host_key = ? AND creation_utc = ?;"},
    QLatin1StringView{"cookie_row"}, QLatin1StringView{"host_key"}, QLatin1StringView{"creation_utc"}};
constexpr CookieTable mozillaCookies{QLatin1StringView{"SELECT host, name, id FROM moz_cookies ORDER BY id;"},
                                     QLatin1StringView{"DELETE FROM moz_cookies WHERE host = ? AND id = ?;"},
                                     QLatin1StringView{}, QLatin1StringView{"host"}, QLatin1StringView{"id"}};

const QLatin1StringView nameColumn{"name"};

bool isChromeFamily(const QString& browser)
{
    return BrowserLocations::familyOf(browser) == BrowserFamily::Chrome;
}

const CookieTable& cookieTable(const QString& browser)
{
    return isChromeFamily(browser) ? chromeCookies : mozillaCookies;
}

// A database the worker may open: a plain file, never a link to one elsewhere.
bool isDatabaseFile(const QString& path)
{
    const QFileInfo info(path);
    return info.isFile() && !info.isSymLink();
}

// Every cookie database of the profiles the pass may clean: a Chrome-family profile may hold
// "Cookies" and "Network/Cookies", and both are cleaned.
QStringList cookieDatabases(const PassContext& context)
{
    return context.filesInProfiles(BrowserFolder::CookieDatabase) +
           context.filesInProfiles(BrowserFolder::NetworkCookieDatabase);
}

// A text column's value; a NULL, a number or bytes is no text.
QString textOf(const QVariant& value)
{
    return value.typeId() == QMetaType::QString ? value.toString() : QString();
}

// The tracking prefixes by their first character, so that a name is compared with a few of them
// rather than with all; a jar holds tens of thousands of names.
class TrackingPrefixes
{
public:
    explicit TrackingPrefixes(const QStringList& prefixes)
    {
        for (const QString& prefix : prefixes) {
            if (prefix.isEmpty())
                m_matchesEveryName = true;
            else
                m_byFirstCharacter[prefix.front()].append(prefix);
        }
    }

    [[nodiscard]] bool matches(const QString& name) const
    {
        if (m_matchesEveryName)
            return true;
        if (name.isEmpty())
            return false;
        const auto found = m_byFirstCharacter.constFind(name.front());
        if (found == m_byFirstCharacter.constEnd())
            return false;
        return std::any_of(found->cbegin(), found->cend(),
                           [&name](const QString& prefix) { return name.startsWith(prefix); });
    }

private:
    QHash<QChar, QStringList> m_byFirstCharacter;
    bool m_matchesEveryName = false;
};

// Site names by host; a cookie jar holds many cookies of each host.
using SiteCache = QHash<QString, std::optional<QString>>;

// Sorts one cookie into the inventory by its host and name.
void sortCookie(CookieRecord record, const QString& host, const QString& name, const KeepList& keep,
                const TrackingPrefixes& prefixes, SiteCache& sites, CookieInventory& inventory)
{
    auto cached = sites.constFind(host);
    if (cached == sites.constEnd())
        cached = sites.insert(host, WorkerExtras::siteWithDomainName(host));
    const std::optional<QString>& site = *cached;
    if (!site)
        return;
    const bool tracking = prefixes.matches(name);
    if (tracking)
        ++inventory.trackingCount;
    if (tracking || !keep.keeps(*site))
        inventory.deletionList.append(std::move(record));
}

// An INTEGER column's value is read as its decimal text. Bound back as that integer it matches
// exactly as the text would (the column's affinity turns such text into the same integer), but
// without a conversion on every comparison.
QVariant asBoundInteger(const QVariant& value)
{
    if (value.typeId() != QMetaType::QString)
        return value;
    bool isNumber = false;
    const qint64 number = value.toString().toLongLong(&isNumber);
    if (!isNumber || QString::number(number) != value.toString())
        return value;
    return number;
}

// Deletes `records` from `database` in one transaction: all of them go, or none.
void deleteFromDatabase(const QString& database, const QList<CookieRecord>& records, const CookieTable& table)
{
    if (!isDatabaseFile(database))
        return;
    Sqlite sqlite;
    if (!sqlite.open(database, SecureRemoval::fromSettings().databaseDeletion()))
        return;
    Sqlite::Transaction transaction(sqlite);
    if (!transaction.isActive())
        return;
    QList<QVariantList> keys;
    for (const CookieRecord& record : records) {
        QVariantList key;
        if (!table.rowColumn.isEmpty())
            key.append(asBoundInteger(record.row.value(table.rowColumn)));
        key.append(record.row.value(table.hostColumn));
        key.append(asBoundInteger(record.row.value(table.idColumn)));
        keys.append(std::move(key));
    }
    if (sqlite.executeNonQuery(table.remove, keys))
        (void)transaction.commit();
}

// Site names as SQL text literals' contents, quotes doubled, joined for an IN list.
QString quotedList(const QStringList& sites)
{
    QStringList quoted;
    for (QString site : sites)
        quoted.append(site.replace(QLatin1Char('\''), QLatin1String("''")));
    return quoted.join(QLatin1String("','"));
}

} // namespace

std::optional<QStringList> WorkerAppDelegate::getSmartFavouritesArray()
{
    KeychainError error;
    const auto accounts = WorkerExtras::allAccounts(&error);
    if (!accounts) {
        // "Nothing saved" is an answer; any other failure leaves the favourites unknown.
        if (error.code == int(Keychain::Status::itemNotFound))
            return QStringList();
        return std::nullopt;
    }
    QSet<QString> sites;
    for (const QVariantMap& account : *accounts) {
        if (account.value(QStringLiteral("atyp")).toString() != QLatin1String("form") ||
            !account.contains(QStringLiteral("srvr")))
            continue;
        const auto site = WorkerExtras::siteWithDomainName(account.value(QStringLiteral("srvr")).toString());
        if (!site || *site == QLatin1String("localhost"))
            continue;
        const QString lastLabel = site->section(QLatin1Char('.'), -1);
        if (lastLabel == QLatin1String("local") || lastLabel == QLatin1String("certificate"))
            continue;
        sites.insert(*site);
    }
    return sites.values();
}

std::optional<QStringList> WorkerAppDelegate::getFirefoxSmartFavouritesArray()
{
    return savedLoginFavourites(PassContext::forBrowser(QString(firefox), KeepList()));
}

std::optional<QStringList> WorkerAppDelegate::savedLoginFavourites(const PassContext& context)
{
    QSet<QString> sites;
    for (const BrowserProfile& profile : context.everyProfile()) {
        // Saved logins that exist but cannot be read leave the favourites unknown.
        const auto found = BrowserLogins::sitesOfProfile(profile);
        if (!found)
            return std::nullopt;
        for (const QString& site : *found)
            sites.insert(site);
    }
    return sites.values();
}

QStringList WorkerAppDelegate::defaultTrackingCookies()
{
    return QStringList{"_em_",        "FarkUser",
                       "NID",         "_OA",
                       "LE",          "POPUPCHECK",
                       "OAX",         "suid",
                       "_m",          "ad",
                       "TLTUID",      "OAID",
                       "UUID",        "OA",
                       "v1st",        "phpAds",
                       "VWCUK",       "GCIONID",
                       "BBC-UID",     "__a",
                       "_w",          "__c",
                       "WSS_GW",      "eid",
                       "__g",         "EkAnalytics",
                       "Apache",      "gmv",
                       "vid",         "CFTOKEN",
                       "FTUserTrack", "__k",
                       "CFID",        ".ASPXANONYMOUS",
                       "sUnique",     "s1",
                       "otp",         "HumanClickID",
                       "TC",          "RM",
                       "SID",         "OASIS",
                       "exp_",        "__q",
                       "AWSUSER_ID",  "ref",
                       "__r",         "welcome",
                       "TID",         "VisitorID",
                       "__u",         "iCmpro",
                       "emos_",       "RES_TRACKINGID",
                       "UID",         "omniID",
                       "woo",         "AdUserID",
                       "goo",         "tolvek",
                       "etcnt_",      "XCLGF",
                       "_bit",        "wpgb_",
                       "mojo",        "CNNid",
                       "ACOOKIE",     "wt_",
                       "JEB2",        "CoreID",
                       "mds",         "pb",
                       "_jsuid",      "HstC",
                       "UNAUTHID",    "anon",
                       "IXA",         "s_",
                       "bblast",      "bb_last",
                       "wlid",        "VISID",
                       "TRUID",       "VisID",
                       "GUID",        "c1",
                       "_SUPERFLY",   "globid",
                       "zF",          "Conversion",
                       "omniUserID",  "awpopup",
                       "i00",         "cluid",
                       "_dw",         "track",
                       "MintUnique",  "CP",
                       "AVPUID",      "ss_lastvisit",
                       "stat_",       "FC",
                       "DM",          "scorecardresearch",
                       "BX",          "bitt",
                       "um",          "pid",
                       "re_ret",      "tu",
                       "WT_FPC",      "WEBTRENDS",
                       "meta",        "fpc",
                       "NGUserID",    "ID",
                       "piwik",       "VISITOR",
                       "_c",          "EktGUID",
                       "_km",         "km"};
}

CookieInventory WorkerAppDelegate::cookies(const QString& browser, const KeepList& keepCookies)
{
    return cookies(PassContext::forBrowser(browser, keepCookies));
}

CookieInventory WorkerAppDelegate::cookies(const PassContext& context)
{
    const QString& browser = context.browser;
    const KeepList& keepCookies = context.keep;
    const TrackingPrefixes prefixes(defaultTrackingCookies());
    SiteCache sites;
    CookieInventory inventory;
    if (browser == safari) {
        const HttpCookieStorage storage(BrowserFolders::path(browser, BrowserFolder::CookieFile));
        for (const HttpCookie& cookie : storage.cookies())
            sortCookie(CookieRecord{QString(), {}, cookie}, cookie.domain, cookie.name, keepCookies, prefixes,
                       sites, inventory);
    }
    const CookieTable& table = cookieTable(browser);
    // A log left by a browser that did not close cleanly is overwritten, not just dropped, on closing.
    const Sqlite::Deletion deletion = context.removal.databaseDeletion();
    for (const QString& database : cookieDatabases(context)) {
        if (!isDatabaseFile(database))
            continue;
        Sqlite sqlite;
        if (!sqlite.open(database, deletion))
            continue;
        const auto rows = sqlite.executeQuery(table.select);
        for (const QVariantMap& row : rows.value_or(Sqlite::Rows())) {
            sortCookie(CookieRecord{database, row, {}}, textOf(row.value(table.hostColumn)),
                       textOf(row.value(nameColumn)), keepCookies, prefixes, sites, inventory);
        }
    }
    inventory.cookieCount = inventory.deletionList.size();
    return inventory;
}

QList<qint64> WorkerAppDelegate::removeCookies(const QString& browser, const KeepList& keepCookies)
{
    return removeCookies(PassContext::forBrowser(browser, keepCookies));
}

QList<qint64> WorkerAppDelegate::removeCookies(const PassContext& context)
{
    const QString& browser = context.browser;
    const CookieInventory inventory = cookies(context);
    const QList<qint64> counts{inventory.cookieCount, inventory.trackingCount};
    if (browser == safari) {
        deleteSafariCookies(inventory.deletionList);
        return counts;
    }
    if (isChromeFamily(browser))
        deleteChromeChannelID(context);

    // Each record goes only from the database it was read from, each database in one go.
    QStringList databases;
    QHash<QString, QList<CookieRecord>> recordsByDatabase;
    for (const CookieRecord& record : inventory.deletionList) {
        auto& records = recordsByDatabase[record.database];
        if (records.isEmpty())
            databases.append(record.database);
        records.append(record);
    }
    for (const QString& database : std::as_const(databases))
        deleteFromDatabase(database, recordsByDatabase.value(database), cookieTable(browser));
    return counts;
}

void WorkerAppDelegate::deleteSafariCookies(const QList<CookieRecord>& cookies)
{
    QList<HttpCookie> jarCookies;
    for (const CookieRecord& record : cookies)
        jarCookies.append(record.cookie);
    const HttpCookieStorage storage(BrowserFolders::path(safari, BrowserFolder::CookieFile));
    (void)storage.deleteCookies(jarCookies);
}

void WorkerAppDelegate::deleteChromeChannelID(const QString& browser, const KeepList& keep)
{
    deleteChromeChannelID(PassContext::forBrowser(browser, keep));
}

void WorkerAppDelegate::deleteChromeChannelID(const PassContext& context)
{
    const KeepList& keep = context.keep;
    // When the favourites are unknown every site is kept, so no certificate may go.
    if (!isChromeFamily(context.browser) || keep.keepsEverySite)
        return;
    const QString statement = QStringLiteral("DELETE FROM origin_bound_certs WHERE origin NOT IN ('%1');")
                                  .arg(quotedList(keep.sites));
    const Sqlite::Deletion deletion = context.removal.databaseDeletion();
    for (const QString& database : context.filesInProfiles(BrowserFolder::ChannelIdDatabase)) {
        Sqlite sqlite;
        if (sqlite.open(database, deletion))
            (void)sqlite.executeQuery(statement);
    }
}
