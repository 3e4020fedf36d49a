#include "BrowserLogins.h"

#include "platform/DirectoryListing.h"
#include "worker/BrowserFolders.h"
#include "worker/Sqlite.h"
#include "worker/WorkerExtras.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>
#include <QUrl>

#include <array>

namespace {

// A logins.json of many thousand logins stays far below this; a bigger file is not one.
constexpr qint64 loginsJsonLimit = 64 * 1024 * 1024;

QString textOf(const QVariant& value)
{
    return value.typeId() == QMetaType::QString ? value.toString() : QString();
}

// The site of a web address; nothing for other schemes (android://, chrome://, moz-extension://)
// and for text that is no address.
std::optional<QString> siteOfAddress(const QString& text)
{
    const QUrl url(text, QUrl::StrictMode);
    if (!url.isValid() || (url.scheme() != QLatin1String("https") && url.scheme() != QLatin1String("http")) ||
        url.host().isEmpty())
        return std::nullopt;
    return WorkerExtras::siteWithDomainName(url.host());
}

bool hasTable(Sqlite& database, const QString& table, bool* failed)
{
    const auto rows = database.executeQuery(
        QStringLiteral("SELECT name FROM sqlite_master WHERE type = 'table' AND name = ?;"), {table});
    if (!rows)
        *failed = true;
    return rows && !rows->isEmpty();
}

// The rows of `select` when `table` exists; an empty list without it; nullopt when the database
// does not open or answer.
std::optional<Sqlite::Rows> rowsOf(const QString& path, const QString& table, const QString& select)
{
    Sqlite database;
    if (!database.open(path))
        return std::nullopt;
    bool failed = false;
    if (!hasTable(database, table, &failed))
        return failed ? std::nullopt : std::optional<Sqlite::Rows>(Sqlite::Rows());
    return database.executeQuery(select);
}

void insertSite(QSet<QString>& sites, const std::optional<QString>& site)
{
    if (site)
        sites.insert(*site);
}

} // namespace

namespace BrowserLogins {

std::optional<QStringList> sitesOfProfile(const BrowserProfile& profile)
{
    using Reader = std::optional<QStringList> (*)(const QString&);
    const std::array<std::pair<BrowserFolder, Reader>, 5> stores{{
        {BrowserFolder::LoginData, chromeLoginData},
        {BrowserFolder::AccountLoginData, chromeLoginData},
        {BrowserFolder::SavedLogins, firefoxSignons},
        {BrowserFolder::SavedLoginsJson, firefoxLoginsJson},
        {BrowserFolder::SavedLoginsMirror, firefoxLoginsDb},
    }};
    QSet<QString> sites;
    for (const auto& [file, read] : stores) {
        const QString relative = BrowserFolders::entry(profile.browser, file);
        if (relative.isEmpty())
            continue;
        const QString path = BrowserFolders::appending(profile.folder, relative);
        if (!DirectoryListing::typeOf(QFile::encodeName(path)))
            continue;
        // A store that is there but no plain file (a link, a FIFO) cannot be read either.
        if (BrowserLocations::regularFileIn(profile.folder, relative).isEmpty())
            return std::nullopt;
        const auto found = read(path);
        if (!found)
            return std::nullopt;
        for (const QString& site : *found)
            sites.insert(site);
    }
    return sites.values();
}

std::optional<QStringList> chromeLoginData(const QString& path)
{
    const auto rows =
        rowsOf(path, QStringLiteral("logins"),
               QStringLiteral("SELECT origin_url, signon_realm FROM logins WHERE scheme = 0 AND "
                              "blacklisted_by_user = 0 AND "
                              "(federation_url IS NULL OR federation_url = '');"));
    if (!rows)
        return std::nullopt;
    QSet<QString> sites;
    for (const Sqlite::Row& row : *rows) {
        auto site = siteOfAddress(textOf(row.value(QStringLiteral("origin_url"))));
        if (!site)
            site = siteOfAddress(textOf(row.value(QStringLiteral("signon_realm"))));
        insertSite(sites, site);
    }
    return sites.values();
}

std::optional<QStringList> firefoxLoginsJson(const QString& path)
{
    QFile file(path);
    if (file.size() > loginsJsonLimit || !file.open(QIODevice::ReadOnly))
        return std::nullopt;
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(file.read(loginsJsonLimit), &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    const QJsonValue logins = document.object().value(QLatin1String("logins"));
    if (!logins.isArray())
        return std::nullopt;
    QSet<QString> sites;
    for (const QJsonValue& login : logins.toArray()) {
        const QJsonObject entry = login.toObject();
        const QJsonValue realm = entry.value(QLatin1String("httpRealm"));
        if (!realm.isNull() && !realm.isUndefined())
            continue;
        insertSite(sites, siteOfAddress(entry.value(QLatin1String("hostname")).toString()));
    }
    return sites.values();
}

std::optional<QStringList> firefoxLoginsDb(const QString& path)
{
    Sqlite database;
    if (!database.open(path))
        return std::nullopt;
    bool failed = false;
    QStringList selects;
    if (hasTable(database, QStringLiteral("loginsL"), &failed))
        selects.append(
            QStringLiteral("SELECT origin FROM loginsL WHERE is_deleted = 0 AND httpRealm IS NULL"));
    if (hasTable(database, QStringLiteral("loginsM"), &failed))
        selects.append(
            QStringLiteral("SELECT origin FROM loginsM WHERE is_overridden = 0 AND httpRealm IS NULL"));
    if (failed)
        return std::nullopt;
    QSet<QString> sites;
    if (selects.isEmpty())
        return sites.values();
    const auto rows = database.executeQuery(selects.join(QLatin1String(" UNION ALL ")) + QLatin1Char(';'));
    if (!rows)
        return std::nullopt;
    for (const Sqlite::Row& row : *rows)
        insertSite(sites, siteOfAddress(textOf(row.value(QStringLiteral("origin")))));
    return sites.values();
}

std::optional<QStringList> firefoxSignons(const QString& path)
{
    const auto rows = rowsOf(path, QStringLiteral("moz_logins"), QStringLiteral("SELECT * FROM moz_logins;"));
    if (!rows)
        return std::nullopt;
    QSet<QString> sites;
    // Reduced as stored, scheme included, as this store has always been read.
    for (const Sqlite::Row& row : *rows)
        insertSite(sites, WorkerExtras::siteWithDomainName(textOf(row.value(QStringLiteral("hostname")))));
    return sites.values();
}

} // namespace BrowserLogins
