#pragma once

#include <QObject>
#include <QString>

class ApplicationInstanceReceiver;

// One running instance of an application per session: the first start owns the application's
// identifier as a name on the session bus; a later start asks that one to reopen and leaves.
class ApplicationInstance : public QObject
{
    Q_OBJECT

public:
    enum class Role
    {
        Primary,    // this process owns the name and answers later starts
        Secondary,  // another instance owns it and was asked to reopen: this process should end
        Standalone, // no session bus: the process runs, but nobody can find it
    };

    ApplicationInstance();
    ~ApplicationInstance() override;

    // Claims `identifier` (a reverse-domain name such as "com.example.App"). Blocks while an
    // instance that is still starting takes the reopen request (a few seconds at most).
    [[nodiscard]] Role claim(const QString& identifier);

Q_SIGNALS:
    // A later start asked to reopen. The desktop activation token it was started with, when it had one,
    // is handed over in this process's environment (XDG_ACTIVATION_TOKEN, DESKTOP_STARTUP_ID), where
    // the window system's activation of a window shown now looks for it.
    void reopenRequested();

private:
    friend class ApplicationInstanceReceiver;
    ApplicationInstanceReceiver* m_receiver = nullptr;
};
