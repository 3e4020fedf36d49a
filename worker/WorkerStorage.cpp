#include "WorkerAppDelegate.h"

#include "common/Names.h"
#include "platform/DirectoryListing.h"
#include "worker/BrowserFolders.h"
#include "worker/ChromeSiteData.h"
#include "worker/FirefoxSiteStorage.h"
#include "worker/SecureRemoval.h"
#include "worker/Sqlite.h"
#include "worker/WorkerExtras.h"

#include <QFile>
#include <QSet>
#include <QUrl>

#include <algorithm>

namespace {

using namespace Names::Browsers;

// Values per DELETE statement, well below SQLite's limit on bound parameters.
constexpr qsizetype valuesPerStatement = 500;

bool isSelected(const QString& name, const KeepList& keep)
{
    const auto site = WorkerExtras::siteWithDomainName(name);
    return !site || !keep.keeps(*site);
}

bool isWebIdentifier(const QString& identifier)
{
    return identifier.startsWith(QLatin1String("http")) && identifier.contains(QLatin1Char('_'));
}

// "scheme_host_rest" -> host, without a leading "www.".
QString hostOfIdentifier(const QString& identifier)
{
    const qsizetype start = identifier.indexOf(QLatin1Char('_')) + 1;
    const qsizetype end = identifier.indexOf(QLatin1Char('_'), start);
    const QString host = identifier.mid(start, end < 0 ? -1 : end - start);
    return host.startsWith(QLatin1String("www.")) ? host.mid(4) : host;
}

QByteArray encoded(const QString& path)
{
    return QFile::encodeName(path);
}

bool isRegularFile(const QString& path)
{
    return DirectoryListing::typeOf(encoded(path)) == DirectoryEntry::Type::File;
}

// Every non-NULL value of every row, in row order.
QStringList columnValues(const std::optional<Sqlite::Rows>& rows)
{
    QStringList values;
    for (const Sqlite::Row& row : rows.value_or(Sqlite::Rows())) {
        for (const QVariant& value : row) {
            if (!value.isNull())
                values.append(value.toString());
        }
    }
    return values;
}

// Deletes the rows whose column equals one of `values`; the values are bound, never pasted into
// the text. `statement` holds "%1" where the placeholders go.
bool deleteRows(Sqlite& database, const QString& statement, const QStringList& values)
{
    QStringList distinct = values;
    distinct.removeDuplicates();
    for (qsizetype from = 0; from < distinct.size(); from += valuesPerStatement) {
        const QStringList chunk = distinct.mid(from, valuesPerStatement);
        QStringList placeholders;
        placeholders.fill(QStringLiteral("?"), chunk.size());
        QVariantList arguments;
        for (const QString& value : chunk)
            arguments.append(value);
        if (!database.executeNonQuery(statement.arg(placeholders.join(QLatin1Char(','))), arguments))
            return false;
    }
    return true;
}

// Runs the deletions on one connection in one transaction: all of them or none.
bool deleteInTransaction(Sqlite& database, const QList<std::pair<QString, QStringList>>& deletions)
{
    Sqlite::Transaction transaction(database);
    if (!transaction.isActive())
        return false;
    for (const auto& [statement, values] : deletions) {
        if (!deleteRows(database, statement, values))
            return false;
    }
    return transaction.commit();
}

QList<QByteArray> namesIn(const QString& folder)
{
    QList<QByteArray> names;
    for (const DirectoryEntry& entry : DirectoryListing::list(folder).value_or(QList<DirectoryEntry>()))
        names.append(entry.name);
    return names;
}

// Removes the origin folders that the index does not name, as a pass killed between removing an
// index's folders and editing the index leaves them. Only folders named as a web origin are
// judged, by the same rule as the index's rows, so extension storage and kept sites stay.
void removeUnlistedFolders(const QString& folder, const QStringList& listed, const KeepList& keep,
                           const SecureRemoval& removal)
{
    const QSet<QString> named(listed.cbegin(), listed.cend());
    QStringList unlisted;
    for (const DirectoryEntry& entry : DirectoryListing::list(folder).value_or(QList<DirectoryEntry>())) {
        const QString name = QFile::decodeName(entry.name);
        if (entry.type == DirectoryEntry::Type::Directory && isWebIdentifier(name) && !named.contains(name) &&
            encoded(name) == entry.name)
            unlisted.append(name);
    }
    for (const QString& origin : WorkerAppDelegate::databaseArray(unlisted, keep))
        removal.remove(DirectoryListing::appending(encoded(folder), encoded(origin)));
}

// Web databases of one index: selects, removes the origin folders, then edits the index. In this
// order a pass killed half-way leaves an index that still names what is left, and the next pass
// finishes it.
void removeWebDatabases(const QString& folder, const QString& browser, const KeepList& keep,
                        const SecureRemoval& removal, QStringList* removed)
{
    const QString index = BrowserFolders::appending(folder, QStringLiteral("Databases.db"));
    Sqlite database;
    if (!isRegularFile(index) || !database.open(index, removal.databaseDeletion()))
        return;
    const auto rows = database.executeQuery(QStringLiteral("SELECT origin FROM Databases;"));
    if (!rows)
        return;
    const QStringList origins = columnValues(rows);
    const QStringList selected = WorkerAppDelegate::databaseArray(origins, keep);
    for (const QString& origin : selected) {
        // An identifier read from the index is one folder name, never a way out of the folder.
        if (DirectoryListing::isPlainName(encoded(origin)))
            removal.remove(DirectoryListing::appending(encoded(folder), encoded(origin)));
    }
    QList<std::pair<QString, QStringList>> deletions{
        {QStringLiteral("DELETE FROM Databases WHERE origin IN (%1);"), selected}};
    if (browser == safari)
        deletions.append({QStringLiteral("DELETE FROM Origins WHERE origin IN (%1);"), selected});
    (void)deleteInTransaction(database, deletions);
    if (browser != safari)
        removeUnlistedFolders(folder, origins, keep, removal);
    removed->append(selected);
}

// Local-storage files of one folder; the Chrome family and Opera also remove each "-journal".
void removeLocalStorage(const QString& folder, const QString& browser, const KeepList& keep,
                        const SecureRemoval& removal, QStringList* removed)
{
    const QByteArray base = encoded(folder);
    const QList<QByteArray> selected = WorkerAppDelegate::localStorageArray(namesIn(folder), browser, keep);
    for (const QByteArray& name : selected) {
        // The journal first: one left without its database would be rolled into the next database
        // of that name, while a database left without its journal is found again by the next pass.
        if (browser != safari)
            removal.remove(DirectoryListing::appending(base, name + "-journal"));
        removal.remove(DirectoryListing::appending(base, name));
        removed->append(QFile::decodeName(name));
    }
}

// Drops every origin of Safari's tracker that has no entry left in the local-storage folder.
void pruneStorageTracker(const QString& folder, const SecureRemoval& removal)
{
    const QString tracker = BrowserFolders::appending(folder, QStringLiteral("StorageTracker.db"));
    Sqlite database;
    if (!isRegularFile(tracker) || !database.open(tracker, removal.databaseDeletion()))
        return;
    QSet<QString> remaining;
    for (const QByteArray& name : namesIn(folder)) {
        const QString text = QFile::decodeName(name);
        const qsizetype dot = text.lastIndexOf(QLatin1Char('.'));
        remaining.insert(dot > 0 ? text.left(dot) : text);
    }
    const auto rows = database.executeQuery(QStringLiteral("SELECT origin FROM Origins;"));
    if (!rows)
        return;
    QStringList gone;
    for (const QString& origin : columnValues(rows)) {
        if (!remaining.contains(origin))
            gone.append(origin);
    }
    (void)deleteInTransaction(database,
                              {{QStringLiteral("DELETE FROM Origins WHERE origin IN (%1);"), gone}});
}

void removeMozillaStorage(const QString& path, const KeepList& keep, const SecureRemoval& removal,
                          QStringList* removed)
{
    Sqlite database;
    if (!isRegularFile(path) || !database.open(path, removal.databaseDeletion()))
        return;
    const QStringList selected = WorkerAppDelegate::mozillaLocalStorage(
        columnValues(database.executeQuery(QStringLiteral("SELECT scope FROM webappsstore2;"))), keep);
    (void)deleteInTransaction(database,
                              {{QStringLiteral("DELETE FROM webappsstore2 WHERE scope IN (%1);"), selected}});
    removed->append(selected);
}

} // namespace

