#include "DisplayCheck.h"

#include <QDir>
#include <QFileInfo>

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
    // The first of Qt's choices decides; a platform without a display (offscreen) needs none.
    const QString platform = qEnvironmentVariable("QT_QPA_PLATFORM").section(QLatin1Char(';'), 0, 0);
    const bool anyPlatform = platform.isEmpty();
    if (!anyPlatform && !platform.startsWith(QLatin1String("xcb")) &&
        !platform.startsWith(QLatin1String("wayland")))
        return {};
    const QByteArray wayland = qgetenv("WAYLAND_DISPLAY");
    if ((anyPlatform || platform.startsWith(QLatin1String("wayland"))) && !wayland.isEmpty() &&
        hasWaylandSocket(wayland))
        return {};
    const QByteArray x = qgetenv("DISPLAY");
    if ((anyPlatform || platform.startsWith(QLatin1String("xcb"))) && !x.isEmpty() && canConnectToX(x))
        return {};
    if (x.isEmpty() && wayland.isEmpty())
        return QStringLiteral("no display: neither DISPLAY nor WAYLAND_DISPLAY is set");
    return QStringLiteral("cannot connect to the display (DISPLAY=%1, WAYLAND_DISPLAY=%2)")
        .arg(QString::fromLocal8Bit(x), QString::fromLocal8Bit(wayland));
}

} // namespace DisplayCheck
