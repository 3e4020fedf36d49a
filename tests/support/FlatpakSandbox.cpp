#include "FlatpakSandbox.h"

#include <QDir>
#include <QFile>
#include <QTest>

#include <unistd.h>

namespace {

// $1 the new root, $2 the info file (or nothing), $3 the program's path inside. /usr and /proc are
// shared with the system; the program is a copy of sleep(1).
const char* const script = R"sh(set -e
R=$1
mount --make-rprivate /
mount -t tmpfs tmpfs "$R"
mkdir -p "$R/usr" "$R/proc" "$R/old" "$R$(dirname "$3")"
mount --rbind /usr "$R/usr"
mount --rbind /proc "$R/proc"
ln -s usr/lib "$R/lib"; ln -s usr/lib64 "$R/lib64"; ln -s usr/bin "$R/bin"
cp /usr/bin/sleep "$R$3"
if [ -n "$2" ]; then cp "$2" "$R/.flatpak-info"; else mkfifo "$R/.flatpak-info"; fi
cd "$R"
pivot_root . old
cd /
umount -l /old
exec "$3" 600
)sh";

QStringList unshareArguments()
{
    QStringList arguments;
    if (geteuid() != 0)
        arguments << QStringLiteral("--user") << QStringLiteral("--map-root-user");
    arguments << QStringLiteral("--mount") << QStringLiteral("--fork") << QStringLiteral("--kill-child");
    return arguments;
}

} // namespace

bool FlatpakSandbox::available()
{
    QProcess probe;
    probe.start(QStringLiteral("unshare"), unshareArguments() << QStringLiteral("true"));
    return probe.waitForFinished(10000) && probe.exitStatus() == QProcess::NormalExit &&
           probe.exitCode() == 0;
}

FlatpakSandbox::FlatpakSandbox(const QString& folder, const QByteArray& info, const QString& program)
    : m_program(program)
{
    QDir().mkpath(folder);
    QString infoPath;
    if (!info.isEmpty()) {
        infoPath = folder + QStringLiteral(".flatpak-info");
        QFile file(infoPath);
        if (file.open(QIODevice::WriteOnly))
            file.write(info);
    }
    m_unshare.setProcessChannelMode(QProcess::ForwardedChannels);
    m_unshare.start(QStringLiteral("unshare"), unshareArguments()
                                                   << QStringLiteral("sh") << QStringLiteral("-c")
                                                   << QString::fromLatin1(script) << QStringLiteral("sh")
                                                   << folder << infoPath << program);
}

FlatpakSandbox::~FlatpakSandbox()
{
    kill();
}

qint64 FlatpakSandbox::waitForProgram()
{
    if (!m_unshare.waitForStarted())
        return 0;
    const QString children = QStringLiteral("/proc/%1/task/%1/children").arg(m_unshare.processId());
    for (int attempt = 0; attempt < 100; ++attempt) {
        QFile file(children);
        if (file.open(QIODevice::ReadOnly)) {
            const qint64 child = file.readAll().trimmed().toLongLong();
            if (child > 0 && QFile::symLinkTarget(QStringLiteral("/proc/%1/exe").arg(child)) == m_program)
                return child;
        }
        if (m_unshare.state() == QProcess::NotRunning)
            return 0;
        QTest::qWait(50);
    }
    return 0;
}

void FlatpakSandbox::kill()
{
    // unshare takes its child with it.
    if (m_unshare.state() != QProcess::NotRunning) {
        m_unshare.kill();
        m_unshare.waitForFinished();
    }
}
