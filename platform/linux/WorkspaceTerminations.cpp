#include "platform/Workspace.h"

#include "platform/Bundle.h"
#include "platform/SystemRoot.h"
#include "platform/linux/BrowserExecutables.h"
#include "platform/linux/TerminationWatch.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <unistd.h>

namespace {

QString bundleInFolder(const QString& folder, const QString& bundleIdentifier)
{
    const QStringList names = QDir(folder).entryList({QStringLiteral("*.app")}, QDir::Dirs, QDir::Name);
    for (const QString& name : names) {
        const QString bundlePath = folder + QLatin1Char('/') + name;
        if (Bundle::bundleIdentifier(bundlePath) == bundleIdentifier)
            return bundlePath;
    }
    return QString();
}

} // namespace

QString Workspace::absolutePathForAppBundleWithIdentifier(const QString& bundleIdentifier) const
{
    if (bundleIdentifier.isEmpty())
        return QString();
    const QStringList folders = {SystemRoot::path(QStringLiteral("/Applications")),
                                 QDir::homePath() + QStringLiteral("/Applications")};
    for (const QString& folder : folders) {
        const QString bundlePath = bundleInFolder(folder, bundleIdentifier);
        if (!bundlePath.isEmpty())
            return bundlePath;
    }
    for (const auto& browser : BrowserExecutables::withIdentifier(bundleIdentifier)) {
        if (QFileInfo(browser.executablePath).isFile() &&
            access(QFile::encodeName(browser.executablePath).constData(), X_OK) == 0)
            return browser.executablePath;
    }
    return QString();
}

void Workspace::startObservingTerminations()
{
    // The watch lives in the event loop and goes with the application object.
    if (m_terminationWatch || QCoreApplication::instance() == nullptr)
        return;
    m_terminationWatch = new TerminationWatch(QCoreApplication::instance());
    connect(m_terminationWatch, &TerminationWatch::applicationTerminated, this,
            &Workspace::didTerminateApplication);
    m_terminationWatch->start();
}
