#include "DaemonAppDelegate.h"

#include "common/BundleLocator.h"
#include "common/Names.h"
#include "common/NotificationCenter.h"
#include "common/ProcessControl.h"
#include "platform/Bundle.h"
#include "platform/Preferences.h"
#include "platform/SystemRoot.h"
#include "platform/UserDefaults.h"
#include "platform/Workspace.h"

#include <QDir>

#include <algorithm>
#include <array>

namespace {

// Installed-browser probe list, in the order enabledBrowsersArray lists them.
constexpr std::array<QLatin1StringView, 7> probedBundleIdentifiers{
    QLatin1StringView("com.apple.Safari"),       QLatin1StringView("com.google.Chrome"),
    QLatin1StringView("org.chromium.Chromium"),  QLatin1StringView("org.webkit.nightly.WebKit"),
    QLatin1StringView("org.mozilla.camino"),     QLatin1StringView("org.mozilla.firefox"),
    QLatin1StringView("com.operasoftware.Opera")};

constexpr QLatin1StringView operaBundleIdentifier{"com.operasoftware.Opera"};

enum class QuitField
{
    ApplicationName,
    BundleIdentifier
};

struct QuitRule
{
    QuitField field;
    QLatin1StringView value;
};

// Tested in this order, the first match wins. Only Opera is recognised by its identifier; the
// other six pass the name the system reports on unchanged.
constexpr std::array<QuitRule, 7> quitRules{{
    {QuitField::ApplicationName, Names::Browsers::safari},
    {QuitField::ApplicationName, Names::Browsers::webKit},
    {QuitField::ApplicationName, Names::Browsers::googleChrome},
    {QuitField::ApplicationName, Names::Browsers::chromium},
    {QuitField::ApplicationName, Names::Browsers::camino},
    {QuitField::ApplicationName, Names::Browsers::firefox},
    {QuitField::BundleIdentifier, operaBundleIdentifier},
}};

// The stream's callback: every batch of file events refreshes the list, synchronously.
void applicationStreamCallback()
{
    NotificationCenter::defaultCenter().postNotificationName(Names::LocalNotifications::browserInstallCheck);
}

} // namespace

DaemonAppDelegate::~DaemonAppDelegate()
{
    NotificationCenter::defaultCenter().removeObserver(this);
    disconnect(&Workspace::sharedWorkspace(), nullptr, this, nullptr);
    if (m_applicationstream) {
        m_applicationstream->stop();
        m_applicationstream->unscheduleFromRunLoop();
        m_applicationstream->invalidate();
        m_applicationstream.reset();
    }
}

void DaemonAppDelegate::awakeFromNib()
{
    Workspace& workspace = Workspace::sharedWorkspace();
    connect(&workspace, &Workspace::didTerminateApplication, this, &DaemonAppDelegate::appTerminated);
    workspace.startObservingTerminations();
}

void DaemonAppDelegate::applicationDidFinishLaunching()
{
    UserDefaults::standardUserDefaults().addSuiteNamed(Names::suiteName);
    NotificationCenter::defaultCenter().addObserver(Names::LocalNotifications::browserInstallCheck, this,
                                                    [this] { updateEnabledBrowsers(); });
    watchApplicationsFolder();
    updateEnabledBrowsers();
}

void DaemonAppDelegate::watchApplicationsFolder()
{
    if (m_applicationstream)
        return;
    // Applications are installed as bundles in "/Applications" and as desktop entries, those of
    // Snap and Flatpak (system-wide or for the user alone) in folders of their own.
    const QStringList paths{
        QDir::cleanPath(SystemRoot::path(QStringLiteral("/Applications"))),
        QDir::cleanPath(SystemRoot::path(QStringLiteral("/usr/share/applications"))),
        QDir::cleanPath(SystemRoot::path(QStringLiteral("/var/lib/snapd/desktop/applications"))),
        QDir::cleanPath(SystemRoot::path(QStringLiteral("/var/lib/flatpak/exports/share/applications"))),
        QDir::homePath() + QStringLiteral("/.local/share/applications"),
        QDir::homePath() + QStringLiteral("/.local/share/flatpak/exports/share/applications")};
    // Without a stream the list is still written once at start.
    set_applicationstream(FileEventStream::create(applicationStreamCallback, paths));
    if (!m_applicationstream)
        return;
    m_applicationstream->scheduleWithRunLoop();
    (void)m_applicationstream->start();
}

QStringList DaemonAppDelegate::checkForInstalledBrowsers() const
{
    const Workspace& workspace = Workspace::sharedWorkspace();
    QStringList installed;
    for (const QLatin1StringView identifier : probedBundleIdentifiers) {
        if (!workspace.absolutePathForAppBundleWithIdentifier(identifier).isEmpty())
            installed.append(identifier);
    }
    return installed;
}

void DaemonAppDelegate::updateEnabledBrowsers()
{
    const QStringList installed = checkForInstalledBrowsers();
    Preferences::setValue(Names::Keys::enabledBrowsersArray,
                          QVariantList(installed.cbegin(), installed.cend()), Names::suiteName);
    (void)Preferences::synchronize(Names::suiteName);
}

void DaemonAppDelegate::appTerminated(const QString& applicationName, const QString& bundleIdentifier)
{
    // Any other quit first asks a worker that still runs to end, before any browser test. A worker's
    // own quit does not: the worker still running then is its successor, perhaps too young to hold
    // the request back until its pass is done.
    if (bundleIdentifier != Names::BundleIdentifiers::worker)
        ProcessControl::stop(Names::BundleIdentifiers::worker);

    const auto rule = std::find_if(quitRules.cbegin(), quitRules.cend(), [&](const QuitRule& candidate) {
        const QString& field =
            candidate.field == QuitField::ApplicationName ? applicationName : bundleIdentifier;
        return field == candidate.value;
    });
    if (rule == quitRules.cend())
        return;

    // A daemon that runs from no bundle has no sibling worker to start.
    const QString ownBundle = Bundle::mainBundlePath();
    if (ownBundle.isEmpty())
        return;
    const QString workerBundle =
        BundleLocator::siblingBundle(ownBundle, Names::BundlePaths::workerBundleName);
    const QString argument =
        bundleIdentifier == operaBundleIdentifier ? QString(Names::Browsers::opera) : applicationName;
    ProcessControl::start(workerBundle, {argument});
}

void DaemonAppDelegate::set_applicationstream(std::unique_ptr<FileEventStream> stream)
{
    m_applicationstream = std::move(stream);
}
