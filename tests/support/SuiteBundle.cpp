#include "SuiteBundle.h"

#include "FakeBundle.h"
#include "Sandbox.h"

#include <QDir>
#include <QFile>

namespace SuiteBundle {

QString daemon(const QString& suite)
{
    return suite + QStringLiteral("/Contents/Resources/VeltraneDaemon.app");
}

QString menuBar(const QString& suite)
{
    return suite + QStringLiteral("/Contents/Resources/VeltraneMenuBar.app");
}

QString helper(const QString& suite)
{
    return suite + QStringLiteral("/Contents/Library/LoginItems/VeltraneHelper.app");
}

QString make(const QString& folder, Daemon daemonKind)
{
    const QString suite = FakeBundle::make(
        folder, QStringLiteral("Veltrane.app"),
        {QStringLiteral("com.orvando.Veltrane"), QStringLiteral("Veltrane"), QStringLiteral("Veltrane")});
    const QString resources = suite + QStringLiteral("/Contents/Resources");
    if (suite.isEmpty() || !QDir().mkpath(resources) ||
        !QFile::copy(BuiltSuite::bundle() + QStringLiteral("/Contents/Resources/Defaults.plist"),
                     resources + QStringLiteral("/Defaults.plist")))
        return {};
    const bool daemonMade = daemonKind == Daemon::Built
                                ? QFile::link(BuiltSuite::daemonBundle(), daemon(suite))
                                : !FakeBundle::make(resources, QStringLiteral("VeltraneDaemon.app"),
                                                    {QStringLiteral("com.orvando.VeltraneDaemon"),
                                                     QStringLiteral("VeltraneDaemon")})
                                       .isEmpty();
    const bool agentMade =
        !FakeBundle::make(resources, QStringLiteral("VeltraneMenuBar.app"),
                          {QStringLiteral("com.orvando.VeltraneMenuBar"), QStringLiteral("VeltraneMenuBar")})
             .isEmpty();
    const QString builtHelper =
        BuiltSuite::bundle() + QStringLiteral("/Contents/Library/LoginItems/VeltraneHelper.app");
    const QString helperProgram = helper(suite) + QStringLiteral("/Contents/MacOS/VeltraneHelper");
    const bool helperMade = QDir().mkpath(helper(suite) + QStringLiteral("/Contents/MacOS")) &&
                            QFile::copy(builtHelper + QStringLiteral("/Contents/Info.plist"),
                                        helper(suite) + QStringLiteral("/Contents/Info.plist")) &&
                            QFile::copy(BuiltSuite::executable(builtHelper), helperProgram);
    return daemonMade && agentMade && helperMade ? suite : QString();
}

} // namespace SuiteBundle
