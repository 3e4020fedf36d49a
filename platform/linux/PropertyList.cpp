#include "platform/PropertyList.h"

#include <QDateTime>
#include <QFile>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>

#include <plist/plist.h>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>

namespace {

// XML ------------------------------------------------------------------------------------------------

QVariant readXmlValue(QXmlStreamReader& xml, int depth);

// Reads the children of <dict> up to its end tag; null when the dict is malformed.
QVariant readXmlDict(QXmlStreamReader& xml, int depth)
{
    QVariantMap map;
    while (xml.readNextStartElement()) {
        if (xml.name() != QLatin1String("key"))
            return {};
        const QString key = xml.readElementText();
        if (xml.hasError() || !xml.readNextStartElement())
            return {};
        const QVariant value = readXmlValue(xml, depth + 1);
        if (!value.isValid())
            return {};
        map.insert(key, value);
    }
    return xml.hasError() ? QVariant() : QVariant(map);
}

QVariant readXmlArray(QXmlStreamReader& xml, int depth)
{
    QVariantList list;
    while (xml.readNextStartElement()) {
        const QVariant value = readXmlValue(xml, depth + 1);
        if (!value.isValid())
            return {};
        list.append(value);
    }
    return xml.hasError() ? QVariant() : QVariant(list);
}

// Reads the element the reader stands on, up to and including its end tag.
QVariant readXmlValue(QXmlStreamReader& xml, int depth)
{
    // A hostile file must not exhaust the stack.
    if (depth > 256)
        return {};
    const auto name = xml.name();
    if (name == QLatin1String("dict"))
        return readXmlDict(xml, depth);
    if (name == QLatin1String("array"))
        return readXmlArray(xml, depth);
    if (name == QLatin1String("true") || name == QLatin1String("false")) {
        const bool value = name == QLatin1String("true");
        xml.skipCurrentElement();
        return xml.hasError() ? QVariant() : QVariant(value);
    }
    const QString text = xml.readElementText();
    if (xml.hasError())
        return {};
    if (name == QLatin1String("string"))
        return text;
    if (name == QLatin1String("integer")) {
        bool ok = false;
        const qint64 value = text.trimmed().toLongLong(&ok);
        return ok ? QVariant(value) : QVariant();
    }
    if (name == QLatin1String("real")) {
        bool ok = false;
        const double value = text.trimmed().toDouble(&ok);
        return ok ? QVariant(value) : QVariant();
    }
    if (name == QLatin1String("data")) {
        const auto decoded = QByteArray::fromBase64Encoding(text.toLatin1().simplified().replace(' ', ""));
        return decoded ? QVariant(*decoded) : QVariant();
    }
    if (name == QLatin1String("date")) {
        const QDateTime date = QDateTime::fromString(text.trimmed(), Qt::ISODate);
        return date.isValid() ? QVariant(date) : QVariant();
    }
    return {};
}

QVariant fromXml(const QByteArray& bytes)
{
    QXmlStreamReader xml(bytes);
    if (!xml.readNextStartElement() || xml.name() != QLatin1String("plist") || !xml.readNextStartElement())
        return {};
    const QVariant value = readXmlValue(xml, 0);
    if (!value.isValid())
        return {};
    // Nothing but the end of <plist> may follow.
    if (xml.readNextStartElement() || xml.hasError())
        return {};
    return value;
}

bool writeXmlValue(QXmlStreamWriter& xml, const QVariant& value)
{
    switch (value.typeId()) {
    case QMetaType::QVariantMap: {
        xml.writeStartElement(QStringLiteral("dict"));
        const QVariantMap map = value.toMap();
        for (auto it = map.begin(); it != map.end(); ++it) {
            xml.writeTextElement(QStringLiteral("key"), it.key());
            if (!writeXmlValue(xml, it.value()))
                return false;
        }
        xml.writeEndElement();
        return true;
    }
    case QMetaType::QVariantList:
    case QMetaType::QStringList: {
        xml.writeStartElement(QStringLiteral("array"));
        const QVariantList list = value.toList();
        for (const QVariant& item : list) {
            if (!writeXmlValue(xml, item))
                return false;
        }
        xml.writeEndElement();
        return true;
    }
    case QMetaType::QString:
        xml.writeTextElement(QStringLiteral("string"), value.toString());
        return true;
    case QMetaType::Bool:
        xml.writeEmptyElement(value.toBool() ? QStringLiteral("true") : QStringLiteral("false"));
        return true;
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
        xml.writeTextElement(QStringLiteral("integer"), value.toString());
        return true;
    case QMetaType::Double:
        xml.writeTextElement(QStringLiteral("real"), QString::number(value.toDouble(), 'g', 17));
        return true;
    case QMetaType::QByteArray:
        xml.writeTextElement(QStringLiteral("data"), QString::fromLatin1(value.toByteArray().toBase64()));
        return true;
    case QMetaType::QDateTime:
        xml.writeTextElement(QStringLiteral("date"), value.toDateTime().toUTC().toString(Qt::ISODate));
        return true;
    default:
        return false;
    }
}

// Binary -----------------------------------------------------------------------------------------

struct PlistDeleter
{
    void operator()(void* node) const { plist_free(static_cast<plist_t>(node)); }
};

QVariant fromNode(plist_t node, int depth)
{
    if (!node || depth > 256)
        return {};
    switch (plist_get_node_type(node)) {
    case PLIST_DICT: {
        QVariantMap map;
        plist_dict_iter iter = nullptr;
        plist_dict_new_iter(node, &iter);
        if (!iter)
            return {};
        for (;;) {
            char* key = nullptr;
            plist_t item = nullptr;
            plist_dict_next_item(node, iter, &key, &item);
            if (!item) {
                free(key);
                break;
            }
            const QVariant value = fromNode(item, depth + 1);
            const QString name = QString::fromUtf8(key);
            free(key);
            if (!value.isValid()) {
                free(iter);
                return {};
            }
            map.insert(name, value);
        }
        free(iter);
        return map;
    }
    case PLIST_ARRAY: {
        QVariantList list;
        const uint32_t size = plist_array_get_size(node);
        for (uint32_t i = 0; i < size; ++i) {
            const QVariant value = fromNode(plist_array_get_item(node, i), depth + 1);
            if (!value.isValid())
                return {};
            list.append(value);
        }
        return list;
    }
    case PLIST_STRING: {
        // By its length: plist_get_string_val() asserts on a string that holds a NUL, which a
        // binary list may.
        uint64_t length = 0;
        const char* text = plist_get_string_ptr(node, &length);
        return text ? QString::fromUtf8(text, static_cast<qsizetype>(length)) : QString(QLatin1String(""));
    }
    case PLIST_BOOLEAN: {
        uint8_t value = 0;
        plist_get_bool_val(node, &value);
        return value != 0;
    }
    case PLIST_UINT: {
        uint64_t value = 0;
        plist_get_uint_val(node, &value);
        return static_cast<qint64>(value);
    }
    case PLIST_REAL: {
        double value = 0;
        plist_get_real_val(node, &value);
        return value;
    }
    case PLIST_DATA: {
        char* data = nullptr;
        uint64_t length = 0;
        plist_get_data_val(node, &data, &length);
        const QByteArray value(data, static_cast<qsizetype>(length));
        free(data);
        return value;
    }
    case PLIST_DATE: {
        int32_t seconds = 0;
        int32_t microseconds = 0;
        plist_get_date_val(node, &seconds, &microseconds);
        // Property-list dates count from 2001-01-01 UTC.
        const QDateTime epoch(QDate(2001, 1, 1), QTime(0, 0), Qt::UTC);
        return epoch.addMSecs(qint64(seconds) * 1000 + microseconds / 1000);
    }
    default:
        return {};
    }
}

// WORKAROUND: libplist 2.2 aborts the program (an assertion) when it hands out a UTF-16 string that
// holds U+0000, as a dictionary key or a value. Such a list is taken for malformed before libplist
// sees it. False also when the object table cannot be walked; libplist then rejects the list itself.
bool holdsUtf16Nul(const QByteArray& bytes)
{
    const auto* data = reinterpret_cast<const uchar*>(bytes.constData());
    const qsizetype size = bytes.size();
    if (size < 8 + 32)
        return false;
    const auto bigEndian = [&](qsizetype at, int width) -> std::optional<quint64> {
        if (width < 1 || width > 8 || at < 0 || at + width > size)
            return std::nullopt;
        quint64 value = 0;
        for (int i = 0; i < width; ++i)
            value = (value << 8) | data[at + i];
        return value;
    };
    const qsizetype trailer = size - 32;
    const int offsetSize = data[trailer + 6];
    const auto objects = bigEndian(trailer + 8, 8);
    const auto table = bigEndian(trailer + 24, 8);
    if (!objects || !table || *objects > quint64(size) || *table > quint64(size))
        return false;
    for (quint64 index = 0; index < *objects; ++index) {
        const auto offset = bigEndian(qsizetype(*table + index * quint64(offsetSize)), offsetSize);
        if (!offset || *offset >= quint64(size) || (data[*offset] >> 4) != 0x6)
            continue;
        qsizetype at = qsizetype(*offset) + 1;
        quint64 units = data[*offset] & 0x0f;
        if (units == 0x0f) {
            if (at >= size || (data[at] >> 4) != 0x1)
                continue;
            const auto count = bigEndian(at + 1, 1 << (data[at] & 0x0f));
            if (!count)
                continue;
            at += 1 + (1 << (data[at] & 0x0f));
            units = *count;
        }
        for (quint64 unit = 0; unit < units && at + 1 < size; ++unit, at += 2) {
            if (data[at] == 0 && data[at + 1] == 0)
                return true;
        }
    }
    return false;
}

QVariant fromBinary(const QByteArray& bytes)
{
    if (holdsUtf16Nul(bytes))
        return {};
    plist_t root = nullptr;
    plist_from_bin(bytes.constData(), static_cast<uint32_t>(bytes.size()), &root);
    const std::unique_ptr<void, PlistDeleter> owner(root);
    return fromNode(root, 0);
}

} // namespace

