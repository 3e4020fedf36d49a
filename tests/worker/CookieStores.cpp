#include "CookieStores.h"

#include "worker/Sqlite.h"

#include <QDir>
#include <QFileInfo>
#include <QtEndian>

namespace {

bool run(const QString& path, const QStringList& schema, const QString& insert,
         const QList<QVariantList>& rows)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    Sqlite sqlite;
    if (!sqlite.open(path) || !sqlite.beginTransaction())
        return false;
    for (const QString& statement : schema) {
        if (!sqlite.executeNonQuery(statement))
            return false;
    }
    for (const QVariantList& row : rows) {
        if (!sqlite.executeNonQuery(insert, row))
            return false;
    }
    return sqlite.commit();
}

void appendLe32(QByteArray& bytes, quint32 value)
{
    char word[4];
    qToLittleEndian(value, word);
    bytes.append(word, 4);
}

void appendBe32(QByteArray& bytes, quint32 value)
{
    char word[4];
    qToBigEndian(value, word);
    bytes.append(word, 4);
}

QByteArray record(const CookieStores::Cookie& cookie)
{
    const QByteArray domain = cookie.host.toUtf8() + '\0';
    const QByteArray name = cookie.name.toUtf8() + '\0';
    const QByteArray path = QByteArray("/") + '\0';
    const QByteArray value = QByteArray::number(cookie.id) + '\0';
    const quint32 header = 56;
    QByteArray bytes;
    appendLe32(bytes, header + quint32(domain.size() + name.size() + path.size() + value.size()));
    appendLe32(bytes, 0);
    appendLe32(bytes, 5); // secure, HTTP only
    appendLe32(bytes, 0);
    appendLe32(bytes, header);
    appendLe32(bytes, header + quint32(domain.size()));
    appendLe32(bytes, header + quint32(domain.size() + name.size()));
    appendLe32(bytes, header + quint32(domain.size() + name.size() + path.size()));
    appendLe32(bytes, 0);
    appendLe32(bytes, 0);
    const double expiry = 800000000.5 + double(cookie.id);
    const double creation = 700000000.25;
    char number[8];
    qToLittleEndian(expiry, number);
    bytes.append(number, 8);
    qToLittleEndian(creation, number);
    bytes.append(number, 8);
    return bytes + domain + name + path + value;
}

} // namespace

namespace CookieStores {

bool writeDatabase(const QString& path, const QStringList& statements)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    Sqlite db;
    if (!db.open(path))
        return false;
    for (const QString& statement : statements) {
        if (!db.executeNonQuery(statement))
            return false;
    }
    return true;
}

bool writeChrome(const QString& path, const QList<Cookie>& cookies)
{
    QList<QVariantList> rows;
    for (const Cookie& cookie : cookies)
        rows.append({cookie.id, cookie.host, cookie.name});
    return run(
        path,
        {QStringLiteral("CREATE TABLE meta(key LONGVARCHAR NOT NULL UNIQUE PRIMARY KEY, value LONGVARCHAR);"),
         QStringLiteral(
             "CREATE TABLE cookies(creation_utc INTEGER NOT NULL, host_key TEXT NOT NULL, "
             "top_frame_site_key TEXT NOT NULL, name TEXT NOT NULL, value TEXT NOT NULL, "
             "encrypted_value BLOB NOT NULL, path TEXT NOT NULL, expires_utc INTEGER NOT NULL, "
             "is_secure INTEGER NOT NULL, is_httponly INTEGER NOT NULL, last_access_utc INTEGER NOT NULL, "
             "has_expires INTEGER NOT NULL, is_persistent INTEGER NOT NULL, priority INTEGER NOT NULL, "
             "samesite INTEGER NOT NULL, source_scheme INTEGER NOT NULL, source_port INTEGER NOT NULL, "
             "last_update_utc INTEGER NOT NULL, source_type INTEGER NOT NULL, "
             "has_cross_site_ancestor INTEGER NOT NULL);"),
         QStringLiteral("CREATE UNIQUE INDEX cookies_unique_index ON cookies(host_key, top_frame_site_key, "
                        "has_cross_site_ancestor, name, path, source_scheme, source_port);")},
        QStringLiteral("INSERT INTO cookies VALUES(?, ?, '', ?, 'v', x'00', '/', 13400000000000000, 1, 1, "
                       "13300000000000000, 1, 1, 1, 0, 2, 443, 13300000000000000, 0, 0);"),
        rows);
}

