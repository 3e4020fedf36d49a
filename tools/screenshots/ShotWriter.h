#pragma once

#include <QString>

class QApplication;
class QPixmap;
class QWidget;

// Writes the pictures of one screenshot program into the folder given as its first argument, in the
// theme named by VELTRANE_SHOTS_THEME ("light" or "dark"; the scale comes from QT_SCALE_FACTOR).
class ShotWriter
{
public:
    // Applies the theme to the application; the folder is created when missing.
    ShotWriter(QApplication& application, const QString& folder);

    [[nodiscard]] bool isDark() const { return m_dark; }

    // "<folder>/<name>.png"; false when the file could not be written.
    bool save(const QString& name, const QPixmap& pixmap) const;
    // The widget as it draws itself, shown and laid out first.
    bool save(const QString& name, QWidget& widget) const;

    // True when every picture so far was written.
    [[nodiscard]] bool allWritten() const { return m_allWritten; }

private:
    QString m_folder;
    bool m_dark = false;
    mutable bool m_allWritten = true;
};