qint64 WorkerAppDelegate::removeNonFavLocalStorage(const QString& browser, const KeepList& keep)
{
    return removeNonFavLocalStorage(PassContext::forBrowser(browser, keep));
}

qint64 WorkerAppDelegate::removeNonFavLocalStorage(const PassContext& context)
{
    const QString& browser = context.browser;
    const KeepList& keep = context.keep;
    if (keep.keepsEverySite)
        return 0;
    const SecureRemoval& removal = context.removal;
    QStringList removed;
    qint64 siteData = 0;
    if (browser == safari) {
        const QString localStorage = BrowserFolders::path(browser, BrowserFolder::LocalStorage);
        removeWebDatabases(BrowserFolders::path(browser, BrowserFolder::WebDatabases), browser, keep, removal,
                           &removed);
        removeLocalStorage(localStorage, browser, keep, removal, &removed);
        pruneStorageTracker(localStorage, removal);
    }
    for (const BrowserProfile& profile : context.profiles) {
        if (profile.family == BrowserFamily::Chrome) {
            removeWebDatabases(
                BrowserFolders::appending(profile.folder,
                                          BrowserFolders::entry(browser, BrowserFolder::WebDatabases)),
                browser, keep, removal, &removed);
            removeLocalStorage(
                BrowserFolders::appending(profile.folder,
                                          BrowserFolders::entry(browser, BrowserFolder::LocalStorage)),
                browser, keep, removal, &removed);
            siteData += ChromeSiteData::clean(profile.folder, keep, removal);
        } else {
            removeMozillaStorage(
                BrowserFolders::appending(profile.folder,
                                          BrowserFolders::entry(browser, BrowserFolder::MozillaStorage)),
                keep, removal, &removed);
            siteData += FirefoxSiteStorage::clean(profile.folder, keep, removal);
        }
    }
    return removed.size() + siteData;
}

