#include "platform/HttpCookieStorage.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSaveFile>
#include <QtEndian>

#include <optional>
#include <utility>

// The file: "cook", a big-endian page count and page sizes, the pages, a big-endian checksum of
// the pages, a fixed footer and the jar's settings. A page: a fixed header, the little-endian
// count and offsets of its cookie records, a zero word, the records. A record: its little-endian
// size, fixed fields, and offsets (from the record's start) of its NUL-terminated strings.
namespace {

constexpr char fileMagic[] = "cook";
constexpr quint32 pageHeader = 0x00000100;
constexpr quint64 fileFooter = 0x071720050000004bULL;
constexpr qsizetype recordHeaderSize = 56;
constexpr qsizetype urlOffsetAt = 16;
constexpr qsizetype nameOffsetAt = 20;
constexpr qsizetype pathOffsetAt = 24;
// Beyond this, a file is not taken for a cookie jar.
constexpr qint64 largestFile = qint64(256) * 1024 * 1024;

struct Jar
{
    QList<QList<HttpCookie>> pages;
    QByteArray settings; // everything after the footer, kept as it was
};

quint32 bigEndianAt(const QByteArray& bytes, qsizetype at)
{
    return qFromBigEndian<quint32>(bytes.constData() + at);
}

quint32 littleEndianAt(const QByteArray& bytes, qsizetype at)
{
    return qFromLittleEndian<quint32>(bytes.constData() + at);
}

std::optional<QString> stringAt(const QByteArray& record, quint32 offset)
{
    if (offset < recordHeaderSize || offset >= record.size())
        return std::nullopt;
    const qsizetype end = record.indexOf('\0', offset);
    if (end < 0)
        return std::nullopt;
    return QString::fromUtf8(record.mid(offset, end - offset));
}

std::optional<HttpCookie> parseRecord(const QByteArray& record)
{
    const auto domain = stringAt(record, littleEndianAt(record, urlOffsetAt));
    const auto name = stringAt(record, littleEndianAt(record, nameOffsetAt));
    const auto path = stringAt(record, littleEndianAt(record, pathOffsetAt));
    if (!domain || !name || !path)
        return std::nullopt;
    return HttpCookie{*name, *domain, *path, record};
}

std::optional<QList<HttpCookie>> parsePage(const QByteArray& page)
{
    if (page.size() < 12 || bigEndianAt(page, 0) != pageHeader)
        return std::nullopt;
    const quint32 count = littleEndianAt(page, 4);
    const qsizetype offsetsEnd = 8 + qsizetype(count) * 4;
    if (count > quint32(page.size() / 4) || offsetsEnd + 4 > page.size() ||
        littleEndianAt(page, offsetsEnd) != 0)
        return std::nullopt;
    QList<HttpCookie> cookies;
    for (quint32 index = 0; index < count; ++index) {
        const quint32 offset = littleEndianAt(page, 8 + qsizetype(index) * 4);
        if (offset < offsetsEnd + 4 || qsizetype(offset) + 4 > page.size())
            return std::nullopt;
        const quint32 size = littleEndianAt(page, offset);
        if (size < recordHeaderSize || qsizetype(size) > page.size() - qsizetype(offset))
            return std::nullopt;
        auto cookie = parseRecord(page.mid(offset, size));
        if (!cookie)
            return std::nullopt;
        cookies.append(*cookie);
    }
    return cookies;
}

// Every fourth byte of each page, summed.
quint32 checksum(const QList<QByteArray>& pages)
{
    quint32 sum = 0;
    for (const QByteArray& page : pages) {
        for (qsizetype at = 0; at < page.size(); at += 4)
            sum += quint8(page.at(at));
    }
    return sum;
}

std::optional<Jar> parseJar(const QByteArray& file)
{
    if (file.size() < 8 || !file.startsWith(fileMagic))
        return std::nullopt;
    const quint32 pageCount = bigEndianAt(file, 4);
    qsizetype at = 8 + qsizetype(pageCount) * 4;
    if (pageCount > quint32(file.size() / 4) || at > file.size())
        return std::nullopt;
    QList<QByteArray> pageBytes;
    for (quint32 index = 0; index < pageCount; ++index) {
        const quint32 size = bigEndianAt(file, 8 + qsizetype(index) * 4);
        if (qsizetype(size) > file.size() - at)
            return std::nullopt;
        pageBytes.append(file.mid(at, size));
        at += size;
    }
    if (file.size() - at < 12 || bigEndianAt(file, at) != checksum(pageBytes) ||
        qFromBigEndian<quint64>(file.constData() + at + 4) != fileFooter)
        return std::nullopt;
    Jar jar;
    for (const QByteArray& page : std::as_const(pageBytes)) {
        auto cookies = parsePage(page);
        if (!cookies)
            return std::nullopt;
        jar.pages.append(*cookies);
    }
    jar.settings = file.mid(at + 12);
    return jar;
}

void appendBigEndian(QByteArray& bytes, quint32 value)
{
    char word[4];
    qToBigEndian(value, word);
    bytes.append(word, 4);
}

void appendLittleEndian(QByteArray& bytes, quint32 value)
{
    char word[4];
    qToLittleEndian(value, word);
    bytes.append(word, 4);
}

QByteArray pageBytes(const QList<HttpCookie>& cookies)
{
    QByteArray page;
    appendBigEndian(page, pageHeader);
    appendLittleEndian(page, quint32(cookies.size()));
    quint32 offset = quint32(8 + cookies.size() * 4 + 4);
    for (const HttpCookie& cookie : cookies) {
        appendLittleEndian(page, offset);
        offset += quint32(cookie.record.size());
    }
    appendLittleEndian(page, 0);
    for (const HttpCookie& cookie : cookies)
        page.append(cookie.record);
    return page;
}

QByteArray jarBytes(const Jar& jar)
{
    QList<QByteArray> pages;
    for (const QList<HttpCookie>& cookies : jar.pages) {
        if (!cookies.isEmpty())
            pages.append(pageBytes(cookies));
    }
    QByteArray file(fileMagic, 4);
    appendBigEndian(file, quint32(pages.size()));
    for (const QByteArray& page : std::as_const(pages))
        appendBigEndian(file, quint32(page.size()));
    for (const QByteArray& page : std::as_const(pages))
        file.append(page);
    appendBigEndian(file, checksum(pages));
    char footer[8];
    qToBigEndian(fileFooter, footer);
    file.append(footer, 8);
    file.append(jar.settings);
    return file;
}

std::optional<Jar> readJar(const QString& filePath)
{
    // A link would have the rewrite land on a file elsewhere; a FIFO or device would never end.
    const QFileInfo info(filePath);
    if (info.isSymLink() || !info.isFile())
        return std::nullopt;
    QFile file(filePath);
    if (!file.open(QIODevice::ReadOnly) || file.size() > largestFile)
        return std::nullopt;
    return parseJar(file.readAll());
}

} // namespace

HttpCookieStorage::HttpCookieStorage(QString filePath) : m_filePath(std::move(filePath)) {}

QList<HttpCookie> HttpCookieStorage::cookies() const
{
    QList<HttpCookie> all;
    if (const auto jar = readJar(m_filePath)) {
        for (const QList<HttpCookie>& page : jar->pages)
            all.append(page);
    }
    return all;
}

bool HttpCookieStorage::deleteCookies(const QList<HttpCookie>& cookies) const
{
    auto jar = readJar(m_filePath);
    if (!jar)
        return false;
    // Each cookie handed in takes away one stored record equal to it, no more.
    QHash<QByteArray, int> toGo;
    for (const HttpCookie& cookie : cookies)
        ++toGo[cookie.record];
    bool changed = false;
    for (QList<HttpCookie>& page : jar->pages) {
        page.removeIf([&](const HttpCookie& stored) {
            const auto left = toGo.find(stored.record);
            if (left == toGo.end() || *left == 0)
                return false;
            --*left;
            changed = true;
            return true;
        });
    }
    if (!changed)
        return true;
    QSaveFile file(m_filePath);
    file.setDirectWriteFallback(false);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    const QByteArray bytes = jarBytes(*jar);
    if (file.write(bytes) != bytes.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}
