#include "app/PrefsController.h"

#include "app/AppDelegate.h"
#include "app/Popover.h"
#include "common/Names.h"
#include "common/NotificationCenter.h"
#include "platform/Bundle.h"
#include "platform/UserDefaults.h"
#include "ui_Prefs.h"

#include <QAction>
#include <QCloseEvent>
#include <QGraphicsDropShadowEffect>
#include <QMainWindow>
#include <QMenuBar>
#include <QSignalBlocker>
#include <QTimer>

namespace {

// The window keeps its own dark look in light and dark desktop themes alike; its popovers follow the
// desktop's theme.
QPalette windowPalette(QPalette palette)
{
    const QColor text(0xf2, 0xf2, 0xf2);
    const QColor secondary(0xb8, 0xb8, 0xb8);
    for (const auto group : {QPalette::Active, QPalette::Inactive}) {
        palette.setColor(group, QPalette::WindowText, text);
        palette.setColor(group, QPalette::Text, text);
        palette.setColor(group, QPalette::ButtonText, text);
        palette.setColor(group, QPalette::PlaceholderText, secondary);
        palette.setColor(group, QPalette::Window, QColor(0x40, 0x40, 0x40));
        palette.setColor(group, QPalette::Button, QColor(0x4a, 0x4a, 0x4a));
        // Check boxes: a mid-grey well that stands out from the background, with a light mark.
        palette.setColor(group, QPalette::Base, QColor(0x5e, 0x5e, 0x5e));
        palette.setColor(group, QPalette::Highlight, QColor(0x3d, 0x7a, 0xd6));
        palette.setColor(group, QPalette::HighlightedText, Qt::white);
    }
    palette.setColor(QPalette::Disabled, QPalette::WindowText, QColor(0x80, 0x80, 0x80));
    palette.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(0x80, 0x80, 0x80));
    palette.setColor(QPalette::Disabled, QPalette::Text, QColor(0x80, 0x80, 0x80));
    return palette;
}

} // namespace

PrefsController::PrefsController(QMenu* applicationMenu)
    : m_prefsView(std::make_unique<QMainWindow>()), m_ui(std::make_unique<Ui::Prefs>())
{
    m_ui->setupUi(m_prefsView.get());
    if (applicationMenu)
        m_ui->menuBar->addMenu(applicationMenu);
    awakeFromNib();
}

PrefsController::~PrefsController() = default;

QLabel* PrefsController::versionLabel() const
{
    return m_ui->versionLabel;
}

QAbstractButton* PrefsController::prefsEnabledButton() const
{
    return m_ui->prefsEnabledButton;
}

QAbstractButton* PrefsController::removeAllButton() const
{
    return m_ui->removeAllButton;
}

Popover* PrefsController::popover() const
{
    return m_ui->popover;
}

Popover* PrefsController::prefsPopover() const
{
    return m_ui->prefsPopover;
}

QAbstractButton* PrefsController::prefsPopoverButton() const
{
    return m_ui->prefsPopoverButton;
}

void PrefsController::awakeFromNib()
{
    m_prefsView->setObjectName(QStringLiteral("prefsWindow"));
    m_ui->prefsBackground->setPalette(windowPalette(m_ui->prefsBackground->palette()));
    QFont title = m_ui->titleLabel->font();
    title.setBold(true);
    title.setPointSizeF(title.pointSizeF() * 1.5);
    m_ui->titleLabel->setFont(title);
    QPalette detail = m_ui->enabledDetailLabel->palette();
    detail.setColor(QPalette::WindowText, detail.color(QPalette::PlaceholderText));
    m_ui->enabledDetailLabel->setPalette(detail);

    bind(m_ui->prefsEnabledButton, Names::Keys::isRunning);
    bind(m_ui->removeAllButton, Names::Keys::removeAll);
    bind(m_ui->displayNotificationsButton, Names::Keys::displayNotifications);
    bind(m_ui->secureDeleteDataButton, Names::Keys::secureDeleteData);
    bind(m_ui->showInMenuBarButton, Names::Keys::showInMenuBar);
    bind(m_ui->openAtLoginButton, Names::Keys::openAtLogin);
    connect(m_ui->popoverButton, &QAbstractButton::clicked, this,
            [this] { togglePopover(m_ui->popoverButton); });
    connect(m_ui->prefsPopoverButton, &QAbstractButton::clicked, this,
            [this] { togglePrefsPopover(m_ui->prefsPopoverButton); });

    auto* closeWindow = new QAction(tr("Close Window"), m_prefsView.get());
    closeWindow->setShortcut(QKeySequence::Close);
    connect(closeWindow, &QAction::triggered, m_prefsView.get(), &QWidget::close);
    m_prefsView->addAction(closeWindow);
    m_prefsView->installEventFilter(this);
    startupCheck();
    m_prefsView->setFixedSize(m_prefsView->sizeHint().expandedTo(QSize(500, 0)));
}

