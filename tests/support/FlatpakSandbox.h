#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>

// A process that runs as in a Flatpak sandbox: in a mount namespace of its own whose root holds
// the given ".flatpak-info" and the program at `program` (under "/app"). Made with unshare(1) and
// pivot_root; needs root or unprivileged user namespaces.
class FlatpakSandbox
{
public:
    // Whether sandboxes can be made on this machine.
    [[nodiscard]] static bool available();

    // `info` empty: ".flatpak-info" is a FIFO that nobody writes. `folder` is the sandbox's root
    // as seen from outside (its contents live in memory only).
    FlatpakSandbox(const QString& folder, const QByteArray& info,
                   const QString& program = QStringLiteral("/app/chromium/chrome"));
    // Ends the sandboxed process with its namespace.
    ~FlatpakSandbox();
    FlatpakSandbox(const FlatpakSandbox&) = delete;
    FlatpakSandbox& operator=(const FlatpakSandbox&) = delete;

    // The sandboxed program's process, once it runs `program`; 0 when it did not come up.
    [[nodiscard]] qint64 waitForProgram();
    void kill();

private:
    QProcess m_unshare;
    QString m_program;
};
