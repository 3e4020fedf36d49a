#include "SiteDataSupport.h"

#include "Sandbox.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>

#include <leveldb/db.h>

namespace SiteDataSupport {

bool unpack(const QString& name, const QString& folder)
{
    if (!QDir().mkpath(folder))
        return false;
    QProcess tar;
    tar.start(QStringLiteral("tar"),
              {QStringLiteral("-xzf"),
               BuiltSuite::sourceDir() + QStringLiteral("/tests/data/sitedata/") + name, QStringLiteral("-C"),
               folder});
    return tar.waitForFinished(60000) && tar.exitStatus() == QProcess::NormalExit && tar.exitCode() == 0;
}

std::optional<QMap<QByteArray, QByteArray>> readLevelDb(const QString& folder)
{
    leveldb::Options options;
    options.paranoid_checks = true;
    leveldb::DB* opened = nullptr;
    if (!leveldb::DB::Open(options, QFile::encodeName(folder).toStdString(), &opened).ok())
        return std::nullopt;
    std::unique_ptr<leveldb::DB> db(opened);
    QMap<QByteArray, QByteArray> entries;
    std::unique_ptr<leveldb::Iterator> it(db->NewIterator(leveldb::ReadOptions()));
    for (it->SeekToFirst(); it->Valid(); it->Next())
        entries.insert(QByteArray(it->key().data(), qsizetype(it->key().size())),
                       QByteArray(it->value().data(), qsizetype(it->value().size())));
    if (!it->status().ok())
        return std::nullopt;
    return entries;
}

QByteArray folderBytes(const QString& folder)
{
    QByteArray bytes;
    for (const QString& name : QDir(folder).entryList(QDir::Files | QDir::Hidden)) {
        QFile file(folder + QLatin1Char('/') + name);
        if (file.open(QIODevice::ReadOnly))
            bytes += file.readAll();
    }
    return bytes;
}

bool browserAvailable(const QString& browser, QString* skip)
{
    const QStringList programs{browser == QLatin1String("chromium") ? QStringLiteral("chromium")
                                                                    : QStringLiteral("firefox-esr"),
                               QStringLiteral("python3")};
    for (const QString& program : programs) {
        if (QStandardPaths::findExecutable(program).isEmpty()) {
            *skip = program + QStringLiteral(" is not installed: the check with the real browser is skipped");
            return false;
        }
    }
    return true;
}

std::optional<QByteArray> browse(const QString& mode, const QString& browser, const QString& profile)
{
    QProcess python;
    python.start(
        QStringLiteral("python3"),
        {BuiltSuite::sourceDir() + QStringLiteral("/tools/sitedata/browse.py"), mode, browser, profile});
    if (!python.waitForFinished(180000) || python.exitStatus() != QProcess::NormalExit ||
        python.exitCode() != 0)
        return std::nullopt;
    return python.readAllStandardOutput();
}

QString favouriteOnlyMismatch(const QByteArray& report)
{
    const QJsonObject seen = QJsonDocument::fromJson(report).object();
    const QJsonObject favourite = seen.value(QStringLiteral("http://127.0.0.1:8601")).toObject();
    if (favourite.value(QStringLiteral("local")).toObject().size() != 4 ||
        favourite.value(QStringLiteral("idb")).toArray().size() != 1 ||
        favourite.value(QStringLiteral("fs")).toArray().size() != 1)
        return QStringLiteral("the favourite lost data: ") + QString::fromUtf8(report);
    for (const QString& removed :
         {QStringLiteral("http://127.0.0.2:8602"), QStringLiteral("http://127.0.0.3:8603"),
          QStringLiteral("http://127.0.0.2:8602 in http://127.0.0.1:8601")}) {
        const QJsonObject site = seen.value(removed).toObject();
        if (!site.contains(QStringLiteral("local")))
            return removed + QStringLiteral(" was not read");
        if (!site.value(QStringLiteral("local")).toObject().isEmpty() ||
            !site.value(QStringLiteral("idb")).toArray().isEmpty() ||
            !site.value(QStringLiteral("fs")).toArray().isEmpty())
            return removed + QStringLiteral(" still has data");
    }
    return {};
}

} // namespace SiteDataSupport
