#include "FirefoxSiteStorage.h"

#include "platform/DirectoryListing.h"
#include "platform/FileLock.h"
#include "platform/SmallFile.h"
#include "worker/BrowserFolders.h"
#include "worker/SiteOrigin.h"
#include "worker/Sqlite.h"

#include <QFile>
#include <QSet>
#include <QStringDecoder>
#include <QtEndian>

#include <algorithm>

namespace {

constexpr qint64 metadataLimit = 64 * 1024;
// Last access time (int64), persisted (bool), two reserved int32 fields.
constexpr qsizetype metadataHeader = 8 + 1 + 4 + 4;

// A string as Firefox's binary streams write it: a big-endian 32-bit length, then the bytes.
std::optional<QByteArray> readString(const QByteArray& bytes, qsizetype* at)
{
    if (bytes.size() - *at < 4)
        return std::nullopt;
    const quint32 length = qFromBigEndian<quint32>(bytes.constData() + *at);
    *at += 4;
    if (length > quint64(bytes.size() - *at))
        return std::nullopt;
    const QByteArray text = bytes.mid(*at, qsizetype(length));
    *at += qsizetype(length);
    return text;
}

bool isSqliteFile(const QString& path)
{
    return DirectoryListing::typeOf(QFile::encodeName(path)) == DirectoryEntry::Type::File;
}

// Runs `statement` once for each of `values`, bound first, with `shared` bound after it; in one
// transaction.
void deleteRows(const QString& path, const QString& statement, const QStringList& values,
                const SecureRemoval& removal, const QVariantList& shared = {})
{
    Sqlite database;
    if (values.isEmpty() || !isSqliteFile(path) || !database.open(path))
        return;
    if (removal.secureDelete())
        (void)database.executeNonQuery(QStringLiteral("PRAGMA secure_delete = ON;"));
    QList<QVariantList> arguments;
    for (const QString& value : values)
        arguments.append(QVariantList{value} + shared);
    if (!database.beginTransaction())
        return;
    if (database.executeNonQuery(statement, arguments) && database.commit())
        return;
    (void)database.rollback();
}

// The archived local storage of sites not kept.
void cleanArchive(const QString& path, const KeepList& keep, const SecureRemoval& removal)
{
    QStringList selected;
    {
        Sqlite database;
        if (!isSqliteFile(path) || !database.open(path))
            return;
        const auto rows =
            database.executeQuery(QStringLiteral("SELECT DISTINCT originKey FROM webappsstore2;"));
        for (const Sqlite::Row& row : rows.value_or(Sqlite::Rows())) {
            const QString originKey = row.value(QStringLiteral("originKey")).toString();
            const auto origin = FirefoxSiteStorage::originOfArchiveKey(originKey);
            if (origin && SiteOrigin::isRemoved(*origin, keep))
                selected.append(originKey);
        }
    }
    deleteRows(path, QStringLiteral("DELETE FROM webappsstore2 WHERE originKey = ?;"), selected, removal);
}

} // namespace

qint64 FirefoxSiteStorage::clean(const QString& profileFolder, const KeepList& keep,
                                 const SecureRemoval& removal)
{
    if (keep.keepsEverySite || FileLock::state(BrowserFolders::appending(
                                   profileFolder, QStringLiteral(".parentlock"))) != LockState::Free)
        return 0;
    // The sites' own stores: best-effort ("default"), the older temporary kind, and private
    // browsing's (which Firefox empties itself, unless it was stopped before it could).
    qint64 removed = 0;
    for (const char* repository : {"default", "temporary", "private"})
        removed += cleanRepository(profileFolder, QString::fromLatin1(repository), keep, removal);
    cleanArchive(BrowserFolders::appending(profileFolder, QStringLiteral("storage/ls-archive.sqlite")), keep,
                 removal);
    return removed;
}

qint64 FirefoxSiteStorage::cleanRepository(const QString& profileFolder, const QString& repository,
                                           const KeepList& keep, const SecureRemoval& removal)
{
    const FileDescriptor storage = DirectoryListing::openFolder(
        QFile::encodeName(BrowserFolders::appending(profileFolder, QStringLiteral("storage/") + repository)));
    if (!storage.isOpen())
        return 0;
    QSet<QString> origins;
    QStringList gone; // as Firefox records them, attributes included
    for (const DirectoryEntry& entry :
         DirectoryListing::list(storage.get()).value_or(QList<DirectoryEntry>())) {
        if (entry.type != DirectoryEntry::Type::Directory)
            continue; // a link is never followed, nor taken for a store
        std::optional<QString> origin;
        {
            const FileDescriptor folder = DirectoryListing::openFolderAt(storage.get(), entry.name);
            if (!folder.isOpen())
                continue;
            if (const auto metadata = SmallFile::readAt(folder.get(), ".metadata-v2", metadataLimit))
                origin = originOfMetadata(*metadata);
        }
        if (!origin || !SiteOrigin::isRemoved(*origin, keep))
            continue;
        if (isSettled(removal.removeAt(storage.get(), entry.name)))
            gone.append(*origin);
        origins.insert(SiteOrigin::ownOrigin(*origin));
    }
    deleteRows(BrowserFolders::appending(profileFolder, QStringLiteral("storage.sqlite")),
               QStringLiteral("DELETE FROM origin WHERE origin = ? AND repository_id = "
                              "(SELECT id FROM repository WHERE name = ?);"),
               gone, removal, {repository});
    return origins.size();
}

std::optional<QString> FirefoxSiteStorage::originOfMetadata(const QByteArray& metadata)
{
    qsizetype at = metadataHeader;
    if (metadata.size() < at)
        return std::nullopt;
    std::optional<QByteArray> origin;
    for (int field = 0; field < 3; ++field) { // suffix, group, origin
        origin = readString(metadata, &at);
        if (!origin)
            return std::nullopt;
    }
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = decoder(*origin);
    if (decoder.hasError() || text.isEmpty())
        return std::nullopt;
    return text;
}

std::optional<QString> FirefoxSiteStorage::originOfArchiveKey(const QString& originKey)
{
    const qsizetype end = originKey.indexOf(QLatin1String(".:"));
    if (end <= 0)
        return std::nullopt;
    QString host = originKey.left(end);
    std::reverse(host.begin(), host.end());
    const QStringList rest = originKey.mid(end + 2).split(QLatin1Char(':'));
    if (rest.size() != 2 || rest.first().isEmpty())
        return std::nullopt;
    if (host.contains(QLatin1Char(':')))
        host = QLatin1Char('[') + host + QLatin1Char(']');
    return rest.first() + QLatin1String("://") + host +
           (rest.last().isEmpty() ? QString() : QLatin1Char(':') + rest.last());
}
