#include "MenuBarImages.h"

#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPalette>
#include <QPixmap>
#include <QSvgRenderer>

namespace {

// The mask's alpha filled with `color`.
QImage filled(const QImage& mask, const QColor& color)
{
    QImage result = mask;
    QPainter painter(&result);
    painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
    painter.fillRect(result.rect(), color);
    return result;
}

QPixmap render(QSvgRenderer& renderer, int size, int density, const QColor& ink, const QColor& edge)
{
    const int pixels = size * density;
    QImage mask(pixels, pixels, QImage::Format_ARGB32_Premultiplied);
    mask.fill(Qt::transparent);
    {
        QPainter painter(&mask);
        painter.setRenderHint(QPainter::Antialiasing);
        renderer.render(&painter, QRectF(0, 0, pixels, pixels));
    }
    // The edge: the mask spread by one device pixel in every direction, under the ink.
    const QImage edgeLayer = filled(mask, edge);
    QImage result(pixels, pixels, QImage::Format_ARGB32_Premultiplied);
    result.fill(Qt::transparent);
    {
        QPainter painter(&result);
        for (int dx = -1; dx <= 1; ++dx) {
            for (int dy = -1; dy <= 1; ++dy) {
                if (dx != 0 || dy != 0)
                    painter.drawImage(dx, dy, edgeLayer);
            }
        }
        painter.drawImage(0, 0, filled(mask, ink));
    }
    QPixmap pixmap = QPixmap::fromImage(result);
    pixmap.setDevicePixelRatio(density);
    return pixmap;
}

} // namespace

namespace MenuBarImages {

QList<int> panelSizes()
{
    return {16, 22, 24, 32};
}

QIcon image(const QString& resourcesFolder, QLatin1StringView name)
{
    QSvgRenderer renderer(QDir(resourcesFolder).filePath(name + QStringLiteral(".svg")));
    if (!renderer.isValid())
        return {};
    const QPalette palette = QGuiApplication::palette();
    const QColor ink = palette.color(QPalette::WindowText);
    QColor edge = palette.color(QPalette::Window);
    edge.setAlphaF(0.45F);
    QIcon icon;
    for (const int size : panelSizes()) {
        for (const int density : {1, 2})
            icon.addPixmap(render(renderer, size, density, ink, edge));
    }
    icon.setIsMask(true);
    return icon;
}

} // namespace MenuBarImages
