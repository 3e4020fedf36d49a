#include "MenuBarAppDelegate.h"

#include "common/BundleLocator.h"
#include "common/Names.h"
#include "common/ProcessControl.h"
#include "menubar/MenuBarImages.h"
#include "platform/DistributedNotificationCenter.h"
#include "platform/UserDefaults.h"

#include <QAction>
#include <QCursor>
#include <QGuiApplication>
#include <QMenu>
#include <QSystemTrayIcon>

namespace {
QString localized(const char* key)
{
    return Bundle::localizedString(QString::fromUtf8(key));
}
} // namespace

MenuBarAppDelegate::MenuBarAppDelegate(QString bundlePath)
    : m_bundlePath(std::move(bundlePath)), m_sysMenuBar(std::make_unique<QMenu>())
{
    // The agent's interface: the pause/start entry, then the main application's two windows.
    m_sysMenuBar->setObjectName(QStringLiteral("sysMenuBar"));
    m_runStateItem = m_sysMenuBar->addAction(localized("Start Veltrane"));
    m_runStateItem->setObjectName(QStringLiteral("runStateItem"));
    m_sysMenuBar->addSeparator();
    QAction* prefs = m_sysMenuBar->addAction(localized("Preferences…"));
    prefs->setObjectName(QStringLiteral("prefsItem"));
    connect(prefs, &QAction::triggered, this, &MenuBarAppDelegate::prefsButtonPressed);
    QAction* about = m_sysMenuBar->addAction(localized("About Veltrane"));
    about->setObjectName(QStringLiteral("aboutItem"));
    connect(about, &QAction::triggered, this, &MenuBarAppDelegate::aboutButtonPressed);

    const QString resources = m_bundlePath + QStringLiteral("/Contents/Resources");
    m_pausedImage = MenuBarImages::image(resources, MenuBarImages::paused);
    m_runningImage = MenuBarImages::image(resources, MenuBarImages::running);
    m_image = m_pausedImage;
    connect(&m_trayWatch, &StatusTrayWatch::trayAvailable, this, &MenuBarAppDelegate::showStatusItem);
}

MenuBarAppDelegate::~MenuBarAppDelegate()
{
    DistributedNotificationCenter::defaultCenter().removeObserver(this);
}

void MenuBarAppDelegate::applicationDidFinishLaunching()
{
    DistributedNotificationCenter::defaultCenter().addObserver(
        Names::Notifications::updateVeltraneRunStatus, this, [this](const QVariantMap&) { updateMenubar(); });
    m_trayWatch.start(QGuiApplication::platformName());
    menuBarCheck();
}

bool MenuBarAppDelegate::isVeltraneActive() const
{
    return ProcessControl::isRunning(Names::BundleIdentifiers::application);
}

bool MenuBarAppDelegate::isVeltraneEnabled() const
{
    auto& defaults = UserDefaults::standardUserDefaults();
    defaults.addSuiteNamed(Names::suiteName);
    return defaults.boolForKey(Names::Keys::isRunning);
}

void MenuBarAppDelegate::showRunState(bool running)
{
    m_image = running ? m_runningImage : m_pausedImage;
    m_runStateItem->setText(running ? localized("Pause Veltrane") : localized("Start Veltrane"));
}

void MenuBarAppDelegate::updateMenubar()
{
    refresh(DaemonWhenOff::Stop);
}

void MenuBarAppDelegate::refresh(DaemonWhenOff daemonWhenOff)
{
    const bool running = isVeltraneEnabled();
    showRunState(running);
    if (!running && daemonWhenOff == DaemonWhenOff::Stop)
        enableDaemon(false);
    showStatusItem();
}

void MenuBarAppDelegate::showStatusItem()
{
    if (!m_statusItem) {
        if (!m_trayWatch.isTrayAvailable())
            return; // made when the tray appears
        m_statusItem = std::make_unique<QSystemTrayIcon>();
        m_statusItem->setToolTip(QStringLiteral("Veltrane"));
        // A left click shows the menu too, as a status item does; panels that open the menu
        // themselves never send it.
        connect(m_statusItem.get(), &QSystemTrayIcon::activated, this,
                [this](QSystemTrayIcon::ActivationReason reason) {
                    if (reason == QSystemTrayIcon::Trigger)
                        m_sysMenuBar->popup(QCursor::pos());
                });
    }
    if (m_statusItem->contextMenu() != m_sysMenuBar.get())
        m_statusItem->setContextMenu(m_sysMenuBar.get());
    m_statusItem->setIcon(m_image);
    m_statusItem->show();
}

void MenuBarAppDelegate::menuBarCheck()
{
    connect(m_runStateItem, &QAction::triggered, this, &MenuBarAppDelegate::toggleVeltraneRunStatus,
            Qt::UniqueConnection);
    updateMenubar();
}

void MenuBarAppDelegate::enableDaemon(bool on)
{
    const bool running = ProcessControl::isRunning(Names::BundleIdentifiers::daemon);
    if (on && !running) {
        ProcessControl::start(
            BundleLocator::siblingBundle(m_bundlePath, Names::BundlePaths::daemonBundleName), {},
            LaunchOptions::WithoutActivation);
    } else if (!on && running) {
        ProcessControl::stop(Names::BundleIdentifiers::daemon);
    }
}

void MenuBarAppDelegate::openMainApplication(QLatin1StringView argument, QLatin1StringView notification)
{
    if (!isVeltraneActive())
        ProcessControl::start(BundleLocator::mainBundleFromMenuBar(m_bundlePath), {argument},
                              LaunchOptions::Default);
    DistributedNotificationCenter::defaultCenter().postNotificationName(notification);
}

void MenuBarAppDelegate::prefsButtonPressed()
{
    openMainApplication(Names::Arguments::openedFromMenu, Names::Notifications::veltraneOpenedFromMenu);
}

void MenuBarAppDelegate::aboutButtonPressed()
{
    openMainApplication(Names::Arguments::openedAboutFromMenu,
                        Names::Notifications::veltraneOpenedAboutFromMenu);
}

void MenuBarAppDelegate::toggleVeltraneRunStatus()
{
    const bool enabled = !isVeltraneEnabled();
    enableDaemon(enabled);
    // A running main application stores the new state and brings the daemon in line itself. Stopping
    // the daemon just started would race with it: it could still see the stopping daemon, start none,
    // and leave cleaning on without a daemon. Without it, the stored state stays off, and so does the
    // daemon.
    refresh(enabled && isVeltraneActive() ? DaemonWhenOff::Leave : DaemonWhenOff::Stop);
    DistributedNotificationCenter::defaultCenter().postNotificationName(
        Names::Notifications::toggleVeltraneRunStatus, {{QString(Names::UserInfo::enabled), enabled}});
}
