// Safari's binary cookie file: read, then rewritten without every other cookie.
#include "FuzzHome.h"

#include "platform/HttpCookieStorage.h"

#include <QtEndian>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

// The file's checksum is a sum over its pages; random bytes almost never match it, so when the
// first input byte is odd the checksum is put right before the file is read.
QByteArray withChecksum(QByteArray file)
{
    if (file.size() < 8)
        return file;
    const quint32 pages = qFromBigEndian<quint32>(file.constData() + 4);
    qsizetype at = 8 + qsizetype(pages) * 4;
    if (pages > quint32(file.size() / 4) || at > file.size())
        return file;
    quint32 sum = 0;
    for (quint32 index = 0; index < pages; ++index) {
        const quint32 size = qFromBigEndian<quint32>(file.constData() + 8 + qsizetype(index) * 4);
        if (qsizetype(size) > file.size() - at)
            return file;
        for (qsizetype byte = at; byte < at + qsizetype(size); byte += 4)
            sum += quint8(file.at(byte));
        at += size;
    }
    if (file.size() - at >= 4)
        qToBigEndian(sum, file.data() + at);
    return file;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    QByteArray bytes(reinterpret_cast<const char*>(data) + 1, qsizetype(size) - 1);
    if (data[0] & 1)
        bytes = withChecksum(bytes);
    const QString path = FuzzHome::path() + QStringLiteral("/Cookies.binarycookies");
    if (!FuzzHome::write(path, bytes))
        return 0;
    const HttpCookieStorage storage(path);
    const QList<HttpCookie> before = storage.cookies();
    QList<HttpCookie> gone;
    for (qsizetype index = 0; index < before.size(); index += 2)
        gone.append(before.at(index));
    if (!storage.deleteCookies(gone))
        return 0;
    // The rewritten file reads back with exactly the other cookies.
    if (storage.cookies().size() != before.size() - gone.size())
        std::abort();
    return 0;
}
