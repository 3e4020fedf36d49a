#include "platform/linux/ApplicationIdentity.h"

#include "platform/Bundle.h"
#include "platform/linux/BrowserExecutables.h"

#include <QFileInfo>

namespace ApplicationIdentity {

QString applicationPath(const QString& executablePath)
{
    if (executablePath.isEmpty())
        return QString();
    const QString bundle = Bundle::containingBundlePath(executablePath);
    if (!bundle.isEmpty())
        return bundle;
    return BrowserExecutables::forExecutable(executablePath) ? executablePath : QString();
}

RunningApplication describe(const QString& applicationPath)
{
    RunningApplication application;
    application.bundlePath = applicationPath;
    if (const auto browser = BrowserExecutables::forExecutable(applicationPath)) {
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
