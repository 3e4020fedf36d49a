#include "TestKeyring.h"

#include "Sandbox.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDir>
#include <QElapsedTimer>
#include <QTest>

namespace {
const QString secrets = QStringLiteral("org.freedesktop.secrets");
}

TestKeyring::TestKeyring(const Sandbox& sandbox) : m_environment(sandbox.environment())
{
    const QString runtime = sandbox.homePath(QStringLiteral(".run"));
    QDir().mkpath(runtime);
    QFile::setPermissions(runtime, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    m_environment.insert(QStringLiteral("XDG_DATA_HOME"), sandbox.homePath(QStringLiteral(".local/share")));
    m_environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
    m_environment.remove(QStringLiteral("DISPLAY"));
    m_daemon.setProcessEnvironment(m_environment);
    m_daemon.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    // --unlock takes the login password on standard input and creates the login collection.
    m_daemon.start(
        QStringLiteral("gnome-keyring-daemon"),
        {QStringLiteral("--foreground"), QStringLiteral("--components=secrets"), QStringLiteral("--unlock")});
    if (!m_daemon.waitForStarted(10000))
        return;
    m_daemon.write("test-password");
    m_daemon.closeWriteChannel();
    QElapsedTimer clock;
    clock.start();
    auto* bus = QDBusConnection::sessionBus().interface();
    while (clock.elapsed() < 15000 && !bus->isServiceRegistered(secrets).value())
        QTest::qWait(50);
    // The login collection appears shortly after the name is taken.
    while (clock.elapsed() < 15000 && !m_running) {
        m_running = storeOtherPassword(QStringLiteral("probe"));
        if (!m_running)
            QTest::qWait(100);
    }
}

TestKeyring::~TestKeyring()
{
    m_daemon.terminate();
    if (!m_daemon.waitForFinished(5000))
        m_daemon.kill();
    m_daemon.waitForFinished(5000);
}

bool TestKeyring::store(const QStringList& attributes, const QString& label)
{
    QProcess tool;
    tool.setProcessEnvironment(m_environment);
    tool.start(QStringLiteral("secret-tool"),
               QStringList{QStringLiteral("store"), QStringLiteral("--label=") + label} + attributes);
    if (!tool.waitForStarted(10000))
        return false;
    tool.write("secret");
    tool.closeWriteChannel();
    return tool.waitForFinished(15000) && tool.exitStatus() == QProcess::NormalExit && tool.exitCode() == 0;
}

bool TestKeyring::storeInternetPassword(const QString& server, const QString& authType, const QString& user)
{
    return store({QStringLiteral("user"), user, QStringLiteral("server"), server, QStringLiteral("protocol"),
                  QStringLiteral("https"), QStringLiteral("authtype"), authType, QStringLiteral("port"),
                  QStringLiteral("0")},
                 user + QLatin1Char('@') + server);
}

bool TestKeyring::storeOtherPassword(const QString& label)
{
    return store({QStringLiteral("application"), QStringLiteral("notes"), QStringLiteral("label"), label},
                 label);
}

bool TestKeyring::lockLoginCollection()
{
    QDBusMessage lock = QDBusMessage::createMethodCall(secrets, QStringLiteral("/org/freedesktop/secrets"),
                                                       QStringLiteral("org.freedesktop.Secret.Service"),
                                                       QStringLiteral("Lock"));
    lock << QVariant::fromValue(
        QList<QDBusObjectPath>{QDBusObjectPath(QStringLiteral("/org/freedesktop/secrets/collection/login"))});
    return QDBusConnection::sessionBus().call(lock).type() == QDBusMessage::ReplyMessage;
}
