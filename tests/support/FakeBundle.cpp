#include "FakeBundle.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace FakeBundle {

namespace {

QByteArray infoPlist(const Description& description)
{
    QByteArray xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                     "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
                     "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
                     "<plist version=\"1.0\">\n<dict>\n";
    const auto entry = [&xml](const char* key, const QString& value) {
        if (!value.isEmpty())
            xml += QByteArray("  <key>") + key + "</key>\n  <string>" + value.toHtmlEscaped().toUtf8() +
                   "</string>\n";
    };
    entry("CFBundleIdentifier", description.bundleIdentifier);
    entry("CFBundleName", description.name);
    entry("CFBundleExecutable", description.executable);
    xml += "</dict>\n</plist>\n";
    return xml;
}

} // namespace

bool installProgram(const QString& path)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile::remove(path);
    return QFile::copy(QStringLiteral(VELTRANE_FAKE_APP), path) &&
           QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

QString make(const QString& folder, const QString& folderName, const Description& description)
{
    const QString bundle = folder + QLatin1Char('/') + folderName;
    if (!QDir().mkpath(bundle + QStringLiteral("/Contents/MacOS")))
        return QString();
    QFile plist(bundle + QStringLiteral("/Contents/Info.plist"));
    const QByteArray xml = infoPlist(description);
    if (!plist.open(QIODevice::WriteOnly | QIODevice::Truncate) || plist.write(xml) != xml.size())
        return QString();
    if (!description.executable.isEmpty() && !installProgram(executable(bundle, description)))
        return QString();
    return bundle;
}

QString executable(const QString& bundlePath, const Description& description)
{
    return bundlePath + QStringLiteral("/Contents/MacOS/") + description.executable;
}

QMap<qint64, QStringList> reports(const QString& folder)
{
    QMap<qint64, QStringList> result;
    const QStringList names = QDir(folder).entryList(QDir::Files);
    for (const QString& name : names) {
        bool isNumber = false;
        const qint64 processIdentifier = name.toLongLong(&isNumber);
        QFile file(folder + QLatin1Char('/') + name);
        if (!isNumber || !file.open(QIODevice::ReadOnly))
            continue;
        QStringList arguments;
        const QList<QByteArray> parts = file.readAll().split('\0');
        for (qsizetype index = 0; index + 1 < parts.size(); ++index)
            arguments.append(QString::fromUtf8(parts.at(index)));
        result.insert(processIdentifier, arguments);
    }
    return result;
}

bool launchWithEnvironment(const QString& bundlePath, const QMap<QByteArray, QByteArray>& variables)
{
    // The launched program inherits this process's environment.
    for (auto variable = variables.begin(); variable != variables.end(); ++variable)
        qputenv(variable.key().constData(), variable.value());
    const bool launched = Workspace::sharedWorkspace().launchApplicationAtPath(bundlePath, {});
    for (auto variable = variables.begin(); variable != variables.end(); ++variable)
        qunsetenv(variable.key().constData());
    return launched;
}

QList<RunningApplication> runningApplicationsUnder(const QString& folder)
{
    QList<RunningApplication> applications;
    for (const RunningApplication& application : Workspace::sharedWorkspace().runningApplications()) {
        if (application.bundlePath.startsWith(folder + QLatin1Char('/')))
            applications.append(application);
    }
    return applications;
}

} // namespace FakeBundle
