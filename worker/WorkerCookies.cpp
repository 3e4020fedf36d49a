#include "WorkerAppDelegate.h"

#include "common/Names.h"
#include "platform/DirectoryListing.h"
#include "platform/HttpCookieStorage.h"
#include "worker/BrowserFolders.h"
#include "worker/BrowserLogins.h"
#include "worker/SecureRemoval.h"
#include "worker/Sqlite.h"
#include "worker/WorkerExtras.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSet>

#include <algorithm>
#include <functional>
#include <sys/stat.h>

using namespace Names::Browsers;

namespace {

// How one kind of cookie database is read and its rows deleted. The SELECT gives the rowid, the
// host and the name, in this order and in row order, in which the deletes visit the table's pages
// one after another. Only these columns are read: today's rows carry some twenty.
struct CookieTable
{
    QLatin1StringView select;
    QLatin1StringView remove; // one run of rows, from the first rowid to the last
    QLatin1StringView hostColumn;
};

constexpr CookieTable chromeCookies{
    QLatin1StringView{"SELECT rowid, host_key, name FROM cookies ORDER BY rowid;"},
    QLatin1StringView{"DELETE FROM cookies WHERE rowid BETWEEN ? AND ?;"}, QLatin1StringView{"host_key"}};
constexpr CookieTable mozillaCookies{
    QLatin1StringView{"SELECT rowid, host, name FROM moz_cookies ORDER BY rowid;"},
    QLatin1StringView{"DELETE FROM moz_cookies WHERE rowid BETWEEN ? AND ?;"}, QLatin1StringView{"host"}};

const QLatin1StringView nameColumn{"name"};
// Runs of rows deleted with one prepared statement; bounds the argument lists held at once.
constexpr qsizetype runsPerBatch = 10000;

bool isChromeFamily(const QString& browser)
{
    return BrowserLocations::familyOf(browser) == BrowserFamily::Chrome;
}

const CookieTable& cookieTable(const QString& browser)
{
    return isChromeFamily(browser) ? chromeCookies : mozillaCookies;
}

// A database the worker may open: a plain file reached without a link on the way, so that a
// profile folder linked to a place outside the home is never edited.
bool isDatabaseFile(const QString& path)
{
    const QByteArray bytes = QFile::encodeName(path);
    // Most listed profiles lack one database or another; one call tells so.
    struct stat info;
    if (lstat(bytes.constData(), &info) != 0)
        return false;
    return DirectoryListing::typeOf(bytes) == DirectoryEntry::Type::File;
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

// Sorts cookies one by one into deleted or kept by their host and name, and counts them.
class CookieSorter
{
public:
    explicit CookieSorter(const KeepList& keep)
        : m_keep(keep), m_prefixes(WorkerAppDelegate::defaultTrackingCookies())
    {
    }

    // True when the cookie is to be deleted.
    bool select(const QString& host, const QString& name)
    {
        // A jar holds many cookies of each host: each host is reduced and looked up once. The cache
        // is bounded for jars of very many hosts.
        auto cached = m_hosts.constFind(host);
        if (cached == m_hosts.constEnd()) {
            if (m_hosts.size() >= hostCacheLimit)
                m_hosts.clear();
            const auto site = WorkerExtras::siteWithDomainName(host);
            cached = m_hosts.insert(host, !site                 ? Host::NoSite
                                          : m_keep.keeps(*site) ? Host::Kept
                                                                : Host::NotKept);
        }
        if (*cached == Host::NoSite)
            return false;
        const bool tracking = m_prefixes.matches(name);
        if (tracking)
            ++m_trackingCount;
        if (!tracking && *cached == Host::Kept)
            return false;
        ++m_cookieCount;
        return true;
    }

    [[nodiscard]] qint64 cookieCount() const { return m_cookieCount; }
    [[nodiscard]] qint64 trackingCount() const { return m_trackingCount; }

private:
    enum class Host
    {
        NoSite, // the host reduces to no site name: the cookie is left alone
        Kept,
        NotKept
    };
    static constexpr qsizetype hostCacheLimit = 100000;
    const KeepList& m_keep;
    TrackingPrefixes m_prefixes;
    QHash<QString, Host> m_hosts;
    qint64 m_cookieCount = 0;
    qint64 m_trackingCount = 0;
};

// Reads the cookies of an open database row by row in rowid order, sorts each, and hands every row
// to `visit` with its rowid and whether it is selected. Host and name are judged by their text; a
// value that is no text (a NULL, a number, bytes) has none. False when the rows could not be read
// to their end.
bool sortDatabase(
    Sqlite& sqlite, const CookieTable& table, CookieSorter& sorter,
    const std::function<void(qint64 rowId, bool selected, const QString& host, const QString& name)>& visit)
{
    return sqlite.forEachRow(table.select, [&](const Sqlite::RowView& row) {
        const auto rowId = row.integer(0);
        const QString host = textOf(row.value(1));
        const QString name = textOf(row.value(2));
        if (rowId)
            visit(*rowId, sorter.select(host, name), host, name);
        return true;
    });
}

// Selected rows with no other row between them, as [first rowid, last rowid].
using RowRuns = QList<std::pair<qint64, qint64>>;

bool deleteRuns(Sqlite& sqlite, const CookieTable& table, const RowRuns& runs)
{
    for (qsizetype from = 0; from < runs.size(); from += runsPerBatch) {
        QList<QVariantList> arguments;
        for (qsizetype index = from; index < std::min(from + runsPerBatch, runs.size()); ++index)
            arguments.append({runs.at(index).first, runs.at(index).second});
        if (!sqlite.executeNonQuery(table.remove, arguments))
            return false;
    }
    return true;
}

// Sorts and deletes the cookies of one database. Reading and deleting share one exclusive
// transaction, so no row can change in between: a rowid, or a run of rowids read one after another,
// names exactly the rows that were read, whatever bytes their host or name hold. Only runs of rowids
// are kept, never the rows: a database may hold millions, and a jar whose cookies all go is one run.
// A database that cannot be locked is still counted, and left as it is.
void removeFromDatabase(const QString& database, const CookieTable& table, CookieSorter& sorter,
                        Sqlite::Deletion deletion)
{
    if (!isDatabaseFile(database))
        return;
    Sqlite sqlite;
    if (!sqlite.open(database, deletion))
        return;
    // A database that cannot be had alone is still sorted, so that its cookies are counted.
    Sqlite::Transaction transaction(sqlite);
    RowRuns runs;
    bool previousSelected = false;
    const bool read =
        sortDatabase(sqlite, table, sorter, [&](qint64 rowId, bool selected, const QString&, const QString&) {
            if (selected && previousSelected)
                runs.last().second = rowId;
            else if (selected)
                runs.append({rowId, rowId});
            previousSelected = selected;
        });
    if (transaction.isActive() && read && deleteRuns(sqlite, table, runs))
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
    CookieSorter sorter(context.keep);
    CookieInventory inventory;
    if (browser == safari) {
        const HttpCookieStorage storage(BrowserFolders::path(browser, BrowserFolder::CookieFile));
        for (const HttpCookie& cookie : storage.cookies()) {
            if (sorter.select(cookie.domain, cookie.name))
                inventory.deletionList.append(CookieRecord{QString(), 0, {}, cookie});
        }
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
        (void)sortDatabase(sqlite, table, sorter,
                           [&](qint64 rowId, bool selected, const QString& host, const QString& name) {
                               if (!selected)
                                   return;
                               const QVariantMap row{{table.hostColumn, host}, {nameColumn, name}};
                               inventory.deletionList.append(CookieRecord{database, rowId, row, {}});
                           });
    }
    inventory.cookieCount = sorter.cookieCount();
    inventory.trackingCount = sorter.trackingCount();
    return inventory;
}

QList<qint64> WorkerAppDelegate::removeCookies(const QString& browser, const KeepList& keepCookies)
{
    return removeCookies(PassContext::forBrowser(browser, keepCookies));
}

QList<qint64> WorkerAppDelegate::removeCookies(const PassContext& context)
{
    const QString& browser = context.browser;
    if (browser == safari) {
        const CookieInventory inventory = cookies(context);
        deleteSafariCookies(inventory.deletionList);
        return {inventory.cookieCount, inventory.trackingCount};
    }
    if (isChromeFamily(browser))
        deleteChromeChannelID(context);
    // Each database is sorted and cleaned in one go, without listing every cookie first.
    CookieSorter sorter(context.keep);
    const Sqlite::Deletion deletion = context.removal.databaseDeletion();
    for (const QString& database : cookieDatabases(context))
        removeFromDatabase(database, cookieTable(browser), sorter, deletion);
    return {sorter.cookieCount(), sorter.trackingCount()};
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
