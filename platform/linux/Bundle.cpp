#include "platform/Bundle.h"

#include "platform/PropertyList.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace Bundle {

QString mainBundlePath()
{
    return containingBundlePath(QCoreApplication::applicationFilePath());
}

QString containingBundlePath(const QString& executablePath)
{
    // <bundle>.app/Contents/MacOS/<program>
    const QString macOS = QFileInfo(executablePath).absolutePath();
    if (QDir(macOS).dirName() != QLatin1String("MacOS"))
        return QString();
    const QString contents = QFileInfo(macOS).absolutePath();
    if (QFileInfo(contents).fileName() != QLatin1String("Contents"))
        return QString();
    const QString bundle = QFileInfo(contents).absolutePath();
    if (!bundle.endsWith(QLatin1String(".app")))
        return QString();
    return bundle;
}

QVariantMap infoDictionary(const QString& bundlePath)
{
    const auto result = PropertyList::readFile(bundlePath + QStringLiteral("/Contents/Info.plist"));
    return result.status == PropertyList::ReadStatus::Ok ? result.value.toMap() : QVariantMap();
}

QString bundleIdentifier(const QString& bundlePath)
{
    return infoDictionary(bundlePath).value(QStringLiteral("CFBundleIdentifier")).toString();
}

QString executablePath(const QString& bundlePath)
{
    const QString executable =
        infoDictionary(bundlePath).value(QStringLiteral("CFBundleExecutable")).toString();
    if (executable.isEmpty() || executable.contains(QLatin1Char('/')))
        return QString();
    return bundlePath + QStringLiteral("/Contents/MacOS/") + executable;
}

QString localizedString(const QString& key)
{
    // No translations ship yet: every message is its own English text.
    return key;
}

} // namespace Bundle