namespace PropertyList {

QVariant fromBytes(const QByteArray& bytes)
{
    // libplist takes 32-bit lengths; no property list of ours comes near that.
    if (bytes.size() > (1 << 30))
        return {};
    if (bytes.startsWith("bplist00"))
        return fromBinary(bytes);
    return fromXml(bytes);
}

ReadResult readFile(const QString& path)
{
    const int fd = open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return {errno == ENOENT || errno == ENOTDIR ? ReadStatus::Missing : ReadStatus::Unreadable, {}};
    const ReadResult result = readOpenFile(fd);
    close(fd);
    return result;
}

ReadResult readOpenFile(int fd)
{
    // Far beyond any property list of ours; a bigger file is not read into memory.
    constexpr off_t largest = 16 * 1024 * 1024;
    struct stat info;
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode))
        return {ReadStatus::Unreadable, {}};
    if (info.st_size > largest)
        return {ReadStatus::Malformed, {}};
    QByteArray bytes;
    char buffer[16384];
    for (;;) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got == 0)
            break;
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return {ReadStatus::Unreadable, {}};
        }
        if (bytes.size() + got > largest)
            return {ReadStatus::Malformed, {}};
        bytes.append(buffer, got);
    }
    const QVariant value = fromBytes(bytes);
    if (!value.isValid())
        return {ReadStatus::Malformed, {}};
    return {ReadStatus::Ok, value};
}

QByteArray toXml(const QVariant& value)
{
    QByteArray bytes;
    QXmlStreamWriter xml(&bytes);
    xml.setAutoFormatting(true);
    xml.setAutoFormattingIndent(-1);
    xml.writeStartDocument();
    xml.writeDTD(QStringLiteral("<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
                                "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">"));
    xml.writeStartElement(QStringLiteral("plist"));
    xml.writeAttribute(QStringLiteral("version"), QStringLiteral("1.0"));
    if (!writeXmlValue(xml, value))
        return {};
    xml.writeEndElement();
    xml.writeEndDocument();
    return bytes;
}

} // namespace PropertyList
