// The status item's two images at the panel sizes on a dark and a light panel, and its open menu in
// both states.
#include "ShotWriter.h"
#include "common/Names.h"
#include "menubar/MenuBarAppDelegate.h"
#include "menubar/MenuBarImages.h"

#include <QApplication>
#include <QMenu>
#include <QPainter>
#include <QPixmap>

namespace {

constexpr int gap = 12;

// One row per image, its sizes side by side, on a panel of `background`.
QPixmap panel(const QList<QIcon>& icons, const QColor& background)
{
    const QList<int> sizes = MenuBarImages::panelSizes();
    int width = gap;
    for (const int size : sizes)
        width += size + gap;
    const int height = gap + static_cast<int>(icons.size()) * (sizes.last() + gap);
    const qreal density = qApp->devicePixelRatio();
    QPixmap pixmap(QSize(width, height) * density);
    pixmap.setDevicePixelRatio(density);
    pixmap.fill(background);
    QPainter painter(&pixmap);
    int y = gap;
    for (const QIcon& icon : icons) {
        int x = gap;
        for (const int size : sizes) {
            // Centred on the row, as a panel centres its items.
            icon.paint(&painter, QRect(x, y + (sizes.last() - size) / 2, size, size));
            x += size + gap;
        }
        y += sizes.last() + gap;
    }
    return pixmap;
}

} // namespace

int main(int argc, char* argv[])
{
    QApplication application(argc, argv);
    if (argc < 2)
        return 2;
    ShotWriter writer(application, QString::fromLocal8Bit(argv[1]));
    const QString bundle =
        qEnvironmentVariable("VELTRANE_BUNDLE") + QLatin1Char('/') + Names::BundlePaths::menuBar;
    const QString resources = bundle + QStringLiteral("/Contents/Resources");
    const QList<QIcon> icons{MenuBarImages::image(resources, MenuBarImages::paused),
                             MenuBarImages::image(resources, MenuBarImages::running)};
    if (icons.first().isNull() || icons.last().isNull())
        return 1;
    writer.save(QStringLiteral("tray-images-dark-panel"), panel(icons, QColor(0x1f, 0x1f, 0x23)));
    writer.save(QStringLiteral("tray-images-light-panel"), panel(icons, QColor(0xf2, 0xf2, 0xf2)));

    // The delegate is only drawn here: it is never launched, so it reads and changes nothing.
    MenuBarAppDelegate delegate(bundle);
    delegate.showRunState(true);
    writer.save(QStringLiteral("tray-menu-running"), *delegate.sysMenuBar());
    delegate.sysMenuBar()->hide();
    delegate.showRunState(false);
    writer.save(QStringLiteral("tray-menu-paused"), *delegate.sysMenuBar());
    return writer.allWritten() ? 0 : 1;
}
