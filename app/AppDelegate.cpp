#include "app/AppDelegate.h"

#include "app/AboutPanel.h"
#include "app/PrefsController.h"
#include "app/StartAtLoginController.h"
#include "common/BundleLocator.h"
#include "common/Names.h"
#include "common/NotificationCenter.h"
#include "common/ProcessControl.h"
#include "platform/Bundle.h"
#include "platform/DistributedNotificationCenter.h"
#include "platform/PropertyList.h"
#include "platform/UserDefaults.h"

#include <QAction>
#include <QApplication>
#include <QDesktopServices>
#include <QMainWindow>
#include <QMenu>
#include <QUrl>

namespace {

QString s_bundlePath;

constexpr QLatin1StringView aboutImage{"Contents/Resources/about.svg"};
const QString feedbackUrl = QStringLiteral("mailto:feedback@orvando.com?&subject=Veltrane%20feedback");

QString pathInBundle(QLatin1StringView relativePath)
{
    return BundleLocator::insideMainBundle(s_bundlePath, relativePath);
}

// A broadcast's "enabled": a boolean or a number; anything else, or nothing, reads false.
bool requestedState(const QVariantMap& userInfo)
{
    const QVariant enabled = userInfo.value(Names::UserInfo::enabled);
    switch (enabled.typeId()) {
    case QMetaType::Bool:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Double:
        return enabled.toBool();
    default:
        return false;
    }
}

} // namespace

void AppDelegate::initialize(const QString& bundlePath)
{
    s_bundlePath = bundlePath;
    const auto defaults = PropertyList::readFile(pathInBundle(Names::BundlePaths::defaultsResource));
    if (defaults.status == PropertyList::ReadStatus::Ok && defaults.value.typeId() == QMetaType::QVariantMap)
        UserDefaults::standardUserDefaults().registerDefaults(defaults.value.toMap());
}

QString AppDelegate::version()
{
    return Bundle::infoDictionary(s_bundlePath)
        .value(QStringLiteral("CFBundleShortVersionString"))
        .toString();
}

QString AppDelegate::bundlePath()
{
    return s_bundlePath;
}

AppDelegate::AppDelegate() : m_applicationMenu(std::make_unique<QMenu>(tr("&Veltrane")))
{
    // The application owns the shared domain: its standard defaults are the domain itself.
    UserDefaults::standardUserDefaults().addSuiteNamed(Names::suiteName);

    QMenu* menu = m_applicationMenu.get();
    menu->addAction(tr("&About Veltrane"), this, &AppDelegate::about)
        ->setObjectName(QStringLiteral("aboutAction"));
    menu->addAction(tr("Send &Feedback…"), this, &AppDelegate::sendEmail)
        ->setObjectName(QStringLiteral("sendFeedbackAction"));
    menu->addSeparator();
    m_quitAction = menu->addAction(tr("&Quit Veltrane"), qApp, &QCoreApplication::quit);
    m_quitAction->setObjectName(QStringLiteral("quitAction"));
    // Spelled out: not every desktop theme binds the standard Quit key.
    m_quitAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    m_quitAction->setShortcutContext(Qt::ApplicationShortcut);
    connect(menu, &QMenu::aboutToShow, this, [this, menu] {
        const QList<QAction*> items = menu->actions();
        for (QAction* item : items)
            item->setEnabled(validateMenuItem(item));
    });
}

AppDelegate::~AppDelegate()
{
    NotificationCenter::defaultCenter().removeObserver(this);
    DistributedNotificationCenter::defaultCenter().removeObserver(this);
    disconnect(&UserDefaults::standardUserDefaults(), nullptr, this, nullptr);
    delete m_prefsController;
    delete m_aboutPanel;
}

PrefsController* AppDelegate::prefsController() const
{
    return m_prefsController;
}

AboutPanel* AppDelegate::aboutPanel() const
{
    return m_aboutPanel;
}

void AppDelegate::awakeFromNib()
{
    NotificationCenter::defaultCenter().addObserver(Names::LocalNotifications::releaseWindow, this,
                                                    [this] { releaseWindow(); });
    connect(&UserDefaults::standardUserDefaults(), &UserDefaults::valueChanged, this,
            [this](const QString& key) { observeValueForKeyPath(key); });

    auto& center = DistributedNotificationCenter::defaultCenter();
    center.addObserver(Names::Notifications::veltraneOpenedFromMenu, this,
                       [this](const QVariantMap&) { showPrefs(); });
    center.addObserver(Names::Notifications::veltraneOpenedAboutFromMenu, this,
                       [this](const QVariantMap&) { openedAboutFromMenu(); });
    center.addObserver(Names::Notifications::toggleVeltraneRunStatus, this,
                       [this](const QVariantMap& userInfo) { toggleVeltraneRunStatus(userInfo); });

    if (!startupCheck())
        showPrefs();
    enableDaemon(UserDefaults::standardUserDefaults().boolForKey(Names::Keys::isRunning));
}

