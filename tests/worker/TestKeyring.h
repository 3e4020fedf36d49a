#pragma once

#include <QProcess>
#include <QString>

class Sandbox;

// A real gnome-keyring serving the Secret Service on this test's private session bus, with a login
// collection made and unlocked for a home inside the sandbox.
class TestKeyring
{
public:
    explicit TestKeyring(const Sandbox& sandbox);
    ~TestKeyring();
    TestKeyring(const TestKeyring&) = delete;
    TestKeyring& operator=(const TestKeyring&) = delete;

    [[nodiscard]] bool isRunning() const { return m_running; }

    // Saves an internet password the way a browser or file client would (network-password schema).
    bool storeInternetPassword(const QString& server, const QString& authType, const QString& user);
    // Saves a password that belongs to no server.
    bool storeOtherPassword(const QString& label);
    bool lockLoginCollection();

private:
    bool store(const QStringList& attributes, const QString& label);

    QProcessEnvironment m_environment;
    QProcess m_daemon;
    bool m_running = false;
};
