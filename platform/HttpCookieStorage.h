#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// One cookie of Safari's cookie jar. `record` holds its stored bytes, which identify it when it is
// handed back for deletion.
struct HttpCookie
{
    QString name;
    QString domain;
    QString path;
    QByteArray record;

    bool operator==(const HttpCookie&) const = default;
};

// Safari's cookie jar: one file in the binary cookie format. A file that is missing, truncated or
// malformed holds no cookies and is never written.
class HttpCookieStorage
{
public:
    explicit HttpCookieStorage(QString filePath);

    [[nodiscard]] QList<HttpCookie> cookies() const;

    // Rewrites the file without `cookies`, every other cookie kept as it was: the new file gets a
    // name only once it is complete and synced, then replaces the old one by a rename. A staging
    // file left by a rewrite that was killed is removed first. False when the file could not be
    // read or written.
    [[nodiscard]] bool deleteCookies(const QList<HttpCookie>& cookies) const;

private:
    QString m_filePath;
};
