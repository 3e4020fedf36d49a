#include "DisplayCheck.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>

#include <xcb/xcb.h>

namespace {

bool canConnectToX(const QByteArray& display)
{
    xcb_connection_t* connection = xcb_connect(display.constData(), nullptr);
    const bool connected = xcb_connection_has_error(connection) == 0;
    xcb_disconnect(connection);
    return connected;
}

bool hasWaylandSocket(const QByteArray& display)
{
    const QString name = QString::fromLocal8Bit(display);
    const QString path =
        QDir::isAbsolutePath(name) ? name : QDir(qEnvironmentVariable("XDG_RUNTIME_DIR")).filePath(name);
    return QFileInfo(path).exists();
}

} // namespace

namespace DisplayCheck {

QString missingDisplay()
{
    const QByteArray x = qgetenv("DISPLAY");
    const QByteArray wayland = qgetenv("WAYLAND_DISPLAY");
    const bool xReachable = !x.isEmpty() && canConnectToX(x);
    const bool waylandReachable = !wayland.isEmpty() && hasWaylandSocket(wayland);
    // Qt tries the listed platforms in turn; unset, it takes whichever display the session has.
    QStringList platforms =
        qEnvironmentVariable("QT_QPA_PLATFORM").split(QLatin1Char(';'), Qt::SkipEmptyParts);
    if (platforms.isEmpty())
        platforms = {QStringLiteral("wayland"), QStringLiteral("xcb")};
    const auto canStart = [&](const QString& platform) {
        if (platform.startsWith(QLatin1String("xcb")))
            return xReachable;
        if (platform.startsWith(QLatin1String("wayland")))
            return waylandReachable;
        return true; // offscreen and the like need no display
    };
    if (std::any_of(platforms.cbegin(), platforms.cend(), canStart))
        return {};
    if (x.isEmpty() && wayland.isEmpty())
        return QStringLiteral("no display: neither DISPLAY nor WAYLAND_DISPLAY is set");
    return QStringLiteral("cannot connect to the display (DISPLAY=%1, WAYLAND_DISPLAY=%2)")
        .arg(QString::fromLocal8Bit(x), QString::fromLocal8Bit(wayland));
}

} // namespace DisplayCheck
