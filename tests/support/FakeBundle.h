#pragma once

#include "platform/Workspace.h"

#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

#include <utility>

// Application bundles made by the tests, run by a copy of the fake application program.
namespace FakeBundle {

struct Description
{
    // CFBundleName and CFBundleExecutable are left out of the Info.plist when empty.
    Description(QString identifier, QString bundleName = {}, QString program = QStringLiteral("FakeApp"))
        : bundleIdentifier(std::move(identifier)), name(std::move(bundleName)), executable(std::move(program))
    {
    }

    QString bundleIdentifier;
    QString name;
    QString executable;
};

// Makes "<folder>/<folderName>" ("Safari.app") with Contents/Info.plist and
// Contents/MacOS/<executable>; returns the bundle path, empty when it could not be made.
QString make(const QString& folder, const QString& folderName, const Description& description);

// Copies the fake application program to `path` (for programs outside bundles).
bool installProgram(const QString& path);

// The program inside a bundle made by make().
QString executable(const QString& bundlePath, const Description& description);

// What the fake applications started with FAKE_APP_REPORT_DIR=`folder` reported: pid -> arguments.
QMap<qint64, QStringList> reports(const QString& folder);

// Launches the bundle with these variables in its environment (and no arguments).
bool launchWithEnvironment(const QString& bundlePath, const QMap<QByteArray, QByteArray>& variables);

// The running applications whose bundle lies under `folder`: other programs of this user may be
// running too.
QList<RunningApplication> runningApplicationsUnder(const QString& folder);

} // namespace FakeBundle
