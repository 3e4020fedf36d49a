#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <utility>

// Browser stores written with real SQLite in the browsers' own schemas, and Safari cookie files
// written byte by byte, for the tests to clean and inspect.
namespace CookieStores {

struct Cookie
{
    QString host;
    QString name;
    qint64 id = 0; // creation_utc for the Chrome family, id for Firefox and Camino
};

// Creates the database (and its folders) and runs `statements` on it, in order.
bool writeDatabase(const QString& path, const QStringList& statements);

bool writeChrome(const QString& path, const QList<Cookie>& cookies);
bool writeMozilla(const QString& path, const QList<Cookie>& cookies);
bool writeChannelIds(const QString& path, const QStringList& origins);
bool writeLogins(const QString& path, const QStringList& hostnames);

// One saved login of a Chrome-family "Login Data" (table `logins`, schema of Chromium 156).
struct ChromeLogin
{
    ChromeLogin(QVariant origin, QString realm, int loginScheme = 0, bool neverSave = false,
                QString federation = QString())
        : originUrl(std::move(origin)), signonRealm(std::move(realm)), scheme(loginScheme),
          blacklisted(neverSave), federationUrl(std::move(federation))
    {
    }
    QVariant originUrl; // a null QVariant is stored as an empty text
    QString signonRealm;
    int scheme = 0; // 0: web form
    bool blacklisted = false;
    QString federationUrl;
};
bool writeChromeLogins(const QString& path, const QList<ChromeLogin>& logins);

// One saved login of Firefox ("logins.json" and "logins.db", as Firefox ESR 153 writes them).
struct FirefoxLogin
{
    FirefoxLogin(QString host, QString realm = QString(), bool isDeleted = false)
        : hostname(std::move(host)), httpRealm(std::move(realm)), deleted(isDeleted)
    {
    }
    QString hostname;
    QString httpRealm;    // empty: a web-form login (the realm is null)
    bool deleted = false; // logins.db only: a local tombstone
};
QByteArray firefoxLoginsJson(const QList<FirefoxLogin>& logins);
bool writeFirefoxLoginsDb(const QString& path, const QList<FirefoxLogin>& logins);

// "host|name" of every row of `table` (host column `hostColumn`), sorted.
QStringList contents(const QString& path, const QString& table, const QString& hostColumn);
QStringList channelIds(const QString& path);
bool passesIntegrityCheck(const QString& path);

// A Safari cookie file holding `cookies` on pages of at most `perPage`, followed by `settings`.
QByteArray binaryCookies(const QList<Cookie>& cookies, int perPage = 2,
                         const QByteArray& settings = QByteArray("bplist00-settings"));

} // namespace CookieStores
