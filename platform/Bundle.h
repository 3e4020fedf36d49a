#pragma once

#include <QString>
#include <QVariantMap>

// Application bundles: "<Name>.app/Contents/{Info.plist,MacOS/<executable>,Resources/}".
namespace Bundle {

// The bundle this process runs from (its executable lies in <bundle>/Contents/MacOS/);
// empty when the process does not run from a bundle.
QString mainBundlePath();

// The bundle an executable belongs to (it lies in <bundle>/Contents/MacOS/ and the bundle folder
// ends in ".app"); empty otherwise.
QString containingBundlePath(const QString& executablePath);

// The bundle's Info.plist as a dictionary; empty when missing or malformed.
QVariantMap infoDictionary(const QString& bundlePath);

QString bundleIdentifier(const QString& bundlePath);

// The bundle's executable (Contents/MacOS/<CFBundleExecutable>); empty when it has none.
QString executablePath(const QString& bundlePath);

// The translation of a message of the main bundle; the key itself when there is none.
QString localizedString(const QString& key);

} // namespace Bundle
