#include "platform/LoginItems.h"

#include "platform/Bundle.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace LoginItems {

namespace {

constexpr qint64 maximumEntrySize = 64 * 1024;
const QString entrySuffix = QStringLiteral(".desktop");

QString configHome()
{
    const QString configured = qEnvironmentVariable("XDG_CONFIG_HOME");
    // Relative paths are invalid by the base-directory rules and are ignored.
    if (QDir::isAbsolutePath(configured))
        return configured;
    return QDir::homePath() + QStringLiteral("/.config");
}

QStringList systemFolders()
{
    QStringList folders;
    const QStringList configured =
        qEnvironmentVariable("XDG_CONFIG_DIRS").split(QLatin1Char(':'), Qt::SkipEmptyParts);
    for (const QString& folder : configured) {
        if (QDir::isAbsolutePath(folder))
            folders.append(folder + QStringLiteral("/autostart"));
    }
    if (folders.isEmpty())
        folders.append(QStringLiteral("/etc/xdg/autostart"));
    return folders;
}

bool isPlainName(const QString& identifier)
{
    return !identifier.isEmpty() && !identifier.contains(QLatin1Char('/')) &&
           !identifier.startsWith(QLatin1Char('.'));
}

// A desktop entry's string value: backslash, newline, tab and carriage return are escaped.
QString escapeValue(const QString& value)
{
    QString escaped;
    for (const QChar c : value) {
        if (c == QLatin1Char('\\'))
            escaped += QStringLiteral("\\\\");
        else if (c == QLatin1Char('\n'))
            escaped += QStringLiteral("\\n");
        else if (c == QLatin1Char('\t'))
            escaped += QStringLiteral("\\t");
        else if (c == QLatin1Char('\r'))
            escaped += QStringLiteral("\\r");
        else
            escaped += c;
    }
    return escaped;
}

// One argument of an Exec line: field codes are escaped ("%%"), and an argument with a reserved
// character is double-quoted with `"`, `` ` ``, `$` and `\` escaped inside the quotes.
QString quoteArgument(const QString& argument)
{
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    QString text = argument;
    text.replace(QLatin1Char('%'), QStringLiteral("%%"));
    const bool needsQuotes = text.isEmpty() || std::any_of(text.cbegin(), text.cend(),
                                                           [](QChar c) { return reserved.contains(c); });
    if (!needsQuotes)
        return text;
    QString quoted = QStringLiteral("\"");
    for (const QChar c : text) {
        if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') || c == QLatin1Char('\\'))
            quoted += QLatin1Char('\\');
        quoted += c;
    }
    return quoted + QLatin1Char('"');
}

QByteArray entryFor(const QString& program, const QString& name)
{
    const QString text =
        QStringLiteral("[Desktop Entry]\n"
                       "Type=Application\n"
                       "Name=%1\n"
                       "Exec=%2\n"
                       "TryExec=%3\n"
                       "Terminal=false\n"
                       "NoDisplay=true\n"
                       "X-GNOME-Autostart-enabled=true\n")
            .arg(escapeValue(name), escapeValue(quoteArgument(program)), escapeValue(program));
    return text.toUtf8();
}

// The user's folder, opened without following a link in its place; created (0700, as the
// base-directory rules ask) when missing. -1 when it cannot be used.
int openUserFolder(bool create)
{
    const QByteArray folder = QFile::encodeName(userFolder());
    int fd = open(folder.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0 && errno == ENOENT && create) {
        const QString parent = QFileInfo(userFolder()).absolutePath();
        if (!QFileInfo::exists(parent))
            (void)QDir().mkpath(parent);
        if (mkdir(folder.constData(), 0700) != 0 && errno != EEXIST)
            return -1;
        fd = open(folder.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    }
    return fd;
}

bool writeAll(int fd, const QByteArray& bytes)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t written =
            ::write(fd, bytes.constData() + done, static_cast<size_t>(bytes.size() - done));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        done += written;
    }
    return true;
}