bool writeMozilla(const QString& path, const QList<Cookie>& cookies)
{
    QList<QVariantList> rows;
    for (const Cookie& cookie : cookies)
        rows.append({cookie.id, cookie.name, cookie.host});
    return run(
        path,
        {QStringLiteral("CREATE TABLE moz_cookies (id INTEGER PRIMARY KEY, originAttributes TEXT NOT NULL "
                        "DEFAULT '', name TEXT, value TEXT, host TEXT, path TEXT, expiry INTEGER, "
                        "lastAccessed INTEGER, creationTime INTEGER, isSecure INTEGER, isHttpOnly INTEGER, "
                        "inBrowserElement INTEGER DEFAULT 0, sameSite INTEGER DEFAULT 0, schemeMap INTEGER "
                        "DEFAULT 0, isPartitionedAttributeSet INTEGER DEFAULT 0, updateTime INTEGER, "
                        "CONSTRAINT moz_uniqueid UNIQUE (name, host, path, originAttributes));")},
        QStringLiteral("INSERT INTO moz_cookies(id, name, value, host, path, expiry) "
                       "VALUES(?, ?, 'v', ?, '/', 1900000000);"),
        rows);
}

bool writeChannelIds(const QString& path, const QStringList& origins)
{
    QList<QVariantList> rows;
    for (const QString& origin : origins)
        rows.append({origin});
    return run(path,
               {QStringLiteral("CREATE TABLE origin_bound_certs (origin TEXT NOT NULL UNIQUE PRIMARY KEY, "
                               "private_key BLOB NOT NULL, cert BLOB NOT NULL, cert_type INTEGER);")},
               QStringLiteral("INSERT INTO origin_bound_certs VALUES(?, x'01', x'02', 64);"), rows);
}

bool writeLogins(const QString& path, const QStringList& hostnames)
{
    QList<QVariantList> rows;
    for (const QString& hostname : hostnames)
        rows.append({hostname});
    return run(
        path,
        {QStringLiteral("CREATE TABLE moz_logins (id INTEGER PRIMARY KEY, hostname TEXT NOT NULL, "
                        "httpRealm TEXT, formSubmitURL TEXT, usernameField TEXT NOT NULL DEFAULT '');")},
        QStringLiteral("INSERT INTO moz_logins(hostname) VALUES(?);"), rows);
}

bool writeChromeLogins(const QString& path, const QList<ChromeLogin>& logins)
{
    QList<QVariantList> rows;
    for (const ChromeLogin& login : logins)
        rows.append({login.originUrl, login.signonRealm, login.blacklisted ? 1 : 0, login.scheme,
                     login.federationUrl.isEmpty() ? QVariant() : QVariant(login.federationUrl)});
    // The statements of Chromium 156, as it creates "Login Data" and "Login Data For Account".
    return run(
        path,
        {QStringLiteral("CREATE TABLE meta(key LONGVARCHAR NOT NULL UNIQUE PRIMARY KEY, value LONGVARCHAR);"),
         QStringLiteral(
             "CREATE TABLE logins (origin_url VARCHAR NOT NULL, action_url VARCHAR, username_element "
             "VARCHAR, "
             "username_value VARCHAR, password_element VARCHAR, password_value BLOB, submit_element VARCHAR, "
             "signon_realm VARCHAR NOT NULL, date_created INTEGER NOT NULL, blacklisted_by_user INTEGER NOT "
             "NULL, scheme INTEGER NOT NULL, password_type INTEGER, times_used INTEGER, form_data BLOB, "
             "display_name VARCHAR, icon_url VARCHAR, federation_url VARCHAR, skip_zero_click INTEGER, "
             "generation_upload_status INTEGER, possible_username_pairs BLOB, id INTEGER PRIMARY KEY "
             "AUTOINCREMENT, date_last_used INTEGER NOT NULL DEFAULT 0, moving_blocked_for BLOB, "
             "date_password_modified INTEGER NOT NULL DEFAULT 0, sender_email VARCHAR, sender_name VARCHAR, "
             "date_received INTEGER, sharing_notification_displayed INTEGER NOT NULL DEFAULT 0, "
             "keychain_identifier BLOB, sender_profile_image_url VARCHAR, date_last_filled INTEGER NOT NULL "
             "DEFAULT 0, actor_login_approved INTEGER NOT NULL DEFAULT 0, UNIQUE (origin_url, "
             "username_element, username_value, password_element, signon_realm));"),
         QStringLiteral("CREATE INDEX logins_signon ON logins (signon_realm);"),
         QStringLiteral("CREATE TABLE sync_entities_metadata (storage_key INTEGER PRIMARY KEY AUTOINCREMENT, "
                        "metadata VARCHAR NOT NULL);"),
         QStringLiteral("CREATE TABLE sync_model_metadata (id INTEGER PRIMARY KEY AUTOINCREMENT, "
                        "model_metadata VARCHAR NOT NULL);"),
         QStringLiteral("CREATE TABLE stats (origin_domain VARCHAR NOT NULL, username_value VARCHAR, "
                        "dismissal_count INTEGER, update_time INTEGER NOT NULL, UNIQUE(origin_domain, "
                        "username_value));"),
         QStringLiteral("CREATE INDEX stats_origin ON stats(origin_domain);")},
        // With the origin as NOT NULL as it is, a NULL origin cannot be stored; it comes as NULL
        // only from a database of another schema.
        QStringLiteral("INSERT INTO logins (origin_url, action_url, username_element, username_value, "
                       "password_element, password_value, signon_realm, date_created, blacklisted_by_user, "
                       "scheme, federation_url) VALUES (IFNULL(?, ''), '', 'u', 'alice', 'p', "
                       "x'7631300102', ?, 13400000000000000, ?, ?, ?);"),
        rows);
}

