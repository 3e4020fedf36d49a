#pragma once

#include <QDialog>
#include <QString>

// The application's About window: its image, name and version, and a button to close it.
class AboutPanel : public QDialog
{
    Q_OBJECT

public:
    // `imagePath` is drawn at 128 x 128 (sharp at any scale); an image that cannot be read leaves
    // the place empty.
    AboutPanel(const QString& applicationName, const QString& imagePath, const QString& applicationVersion,
               QWidget* parent = nullptr);
};
