#include "platform/linux/FlatpakInfo.h"

#include "platform/FileDescriptor.h"
#include "platform/SmallFile.h"

#include <QList>

#include <fcntl.h>

namespace FlatpakInfo {

namespace {

// Flatpak writes a few hundred bytes; more is no file of its.
constexpr qint64 maximumSize = 64 * 1024;

} // namespace

std::optional<Instance> parse(const QByteArray& text)
{
    Instance instance;
    QByteArray section;
    for (const QByteArray& rawLine : text.split('\n')) {
        const QByteArray line = rawLine.trimmed();
        if (line.isEmpty() || line.startsWith('#'))
            continue;
        if (line.startsWith('[') && line.endsWith(']')) {
            section = line.mid(1, line.size() - 2);
            continue;
        }
        const qsizetype equals = line.indexOf('=');
        if (equals <= 0)
            continue;
        const QByteArray key = line.left(equals).trimmed();
        const QString value = QString::fromUtf8(line.mid(equals + 1).trimmed());
        // The first of a repeated key counts, as for a desktop entry.
        if (section == "Application" && key == "name" && instance.application.isEmpty())
            instance.application = value;
        else if (section == "Instance" && key == "app-path" && instance.appPath.isEmpty())
            instance.appPath = value;
    }
    if (instance.application.isEmpty())
        return std::nullopt;
    return instance;
}

std::optional<Instance> ofProcess(pid_t processIdentifier)
{
    const QByteArray root = "/proc/" + QByteArray::number(processIdentifier) + "/root";
    const FileDescriptor folder(open(root.constData(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (!folder.isOpen())
        return std::nullopt;
    // Not followed if a link, not waited on if a FIFO: the sandbox's files are the application's own.
    const auto text = SmallFile::readAt(folder.get(), ".flatpak-info", maximumSize);
    return text ? parse(*text) : std::nullopt;
}

} // namespace FlatpakInfo
