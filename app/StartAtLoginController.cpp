#include "app/StartAtLoginController.h"

#include "platform/Bundle.h"
#include "platform/LoginItems.h"
#include "platform/SystemLog.h"

StartAtLoginController::StartAtLoginController(const QString& bundlePath)
{
    setBundle(bundlePath);
    (void)startAtLogin();
    SystemLog::write(QStringLiteral("Launcher '%1' %2 configured to start at login")
                         .arg(m_identifier, m_enabled ? QStringLiteral("is") : QStringLiteral("is not")));
}

void StartAtLoginController::setBundle(const QString& bundlePath)
{
    setIdentifier(Bundle::bundleIdentifier(bundlePath));
    setUrl(QUrl::fromLocalFile(bundlePath));
}

bool StartAtLoginController::startAtLogin()
{
    if (m_identifier.isEmpty())
        return false;
    bool state = false;
    const QList<LoginItems::Job> jobs = LoginItems::jobs();
    for (const LoginItems::Job& job : jobs) {
        if (job.label == m_identifier) {
            state = job.onDemand;
            break;
        }
    }
    if (state != m_enabled) {
        m_enabled = state;
        Q_EMIT enabledChanged();
    }
    return state;
}

void StartAtLoginController::setStartAtLogin(bool flag)
{
    if (m_identifier.isEmpty() || m_url.isEmpty())
        return;
    const bool succeeded = LoginItems::setEnabled(m_identifier, m_url.toLocalFile(), flag);
    m_enabled = succeeded && flag;
    Q_EMIT enabledChanged();
    Q_EMIT startAtLoginChanged();
}
