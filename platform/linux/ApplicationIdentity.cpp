#include "platform/linux/ApplicationIdentity.h"

#include "platform/Bundle.h"
#include "platform/linux/BrowserExecutables.h"
#include "platform/linux/FlatpakInfo.h"

#include <QFileInfo>

namespace ApplicationIdentity {

QString applicationPath(pid_t processIdentifier, const QString& executablePath)
{
    if (executablePath.isEmpty())
        return QString();
    const QString bundle = Bundle::containingBundlePath(executablePath);
    if (!bundle.isEmpty())
        return bundle;
    if (BrowserExecutables::forExecutable(executablePath))
        return executablePath;
    // A Flatpak application's files are mounted at /app in its sandbox.
    if (!executablePath.startsWith(QLatin1String("/app/")))
        return QString();
    const auto instance = FlatpakInfo::ofProcess(processIdentifier);
    const auto browser =
        instance ? BrowserExecutables::forFlatpak(instance->application, instance->appPath) : std::nullopt;
    return browser ? browser->executablePath : QString();
}

bool isSingleInstance(const QString& applicationPath)
{
    const auto browser = BrowserExecutables::forApplicationPath(applicationPath);
    return browser && browser->isFlatpak;
}

RunningApplication describe(const QString& applicationPath)
{
    RunningApplication application;
    application.bundlePath = applicationPath;
    if (const auto browser = BrowserExecutables::forApplicationPath(applicationPath)) {
        application.bundleIdentifier = browser->bundleIdentifier;
        application.localizedName = browser->name;
        return application;
    }
    const QVariantMap info = Bundle::infoDictionary(applicationPath);
    application.bundleIdentifier = info.value(QStringLiteral("CFBundleIdentifier")).toString();
    application.localizedName = info.value(QStringLiteral("CFBundleName")).toString();
    if (application.localizedName.isEmpty())
        application.localizedName = QFileInfo(applicationPath).completeBaseName();
    return application;
}

} // namespace ApplicationIdentity
