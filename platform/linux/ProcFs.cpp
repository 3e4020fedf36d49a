#include "platform/linux/ProcFs.h"

#include <QByteArray>

#include <cerrno>
#include <charconv>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ProcFs {

namespace {

QByteArray entryPath(pid_t processIdentifier, const char* entry)
{
    return "/proc/" + QByteArray::number(processIdentifier) + '/' + entry;
}

std::optional<pid_t> parseProcessIdentifier(const char* name)
{
    pid_t value = 0;
    const char* end = name + strlen(name);
    const auto result = std::from_chars(name, end, value);
    if (result.ec != std::errc() || result.ptr != end || value <= 0)
        return std::nullopt;
    return value;
}

} // namespace

quint64 ticksSinceBoot()
{
    timespec now = {};
    clock_gettime(CLOCK_BOOTTIME, &now);
    const auto ticksPerSecond = static_cast<quint64>(sysconf(_SC_CLK_TCK));
    return static_cast<quint64>(now.tv_sec) * ticksPerSecond +
           static_cast<quint64>(now.tv_nsec) * ticksPerSecond / 1000000000U;
}

std::vector<pid_t> processIdentifiers()
{
    std::vector<pid_t> identifiers;
    DIR* proc = opendir("/proc");
    if (proc == nullptr)
        return identifiers;
    while (const dirent* entry = readdir(proc)) {
        if (const auto identifier = parseProcessIdentifier(entry->d_name))
            identifiers.push_back(*identifier);
    }
    closedir(proc);
    return identifiers;
}

std::optional<uid_t> owner(pid_t processIdentifier)
{
    struct stat info = {};
    const QByteArray path = "/proc/" + QByteArray::number(processIdentifier);
    if (fstatat(AT_FDCWD, path.constData(), &info, AT_SYMLINK_NOFOLLOW) != 0)
        return std::nullopt;
    return info.st_uid;
}

std::optional<ProcessStatus> status(pid_t processIdentifier)
{
    const int fd = open(entryPath(processIdentifier, "stat").constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    char buffer[1024];
    ssize_t length = 0;
    do {
        length = read(fd, buffer, sizeof buffer - 1);
    } while (length < 0 && errno == EINTR);
    close(fd);
    if (length <= 0)
        return std::nullopt;
    buffer[length] = '\0';

    // "pid (comm) state ppid ...": comm may hold spaces and parentheses, so fields count from the
    // last ')'. Field 4 is the parent, field 22 the start time.
    const char* field = strrchr(buffer, ')');
    if (field == nullptr)
        return std::nullopt;
    const char* end = buffer + length;
    ProcessStatus result;
    for (int index = 3; index <= 22; ++index) {
        while (field < end && *field != ' ')
            ++field;
        while (field < end && *field == ' ')
            ++field;
        if (field >= end)
            return std::nullopt;
        if (index == 4 && std::from_chars(field, end, result.parentProcessIdentifier).ec != std::errc())
            return std::nullopt;
        if (index == 22 && std::from_chars(field, end, result.startTime).ec != std::errc())
            return std::nullopt;
    }
    return result;
}

QString executable(pid_t processIdentifier)
{
    char target[4096];
    const ssize_t length = readlink(entryPath(processIdentifier, "exe").constData(), target, sizeof target);
    if (length <= 0 || static_cast<size_t>(length) >= sizeof target)
        return QString();
    QString path = QString::fromLocal8Bit(target, length);
    const QLatin1String deleted(" (deleted)");
    if (path.endsWith(deleted))
        path.chop(deleted.size());
    return path;
}

} // namespace ProcFs