QByteArray firefoxLoginsJson(const QList<FirefoxLogin>& logins)
{
    QByteArray entries;
    int id = 0;
    for (const FirefoxLogin& login : logins) {
        ++id;
        const QByteArray realm = login.httpRealm.isEmpty() ? "null" : '"' + login.httpRealm.toUtf8() + '"';
        const QByteArray submit = login.httpRealm.isEmpty() ? '"' + login.hostname.toUtf8() + '"' : "null";
        entries += (entries.isEmpty() ? "" : ",") + QByteArray(R"({"id":)") + QByteArray::number(id) +
                   R"(,"hostname":")" + login.hostname.toUtf8() + R"(","httpRealm":)" + realm +
                   R"(,"formSubmitURL":)" + submit +
                   R"(,"usernameField":"u","passwordField":"p","encryptedUsername":"MDoEEPgAAAA=",)"
                   R"("encryptedPassword":"MDoEEPgAAAA=","guid":"{)" +
                   QByteArray::number(id) +
                   R"(}","encType":1,"timeCreated":1765200000000,"timeLastUsed":1765200000000,)"
                   R"("timePasswordChanged":1765200000000,"timesUsed":1,"syncCounter":0,)"
                   R"("everSynced":false,"encryptedUnknownFields":null})";
    }
    return R"({"nextId":)" + QByteArray::number(id + 1) + R"(,"logins":[)" + entries +
           R"(],"potentiallyVulnerablePasswords":[],"dismissedBreachAlertsByLoginGUID":{},"version":3})";
}