void PrefsController::bind(QAbstractButton* control, QLatin1StringView key)
{
    UserDefaults& defaults = UserDefaults::standardUserDefaults();
    control->setChecked(defaults.boolForKey(key));
    // Every change made by the user, by click, key or drag, is stored at once.
    connect(control, &QAbstractButton::toggled, this,
            [key](bool checked) { UserDefaults::standardUserDefaults().setBool(checked, key); });
    // A change stored elsewhere in the application (the menu-bar agent's toggle) shows at once and is
    // not stored again.
    connect(&defaults, &UserDefaults::valueChanged, control, [control, key](const QString& changed) {
        if (changed != key)
            return;
        const QSignalBlocker quiet(control);
        control->setChecked(UserDefaults::standardUserDefaults().boolForKey(key));
        control->update();
    });
}

void PrefsController::startupCheck()
{
    QLabel* label = m_ui->versionLabel;
    auto* shadow = new QGraphicsDropShadowEffect(label);
    shadow->setColor(QColor::fromRgbF(0.0f, 0.0f, 0.0f, 0.3f));
    shadow->setOffset(1.0, 1.1);
    shadow->setBlurRadius(1.0);
    label->setGraphicsEffect(shadow);
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    // A 12-pixel bold face: 9 points at the desktop's usual 96 dots per inch.
    QFont font = label->font();
    font.setBold(true);
    font.setPointSizeF(9.0);
    label->setFont(font);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, QColor(Qt::lightGray));
    label->setPalette(palette);
    label->setText(Bundle::localizedString(QStringLiteral("v%1")).arg(AppDelegate::version()));
    label->setAccessibleName(tr("Version %1").arg(AppDelegate::version()));

    m_ui->prefsEnabledButton->setEnabled(true);
    m_ui->removeAllButton->setEnabled(true);
}

void PrefsController::showWindow()
{
    if (m_prefsView->isMinimized())
        m_prefsView->showNormal();
    else
        m_prefsView->show();
    m_prefsView->raise();
    m_prefsView->activateWindow();
}

void PrefsController::togglePopover(QWidget* sender)
{
    Popover* panel = m_ui->popover;
    if (panel->isShown())
        panel->close();
    else
        panel->showRelativeToRect(sender ? sender->rect() : QRect(), sender, Popover::Edge::MaxX);
}

void PrefsController::togglePrefsPopover(QWidget* sender)
{
    Popover* panel = m_ui->prefsPopover;
    if (panel->isShown())
        panel->close();
    else
        panel->showRelativeToRect(sender ? sender->rect() : QRect(), sender, Popover::Edge::MaxY);
}

bool PrefsController::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_prefsView.get() && event->type() == QEvent::Close) {
        // Runs after the window has accepted the close, so a refused close announces nothing.
        QTimer::singleShot(0, this, [this] {
            if (!m_prefsView->isVisible())
                windowWillClose();
        });
    }
    return QObject::eventFilter(watched, event);
}

void PrefsController::windowWillClose()
{
    NotificationCenter::defaultCenter().postNotificationName(Names::LocalNotifications::releaseWindow);
    deleteLater();
}
