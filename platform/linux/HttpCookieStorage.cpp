#include "platform/HttpCookieStorage.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QtEndian>

#include <cerrno>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>
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

// The jar's folder, opened without following a link in its place, and the file's name in it.
struct JarPlace
{
    int folderFd = -1;
    QByteArray name;

    JarPlace(const JarPlace&) = delete;
    JarPlace& operator=(const JarPlace&) = delete;
    explicit JarPlace(const QString& filePath)
    {
        const QFileInfo info(filePath);
        name = QFile::encodeName(info.fileName());
        folderFd =
            open(QFile::encodeName(info.path()).constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    }
    ~JarPlace()
    {
        if (folderFd >= 0)
            close(folderFd);
    }

    // The name under which a new jar becomes visible just before it replaces the old one. Only a
    // complete file ever carries it; a pass killed before the rename leaves it for the next one
    // to remove.
    [[nodiscard]] QByteArray stagingName() const { return name + ".veltrane-new"; }
};

// A link would have the rewrite land on a file elsewhere; a FIFO or device would never end.
std::optional<Jar> readJar(const JarPlace& place, mode_t* mode = nullptr)
{
    if (place.folderFd < 0 || place.name.isEmpty())
        return std::nullopt;
    const int fd =
        openat(place.folderFd, place.name.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    QFile file;
    struct stat info;
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size > largestFile ||
        !file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        close(fd);
        return std::nullopt;
    }
    if (mode)
        *mode = info.st_mode & 07777;
    return parseJar(file.readAll());
}

bool writeAll(int fd, const QByteArray& bytes)
{
    for (qsizetype done = 0; done < bytes.size();) {
        const ssize_t count = write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0)
            return false;
        done += count;
    }
    return true;
}

// Gives the jar's bytes the staging name, complete and synced. The file is written without a name
// (O_TMPFILE) and linked in only once it is whole; where the file system cannot do that, it is
// written under the staging name itself.
bool stage(const JarPlace& place, const QByteArray& bytes, mode_t mode)
{
    const QByteArray staging = place.stagingName();
    int fd = openat(place.folderFd, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, mode);
    const bool named = fd < 0;
    if (named)
        fd = openat(place.folderFd, staging.constData(), O_CREAT | O_EXCL | O_WRONLY | O_NOFOLLOW | O_CLOEXEC,
                    mode);
    if (fd < 0)
        return false;
    bool done = fchmod(fd, mode) == 0 && writeAll(fd, bytes) && fsync(fd) == 0;
    if (done && !named) {
        const QByteArray self = "/proc/self/fd/" + QByteArray::number(fd);
        done =
            linkat(AT_FDCWD, self.constData(), place.folderFd, staging.constData(), AT_SYMLINK_FOLLOW) == 0;
    }
    close(fd);
    if (!done && named)
        unlinkat(place.folderFd, staging.constData(), 0);
    return done;
}

} // namespace

HttpCookieStorage::HttpCookieStorage(QString filePath) : m_filePath(std::move(filePath)) {}

QList<HttpCookie> HttpCookieStorage::cookies() const
{
    QList<HttpCookie> all;
    if (const auto jar = readJar(JarPlace(m_filePath))) {
        for (const QList<HttpCookie>& page : jar->pages)
            all.append(page);
    }
    return all;
}

bool HttpCookieStorage::deleteCookies(const QList<HttpCookie>& cookies) const
{
    const JarPlace place(m_filePath);
    if (place.folderFd < 0 || place.name.isEmpty())
        return false;
    // What a killed rewrite left: the jar it replaces is still in place and is read again below.
    (void)unlinkat(place.folderFd, place.stagingName().constData(), 0);
    mode_t mode = 0600;
    auto jar = readJar(place, &mode);
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
    if (!stage(place, jarBytes(*jar), mode))
        return false;
    if (renameat(place.folderFd, place.stagingName().constData(), place.folderFd, place.name.constData()) !=
        0) {
        (void)unlinkat(place.folderFd, place.stagingName().constData(), 0);
        return false;
    }
    // The rename itself lasts only once the folder is synced.
    (void)fsync(place.folderFd);
    return true;
}
