#include "Sandbox.h"

#include "platform/PropertyList.h"
#include "platform/UserDefaults.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTest>
#include <QTimer>

Sandbox::Sandbox() : m_dir(QDir::tempPath() + QStringLiteral("/veltrane-test-XXXXXX"))
{
    m_home = m_dir.path() + QStringLiteral("/home");
    m_root = m_dir.path() + QStringLiteral("/root");
    QDir().mkpath(m_home);
    QDir().mkpath(m_root);
    m_oldHome = qgetenv("HOME");
    m_oldRoot = qgetenv("VELTRANE_ROOT");
    qputenv("HOME", m_home.toLocal8Bit());
    qputenv("VELTRANE_ROOT", m_root.toLocal8Bit());
}

Sandbox::~Sandbox()
{
    if (QTest::currentTestFailed()) {
        m_dir.setAutoRemove(false);
        qWarning("sandbox kept at %s", qPrintable(m_dir.path()));
    }
    qputenv("HOME", m_oldHome);
    if (m_oldRoot.isNull())
        qunsetenv("VELTRANE_ROOT");
    else
        qputenv("VELTRANE_ROOT", m_oldRoot);
}

QString Sandbox::homePath(const QString& relative) const
{
    return m_home + QLatin1Char('/') + relative;
}

QString Sandbox::rootPath(const QString& relative) const
{
    return m_root + QLatin1Char('/') + relative;
}

QProcessEnvironment Sandbox::environment() const
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("HOME"), m_home);
    environment.insert(QStringLiteral("VELTRANE_ROOT"), m_root);
    return environment;
}

bool Sandbox::writeFile(const QString& relative, const QByteArray& contents) const
{
    const QString path = homePath(relative);
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(contents) == contents.size();
}

bool Sandbox::writeDefaults(const QVariantMap& values) const
{
    return writeFile(QStringLiteral("Library/Preferences/com.orvando.Veltrane.plist"),
                     PropertyList::toXml(values));
}

QVariantMap Sandbox::readDefaults() const
{
    const auto result =
        PropertyList::readFile(homePath(QStringLiteral("Library/Preferences/com.orvando.Veltrane.plist")));
    return result.value.toMap();
}

namespace BuiltSuite {

QString bundle()
{
    return qEnvironmentVariable("VELTRANE_BUNDLE");
}

QString workerBundle()
{
    return bundle() + QStringLiteral("/Contents/Resources/VeltraneWorker.app");
}

QString daemonBundle()
{
    return bundle() + QStringLiteral("/Contents/Resources/VeltraneDaemon.app");
}

QString sourceDir()
{
    return qEnvironmentVariable("VELTRANE_SOURCE_DIR");
}

QString executable(const QString& bundlePath)
{
    const QString name = QFileInfo(bundlePath).completeBaseName();
    return bundlePath + QStringLiteral("/Contents/MacOS/") + name;
}

Run runProgram(const QString& program, const QStringList& arguments, const Sandbox& sandbox, int timeoutMs)
{
    QProcess process;
    process.setProcessEnvironment(sandbox.environment());
    process.setProcessChannelMode(QProcess::MergedChannels);
    QEventLoop loop;
    QObject::connect(&process, &QProcess::finished, &loop, &QEventLoop::quit);
    QObject::connect(&process, &QProcess::errorOccurred, &loop, &QEventLoop::quit);
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    process.start(program, arguments);
    if (process.state() != QProcess::NotRunning)
        loop.exec();
    Run run;
    run.finished = process.state() == QProcess::NotRunning && process.exitStatus() == QProcess::NormalExit;
    if (process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished(5000);
    }
    run.exitCode = process.exitCode();
    run.output = process.readAll();
    return run;
}

} // namespace BuiltSuite