bool AppDelegate::startupCheck()
{
    const QStringList arguments = QCoreApplication::arguments();
    for (const QString& argument : arguments) {
        if (argument == Names::Arguments::openedAboutFromMenu) {
            openedAboutFromMenu();
            return true;
        }
        if (argument == Names::Arguments::openedFromMenu) {
            showPrefs();
            return true;
        }
    }
    return false;
}

void AppDelegate::applicationDidFinishLaunching()
{
    m_loginController = std::make_unique<StartAtLoginController>();
    m_loginController->setBundle(pathInBundle(Names::BundlePaths::loginHelper));
    updateLogin();
    updateMenuBar();
}

bool AppDelegate::applicationShouldHandleReopen(bool hasVisibleWindows)
{
    if (!hasVisibleWindows)
        showPrefs();
    else
        activateIgnoringOtherApps();
    return true;
}

bool AppDelegate::hasVisibleWindows() const
{
    const QWidgetList windows = QApplication::topLevelWidgets();
    return std::any_of(windows.cbegin(), windows.cend(), [](const QWidget* window) {
        return window->isVisible() && window->windowType() != Qt::Popup && !window->isMinimized();
    });
}

void AppDelegate::observeValueForKeyPath(const QString& keyPath)
{
    if (keyPath == Names::Keys::openAtLogin)
        updateLogin();
    else if (keyPath == Names::Keys::showInMenuBar)
        updateMenuBar();
    else if (keyPath == Names::Keys::isRunning)
        updateVeltraneRunStatus();
}

void AppDelegate::toggleVeltraneRunStatus(const QVariantMap& userInfo)
{
    const bool enabled = requestedState(userInfo);
    UserDefaults& defaults = UserDefaults::standardUserDefaults();
    // Storing runs the change observer (updateVeltraneRunStatus) before this returns.
    defaults.setBool(enabled, Names::Keys::isRunning);
    (void)defaults.synchronize();
    enableDaemon(enabled);
}

void AppDelegate::updateVeltraneRunStatus()
{
    UserDefaults& defaults = UserDefaults::standardUserDefaults();
    (void)defaults.synchronize();
    enableDaemon(defaults.boolForKey(Names::Keys::isRunning));
    DistributedNotificationCenter::defaultCenter().postNotificationName(
        Names::Notifications::updateVeltraneRunStatus);
}

void AppDelegate::updateLogin()
{
    // Before the launch has created the controller there is nothing to apply yet.
    if (!m_loginController)
        return;
    UserDefaults& defaults = UserDefaults::standardUserDefaults();
    (void)defaults.synchronize();
    m_loginController->setStartAtLogin(defaults.boolForKey(Names::Keys::openAtLogin));
}

void AppDelegate::updateMenuBar()
{
    const bool showInMenuBar = UserDefaults::standardUserDefaults().boolForKey(Names::Keys::showInMenuBar);
    const bool running = ProcessControl::isRunning(Names::BundleIdentifiers::menuBar);
    if (!showInMenuBar) {
        ProcessControl::stop(Names::BundleIdentifiers::menuBar);
        return;
    }
    if (!running)
        ProcessControl::start(pathInBundle(Names::BundlePaths::menuBar), {},
                              LaunchOptions::WithoutActivation);
}

void AppDelegate::enableDaemon(bool flag)
{
    const bool running = ProcessControl::isRunning(Names::BundleIdentifiers::daemon);
    if (flag && !running)
        ProcessControl::start(pathInBundle(Names::BundlePaths::daemon), {}, LaunchOptions::WithoutActivation);
    else if (!flag && running)
        ProcessControl::stop(Names::BundleIdentifiers::daemon);
}

void AppDelegate::about()
{
    if (!m_aboutPanel) {
        m_aboutPanel = new AboutPanel(QStringLiteral("Veltrane"), pathInBundle(aboutImage), version());
        // Quit works from the panel too when it is the only window.
        m_aboutPanel->addAction(m_quitAction);
    }
    m_aboutPanel->show();
    activateIgnoringOtherApps();
}

void AppDelegate::openedAboutFromMenu()
{
    about();
}

void AppDelegate::showPrefs()
{
    if (!m_prefsController)
        m_prefsController = new PrefsController(m_applicationMenu.get());
    m_prefsController->showWindow();
    activateIgnoringOtherApps();
}

void AppDelegate::sendEmail()
{
    (void)QDesktopServices::openUrl(QUrl(feedbackUrl));
}

void AppDelegate::releaseWindow()
{
    m_prefsController = nullptr;
}

bool AppDelegate::validateMenuItem(const QAction*) const
{
    return true;
}

void AppDelegate::activateIgnoringOtherApps()
{
    // The window most recently asked for comes to the front; the About panel sits above the preferences.
    QWidget* front = m_aboutPanel && m_aboutPanel->isVisible() ? static_cast<QWidget*>(m_aboutPanel)
                     : m_prefsController                       ? m_prefsController->prefsView()
                                                               : nullptr;
    if (!front || !front->isVisible())
        return;
    front->raise();
    front->activateWindow();
}
