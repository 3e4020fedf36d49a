#include "WorkerAppDelegate.h"

#include "common/Names.h"
#include "platform/DirectoryListing.h"
#include "worker/BrowserFolders.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>

QMap<QString, QString> WorkerAppDelegate::userProfiles(const QString& browser)
{
    const QString localState = BrowserFolders::path(
        browser == Names::Browsers::googleChrome ? browser : QString(Names::Browsers::chromium),
        BrowserFolder::LocalState);
    // Only a regular file: a FIFO in its place would block the pass for good.
    QFile file(localState);
    if (!QFileInfo(localState).isFile() || !file.open(QIODevice::ReadOnly))
        return {};
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll(), &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return {};
    const QJsonValue infoCache =
        document.object().value(QLatin1String("profile")).toObject().value(QLatin1String("info_cache"));
    if (!infoCache.isObject())
        return {};

    QMap<QString, QString> profiles;
    const QJsonObject entries = infoCache.toObject();
    for (auto it = entries.begin(); it != entries.end(); ++it) {
        const QJsonValue name = it.value().toObject().value(QLatin1String("name"));
        // A folder name that would lead out of the browser folder is never a profile.
        if (!name.isString() || it.key().isEmpty() || it.key().contains(QLatin1Char('/')) ||
            it.key() == QLatin1String(".") || it.key() == QLatin1String(".."))
            continue;
        profiles.insert(it.key(), name.toString());
    }
    return profiles;
}

QMap<QString, QString> WorkerAppDelegate::profileMap(const QString& browser)
{
    if (browser == Names::Browsers::googleChrome || browser == Names::Browsers::chromium)
        return userProfiles(browser);
    return {{QString(), QStringLiteral("Opera")}};
}

QStringList WorkerAppDelegate::firefoxProfileFolders()
{
    const QString base = BrowserFolders::path(Names::Browsers::firefox, BrowserFolder::FirefoxProfiles);
    QStringList folders;
    const auto entries = DirectoryListing::list(base);
    if (!entries)
        return folders;
    for (const DirectoryEntry& entry : *entries) {
        if (entry.type == DirectoryEntry::Type::Directory)
            folders.append(BrowserFolders::appending(base, entry.displayName()));
    }
    return folders;
}
