#pragma once

#include <QString>
#include <QVariant>

// Apple property lists, XML or binary, as Qt values: dict -> QVariantMap, array -> QVariantList,
// string -> QString, boolean -> bool, integer -> qint64, real -> double, data -> QByteArray,
// date -> QDateTime.
namespace PropertyList {

enum class ReadStatus
{
    Ok,
    Missing,
    Unreadable, // there, but could not be opened or read: says nothing about its contents
    Malformed
};

struct ReadResult
{
    ReadStatus status = ReadStatus::Missing;
    QVariant value;
};

// Reads a property list from a file. Missing, unreadable and malformed files are told apart; anything
// but a regular file (a folder, a FIFO, a device) counts as unreadable and is never waited on.
[[nodiscard]] ReadResult readFile(const QString& path);

// The same for a file already open for reading (opened with O_NONBLOCK if it may not be regular).
[[nodiscard]] ReadResult readOpenFile(int fd);

// Parses XML or binary property-list bytes; a null QVariant when they are not a property list.
[[nodiscard]] QVariant fromBytes(const QByteArray& bytes);

// The value as an XML property list; empty when it holds a type a property list cannot carry.
[[nodiscard]] QByteArray toXml(const QVariant& value);

} // namespace PropertyList
