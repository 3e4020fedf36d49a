#include "platform/ApplicationInstance.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QVariantMap>

// The instance that owns the name exports one object with a Reopen method; a later start calls it,
// handing over the activation token the desktop gave it.
namespace {
const QString objectPath = QStringLiteral("/com/orvando/ApplicationInstance");
const QString interfaceName = QStringLiteral("com.orvando.ApplicationInstance");
const QString reopenMethod = QStringLiteral("Reopen");
// Long enough for an instance that is still starting to reach its event loop.
constexpr int reopenTimeoutMs = 15000;
constexpr int claimAttempts = 3;

// The variables through which the desktops pass the right to take the focus to a started program.
const QList<std::pair<QString, QByteArray>> activationVariables{
    {QStringLiteral("activation-token"), QByteArrayLiteral("XDG_ACTIVATION_TOKEN")},
    {QStringLiteral("desktop-startup-id"), QByteArrayLiteral("DESKTOP_STARTUP_ID")},
};
} // namespace

class ApplicationInstanceReceiver : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "com.orvando.ApplicationInstance")

public:
    explicit ApplicationInstanceReceiver(ApplicationInstance* owner) : QObject(owner), m_owner(owner) {}

public Q_SLOTS:
    Q_SCRIPTABLE void Reopen(const QVariantMap& platformData)
    {
        for (const auto& [key, variable] : activationVariables) {
            const QString token = platformData.value(key).toString();
            if (!token.isEmpty())
                qputenv(variable.constData(), token.toUtf8());
        }
        Q_EMIT m_owner->reopenRequested();
    }

private:
    ApplicationInstance* m_owner;
};

ApplicationInstance::ApplicationInstance() : m_receiver(new ApplicationInstanceReceiver(this)) {}

ApplicationInstance::~ApplicationInstance()
{
    QDBusConnection::sessionBus().unregisterObject(objectPath);
}

ApplicationInstance::Role ApplicationInstance::claim(const QString& identifier)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !bus.interface())
        return Role::Standalone;
    // Exported before the name is taken, so whoever sees the owner can call it at once.
    if (!bus.registerObject(objectPath, m_receiver, QDBusConnection::ExportScriptableSlots))
        return Role::Standalone;

    QVariantMap platformData;
    for (const auto& [key, variable] : activationVariables) {
        if (qEnvironmentVariableIsSet(variable.constData()))
            platformData.insert(key, qEnvironmentVariable(variable.constData()));
    }
    for (int attempt = 0; attempt < claimAttempts; ++attempt) {
        const auto registered =
            bus.interface()->registerService(identifier, QDBusConnectionInterface::DontQueueService,
                                             QDBusConnectionInterface::DontAllowReplacement);
        if (!registered.isValid())
            return Role::Standalone;
        if (registered.value() == QDBusConnectionInterface::ServiceRegistered)
            return Role::Primary;
        QDBusMessage reopen =
            QDBusMessage::createMethodCall(identifier, objectPath, interfaceName, reopenMethod);
        reopen << platformData;
        const QDBusMessage reply = bus.call(reopen, QDBus::Block, reopenTimeoutMs);
        if (reply.type() == QDBusMessage::ReplyMessage)
            return Role::Secondary;
        // The owner ended meanwhile: the name may be free now.
        if (!bus.interface()->isServiceRegistered(identifier).value())
            continue;
        // It runs but does not answer: a second instance would fight it over the same settings.
        return Role::Secondary;
    }
    return Role::Secondary;
}

#include "ApplicationInstance.moc"
