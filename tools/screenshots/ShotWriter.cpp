#include "ShotWriter.h"

#include <QApplication>
#include <QDir>
#include <QPalette>
#include <QPixmap>
#include <QStyleFactory>
#include <QTest>
#include <QWidget>

namespace {

// Fusion's palette turned dark, as the desktops' dark themes draw Qt programs.
QPalette darkPalette()
{
    QPalette palette;
    const QColor window(0x2b, 0x2b, 0x2b);
    const QColor base(0x1e, 0x1e, 0x1e);
    const QColor text(0xe6, 0xe6, 0xe6);
    palette.setColor(QPalette::Window, window);
    palette.setColor(QPalette::WindowText, text);
    palette.setColor(QPalette::Base, base);
    palette.setColor(QPalette::AlternateBase, window);
    palette.setColor(QPalette::ToolTipBase, window);
    palette.setColor(QPalette::ToolTipText, text);
    palette.setColor(QPalette::Text, text);
    palette.setColor(QPalette::Button, QColor(0x35, 0x35, 0x35));
    palette.setColor(QPalette::ButtonText, text);
    palette.setColor(QPalette::BrightText, Qt::white);
    palette.setColor(QPalette::Highlight, QColor(0x3d, 0x7a, 0xd6));
    palette.setColor(QPalette::HighlightedText, Qt::white);
    palette.setColor(QPalette::Link, QColor(0x6a, 0xa6, 0xf0));
    palette.setColor(QPalette::Disabled, QPalette::Text, QColor(0x80, 0x80, 0x80));
    palette.setColor(QPalette::Disabled, QPalette::WindowText, QColor(0x80, 0x80, 0x80));
    palette.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(0x80, 0x80, 0x80));
    return palette;
}

} // namespace

ShotWriter::ShotWriter(QApplication& application, const QString& folder)
    : m_folder(folder), m_dark(qEnvironmentVariable("VELTRANE_SHOTS_THEME") == QLatin1String("dark"))
{
    QDir().mkpath(folder);
    application.setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    if (m_dark)
        application.setPalette(darkPalette());
}

bool ShotWriter::save(const QString& name, const QPixmap& pixmap) const
{
    const bool written =
        !pixmap.isNull() && pixmap.save(QDir(m_folder).filePath(name + QStringLiteral(".png")));
    m_allWritten = m_allWritten && written;
    return written;
}

bool ShotWriter::save(const QString& name, QWidget& widget) const
{
    widget.show();
    (void)QTest::qWaitForWindowExposed(&widget, 2000);
    QApplication::processEvents();
    return save(name, widget.grab());
}
