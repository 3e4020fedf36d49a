#pragma once

#include <QMap>
#include <QString>
#include <QStringList>

// Reading desktop entries the way a desktop does, to check what the suite writes.
namespace DesktopEntry {

// The keys of the [Desktop Entry] group, string escapes (\s \n \t \r \\) undone.
QMap<QString, QString> read(const QString& path);

// An Exec value split into the program and its arguments: double-quoted arguments with a backslash
// before each of '"', '`', '$' and itself inside, "%%" for a percent sign. Empty when the
// line is malformed (an unclosed quote).
QStringList execArguments(const QString& exec);

} // namespace DesktopEntry
