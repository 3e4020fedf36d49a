#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

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

// "host|name" of every row of `table` (host column `hostColumn`), sorted.
QStringList contents(const QString& path, const QString& table, const QString& hostColumn);
QStringList channelIds(const QString& path);
bool passesIntegrityCheck(const QString& path);

// A Safari cookie file holding `cookies` on pages of at most `perPage`, followed by `settings`.
QByteArray binaryCookies(const QList<Cookie>& cookies, int perPage = 2,
                         const QByteArray& settings = QByteArray("bplist00-settings"));

} // namespace CookieStores