QStringList WorkerAppDelegate::databaseArray(const QStringList& origins, const KeepList& keep)
{
    QStringList selected;
    if (keep.keepsEverySite)
        return selected;
    for (const QString& origin : origins) {
        if (isWebIdentifier(origin)) {
            if (isSelected(hostOfIdentifier(origin), keep))
                selected.append(origin);
        } else if (!origin.startsWith(QLatin1String("chrome-extension_")) &&
                   !origin.startsWith(QLatin1String("safari-extension_")) && isSelected(origin, keep)) {
            selected.append(origin);
        }
    }
    return selected;
}

QList<QByteArray> WorkerAppDelegate::localStorageArray(const QList<QByteArray>& names, const QString& browser,
                                                       const KeepList& keep)
{
    QList<QByteArray> selected;
    if (keep.keepsEverySite)
        return selected;
    const QLatin1StringView extension(".localstorage");
    for (const QByteArray& name : names) {
        const QString text = QFile::decodeName(name);
        if (!text.endsWith(extension))
            continue;
        if (browser == safari && text.startsWith(QLatin1String("safari-extension_")))
            continue;
        if ((browser == googleChrome || browser == chromium) &&
            text.startsWith(QLatin1String("chrome-extension_")))
            continue;
        const QString judged =
            isWebIdentifier(text) ? hostOfIdentifier(text) : text.chopped(extension.size());
        if (isSelected(judged, keep))
            selected.append(name);
    }
    return selected;
}

QStringList WorkerAppDelegate::mozillaLocalStorage(const QStringList& scopes, const KeepList& keep)
{
    QStringList selected;
    if (keep.keepsEverySite)
        return selected;
    for (const QString& scope : scopes) {
        const qsizetype end = scope.indexOf(QLatin1String(".:"));
        if (end < 0)
            continue;
        QString host = scope.left(end);
        std::reverse(host.begin(), host.end());
        if (host.startsWith(QLatin1String("www.")))
            host = host.mid(4);
        const qsizetype slashes = host.indexOf(QLatin1String("//"));
        if (slashes >= 0) {
            QString piece = host.mid(slashes + 2);
            piece.replace(QLatin1Char('+'), QLatin1Char(' '));
            piece = QUrl::fromPercentEncoding(piece.toUtf8());
            piece = piece.section(QLatin1Char('/'), 0, 0);
            if (piece.startsWith(QLatin1String("www.")))
                host = piece.mid(4);
        }
        if (isSelected(host, keep))
            selected.append(scope);
    }
    return selected;
}