bool registerEntry(int folder, const QByteArray& fileName, const QByteArray& contents)
{
    struct stat info
    {
    };
    if (fstatat(folder, fileName.constData(), &info, AT_SYMLINK_NOFOLLOW) == 0 && !S_ISREG(info.st_mode))
        return false;
    const QByteArray temporary = '.' + fileName + '.' + QByteArray::number(getpid()) + ".tmp";
    const int fd =
        openat(folder, temporary.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    const bool written = writeAll(fd, contents) && fsync(fd) == 0;
    const bool closed = ::close(fd) == 0;
    // A folder put in the file's place meanwhile makes the rename fail; a link is replaced, never followed.
    if (written && closed && renameat(folder, temporary.constData(), folder, fileName.constData()) == 0)
        return true;
    (void)unlinkat(folder, temporary.constData(), 0);
    return false;
}

bool unregisterEntry(int folder, const QByteArray& fileName)
{
    struct stat info
    {
    };
    if (fstatat(folder, fileName.constData(), &info, AT_SYMLINK_NOFOLLOW) != 0)
        return errno == ENOENT;
    if (!S_ISREG(info.st_mode))
        return false;
    return unlinkat(folder, fileName.constData(), 0) == 0 || errno == ENOENT;
}

// The entry's text; empty when it is not a regular file (a FIFO is never waited on) or too large.
QByteArray readEntry(const QString& path)
{
    const int fd = open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return {};
    QByteArray contents;
    struct stat info
    {
    };
    if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size <= maximumEntrySize) {
        contents.resize(static_cast<qsizetype>(info.st_size));
        const ssize_t got = ::read(fd, contents.data(), static_cast<size_t>(contents.size()));
        contents.resize(got > 0 ? static_cast<qsizetype>(got) : 0);
    }
    ::close(fd);
    return contents;
}

// Whether the desktop starts the entry: it has a [Desktop Entry] group that neither hides it nor
// switches it off.
bool isEnabledEntry(const QByteArray& contents)
{
    bool inMainGroup = false;
    bool sawMainGroup = false;
    bool enabled = true;
    const QList<QByteArray> lines = contents.split('\n');
    for (const QByteArray& rawLine : lines) {
        const QByteArray line = rawLine.trimmed();
        if (line.startsWith('[')) {
            inMainGroup = line == "[Desktop Entry]";
            sawMainGroup = sawMainGroup || inMainGroup;
            continue;
        }
        if (!inMainGroup)
            continue;
        const qsizetype equals = line.indexOf('=');
        if (equals < 0)
            continue;
        const QByteArray key = line.left(equals).trimmed();
        const QByteArray value = line.mid(equals + 1).trimmed();
        if ((key == "Hidden" && value == "true") || (key == "X-GNOME-Autostart-enabled" && value == "false"))
            enabled = false;
    }
    return sawMainGroup && enabled;
}

} // namespace

QString userFolder()
{
    return configHome() + QStringLiteral("/autostart");
}

bool setEnabled(const QString& identifier, const QString& bundlePath, bool enabled)
{
    if (!isPlainName(identifier))
        return false;
    const QByteArray fileName = QFile::encodeName(identifier + entrySuffix);
    QByteArray contents;
    if (enabled) {
        const QString program = Bundle::executablePath(bundlePath);
        if (program.isEmpty())
            return false;
        QString name = Bundle::infoDictionary(bundlePath).value(QStringLiteral("CFBundleName")).toString();
        contents = entryFor(program, name.isEmpty() ? identifier : name);
    }
    const int folder = openUserFolder(enabled);
    if (folder < 0)
        return !enabled && errno == ENOENT;
    const bool done = enabled ? registerEntry(folder, fileName, contents) : unregisterEntry(folder, fileName);
    ::close(folder);
    return done;
}

QList<Job> jobs()
{
    QList<Job> found;
    QSet<QString> seen;
    const QStringList folders = QStringList{userFolder()} + systemFolders();
    for (const QString& folder : folders) {
        const QStringList names =
            QDir(folder).entryList({QStringLiteral("*.desktop")}, QDir::Files | QDir::System, QDir::Name);
        for (const QString& name : names) {
            const QString label = name.chopped(entrySuffix.size());
            if (seen.contains(label))
                continue;
            seen.insert(label);
            found.append({label, isEnabledEntry(readEntry(folder + QLatin1Char('/') + name))});
        }
    }
    return found;
}

} // namespace LoginItems
