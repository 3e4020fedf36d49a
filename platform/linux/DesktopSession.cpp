#include "platform/DesktopSession.h"

#include <QDir>
#include <QRegularExpression>

#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace DesktopSession {

namespace {

// Whether something accepts connections on a local socket; `abstract` names one in the abstract
// namespace (X servers listen there too).
bool acceptsConnections(const QByteArray& path, bool abstract = false)
{
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const size_t offset = abstract ? 1 : 0;
    if (path.isEmpty() || static_cast<size_t>(path.size()) + offset >= sizeof address.sun_path)
        return false;
    std::memcpy(address.sun_path + offset, path.constData(), static_cast<size_t>(path.size()));
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    const auto length =
        static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + offset + static_cast<size_t>(path.size()));
    const bool connected = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), length) == 0;
    ::close(fd);
    return connected;
}

bool x11Answers()
{
    const QString display = qEnvironmentVariable("DISPLAY");
    if (display.isEmpty())
        return false;
    // "[host]:number[.screen]"; a remote host is trusted as given (connecting could block for long).
    static const QRegularExpression form(QStringLiteral("^([^:]*):(\\d+)(\\.\\d+)?$"));
    const auto match = form.match(display);
    if (!match.hasMatch())
        return display.startsWith(QLatin1Char('/')) && acceptsConnections(QFile::encodeName(display));
    const QString host = match.captured(1);
    if (!host.isEmpty() && host != QLatin1String("unix"))
        return true;
    const QByteArray socket = "/tmp/.X11-unix/X" + match.captured(2).toLatin1();
    return acceptsConnections(socket) || acceptsConnections(socket, true);
}

bool waylandAnswers()
{
    const QString name = qEnvironmentVariable("WAYLAND_DISPLAY");
    if (name.isEmpty())
        return false;
    const QString path =
        QDir::isAbsolutePath(name) ? name : qEnvironmentVariable("XDG_RUNTIME_DIR") + QLatin1Char('/') + name;
    return acceptsConnections(QFile::encodeName(path));
}

} // namespace

QString unavailableReason()
{
    // "offscreen", "minimal", "vnc:size=..."; a list ("wayland;xcb") is tried in order by Qt.
    const QString platform = qEnvironmentVariable("QT_QPA_PLATFORM").section(QLatin1Char(':'), 0, 0);
    const QStringList platforms = platform.split(QLatin1Char(';'), Qt::SkipEmptyParts);
    for (const QString& name : platforms) {
        if (!name.startsWith(QLatin1String("xcb")) && !name.startsWith(QLatin1String("wayland")))
            return {};
        if ((name.startsWith(QLatin1String("xcb")) && x11Answers()) ||
            (name.startsWith(QLatin1String("wayland")) && waylandAnswers()))
            return {};
    }
    if (platforms.isEmpty() && (x11Answers() || waylandAnswers()))
        return {};
    return QStringLiteral("no display server answers (DISPLAY=\"%1\", WAYLAND_DISPLAY=\"%2\"); "
                          "it needs a graphical desktop session")
        .arg(qEnvironmentVariable("DISPLAY"), qEnvironmentVariable("WAYLAND_DISPLAY"));
}

} // namespace DesktopSession
