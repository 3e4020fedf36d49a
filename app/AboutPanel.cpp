#include "app/AboutPanel.h"

#include <QDialogButtonBox>
#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace {
constexpr int imageSize = 128;
} // namespace

AboutPanel::AboutPanel(const QString& applicationName, const QString& imagePath,
                       const QString& applicationVersion, QWidget* parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("aboutPanel"));
    setWindowTitle(tr("About %1").arg(applicationName));

    auto* image = new QLabel(this);
    image->setObjectName(QStringLiteral("aboutImage"));
    image->setFixedSize(imageSize, imageSize);
    image->setAlignment(Qt::AlignCenter);
    // Rendered from the file at the screen's scale, so it stays sharp on a 2x display.
    image->setPixmap(QIcon(imagePath).pixmap(QSize(imageSize, imageSize), devicePixelRatioF()));
    image->setAccessibleName(tr("%1 logo").arg(applicationName));

    auto* name = new QLabel(applicationName, this);
    name->setObjectName(QStringLiteral("aboutName"));
    QFont nameFont = name->font();
    nameFont.setBold(true);
    nameFont.setPointSizeF(nameFont.pointSizeF() * 1.6);
    name->setFont(nameFont);
    name->setAlignment(Qt::AlignCenter);

    auto* version = new QLabel(tr("Version %1").arg(applicationVersion), this);
    version->setObjectName(QStringLiteral("aboutVersion"));
    version->setAlignment(Qt::AlignCenter);
    version->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::close);
    buttons->setCenterButtons(true);
    buttons->button(QDialogButtonBox::Close)->setIcon(QIcon());
    buttons->button(QDialogButtonBox::Close)->setDefault(true);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(32, 24, 32, 16);
    layout->setSpacing(8);
    layout->addWidget(image, 0, Qt::AlignHCenter);
    layout->addSpacing(4);
    layout->addWidget(name);
    layout->addWidget(version);
    layout->addSpacing(8);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}