bool writeFirefoxLoginsDb(const QString& path, const QList<FirefoxLogin>& logins)
{
    QList<QVariantList> rows;
    int id = 0;
    for (const FirefoxLogin& login : logins) {
        ++id;
        const bool form = login.httpRealm.isEmpty();
        rows.append({login.hostname, form ? QVariant() : QVariant(login.httpRealm),
                     form ? QVariant(login.hostname) : QVariant(), QStringLiteral("{guid-%1}").arg(id),
                     login.deleted ? 1 : 0});
    }
    // The tables of Firefox ESR 153's "logins.db" (local logins and the synced mirror).
    const QString columns = QStringLiteral(
        "id INTEGER PRIMARY KEY AUTOINCREMENT, origin TEXT NOT NULL, httpRealm TEXT, formActionOrigin TEXT, "
        "usernameField TEXT, passwordField TEXT, timesUsed INTEGER NOT NULL DEFAULT 0, timeCreated INTEGER "
        "NOT NULL, timeLastUsed INTEGER, timePasswordChanged INTEGER NOT NULL, timeLastBreachAlertDismissed "
        "INTEGER, secFields TEXT, guid TEXT NOT NULL UNIQUE");
    return run(
        path,
        {QStringLiteral("CREATE TABLE loginsL (%1, local_modified INTEGER, is_deleted TINYINT NOT NULL "
                        "DEFAULT 0, sync_status TINYINT NOT NULL DEFAULT 0);")
             .arg(columns),
         QStringLiteral("CREATE TABLE loginsM (%1, server_modified INTEGER NOT NULL, is_overridden "
                        "TINYINT NOT NULL DEFAULT 0, enc_unknown_fields TEXT);")
             .arg(columns),
         QStringLiteral("CREATE INDEX idx_loginsM_is_overridden_origin ON loginsM (is_overridden, origin);"),
         QStringLiteral("CREATE INDEX idx_loginsL_is_deleted_origin ON loginsL (is_deleted, origin);"),
         QStringLiteral("CREATE TABLE loginsSyncMeta (key TEXT PRIMARY KEY, value NOT NULL);"),
         QStringLiteral("CREATE TABLE breachesL (id INTEGER PRIMARY KEY AUTOINCREMENT, encryptedPassword "
                        "TEXT);")},
        QStringLiteral("INSERT INTO loginsL (origin, httpRealm, formActionOrigin, usernameField, "
                       "passwordField, timeCreated, timePasswordChanged, secFields, guid, is_deleted) "
                       "VALUES (?, ?, ?, 'u', 'p', 1765200000000, 1765200000000, 'enc', ?, ?);"),
        rows);
}

QStringList contents(const QString& path, const QString& table, const QString& hostColumn)
{
    Sqlite sqlite;
    if (!sqlite.open(path))
        return {QStringLiteral("<cannot open>")};
    const auto rows =
        sqlite.executeQuery(QStringLiteral("SELECT %1 AS host, name FROM %2;").arg(hostColumn, table));
    if (!rows)
        return {QStringLiteral("<cannot read>")};
    QStringList found;
    for (const QVariantMap& row : *rows)
        found.append(row.value(QStringLiteral("host")).toString() + QLatin1Char('|') +
                     row.value(QStringLiteral("name")).toString());
    found.sort();
    return found;
}

QStringList channelIds(const QString& path)
{
    Sqlite sqlite;
    if (!sqlite.open(path))
        return {QStringLiteral("<cannot open>")};
    QStringList found;
    for (const QVariantMap& row :
         sqlite.executeQuery(QStringLiteral("SELECT origin FROM origin_bound_certs;"))
             .value_or(Sqlite::Rows{{{QStringLiteral("origin"), "<cannot read>"}}}))
        found.append(row.value(QStringLiteral("origin")).toString());
    found.sort();
    return found;
}

bool passesIntegrityCheck(const QString& path)
{
    Sqlite sqlite;
    if (!sqlite.open(path))
        return false;
    const auto rows = sqlite.executeQuery(QStringLiteral("PRAGMA integrity_check;"));
    return rows && rows->size() == 1 && rows->first().value(QStringLiteral("integrity_check")) == "ok";
}

QByteArray binaryCookies(const QList<Cookie>& cookies, int perPage, const QByteArray& settings)
{
    QList<QByteArray> pages;
    for (qsizetype first = 0; first < cookies.size(); first += perPage) {
        const QList<Cookie> onPage = cookies.mid(first, perPage);
        QByteArray page;
        appendBe32(page, 0x100);
        appendLe32(page, quint32(onPage.size()));
        quint32 offset = quint32(8 + 4 * onPage.size() + 4);
        QByteArray records;
        for (const Cookie& cookie : onPage) {
            appendLe32(page, offset);
            const QByteArray bytes = record(cookie);
            records += bytes;
            offset += quint32(bytes.size());
        }
        appendLe32(page, 0);
        pages.append(page + records);
    }
    QByteArray file("cook");
    appendBe32(file, quint32(pages.size()));
    quint32 sum = 0;
    for (const QByteArray& page : pages) {
        appendBe32(file, quint32(page.size()));
        for (qsizetype at = 0; at < page.size(); at += 4)
            sum += quint8(page.at(at));
    }
    for (const QByteArray& page : pages)
        file += page;
    appendBe32(file, sum);
    file += QByteArray::fromHex("071720050000004b");
    return file + settings;
}

} // namespace CookieStores
