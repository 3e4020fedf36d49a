#include "platform/linux/TerminationWatch.h"

#include "platform/linux/Pidfd.h"
#include "platform/linux/ProcFs.h"

#include <QSocketNotifier>

#include <cerrno>
#include <unistd.h>

namespace {

// New processes are looked for twice a second: cheap (one listing of /proc, and a closer look only
// at what is new) and quick enough to catch an application that runs only briefly.
constexpr int censusIntervalMs = 500;
// A process started less than this long ago may still exec into an application.
constexpr qint64 recheckWindowMs = 5000;

} // namespace

TerminationWatch::TerminationWatch(QObject* parent) : QObject(parent), m_census(recheckWindowMs)
{
    m_timer.setInterval(censusIntervalMs);
    connect(&m_timer, &QTimer::timeout, this, &TerminationWatch::takeCensus);
}

TerminationWatch::~TerminationWatch()
{
    for (auto& [identifier, watched] : m_watched) {
        delete watched.notifier;
        close(watched.pidfd);
    }
}

void TerminationWatch::start()
{
    if (m_timer.isActive())
        return;
    takeCensus();
    m_timer.start();
}

void TerminationWatch::takeCensus()
{
    for (const pid_t identifier : m_census.update())
        watch(identifier);
}

void TerminationWatch::watch(pid_t processIdentifier)
{
    const auto application = m_census.application(processIdentifier);
    if (!application || m_watched.contains(processIdentifier))
        return;
    const int pidfd = Pidfd::open(processIdentifier);
    if (pidfd < 0) {
        // Seen alive a moment ago and gone already: it ended all the same.
        if (errno == ESRCH) {
            m_census.forget(processIdentifier);
            report(*application);
        }
        return;
    }
    // The pidfd might name a newer process that took over the pid in between.
    const auto status = ProcFs::status(processIdentifier);
    if (!status || status->startTime != m_census.startTime(processIdentifier)) {
        close(pidfd);
        m_census.forget(processIdentifier);
        report(*application);
        return;
    }
    auto* notifier = new QSocketNotifier(pidfd, QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this,
            [this, processIdentifier] { applicationEnded(processIdentifier); });
    m_watched.emplace(processIdentifier, Watched{*application, pidfd, notifier});
}

void TerminationWatch::applicationEnded(pid_t processIdentifier)
{
    const auto found = m_watched.find(processIdentifier);
    if (found == m_watched.end())
        return;
    const Watched watched = found->second;
    m_watched.erase(found);
    // The pidfd stays readable until the process is reaped, which may be never: stop listening now.
    watched.notifier->setEnabled(false);
    watched.notifier->deleteLater();
    close(watched.pidfd);
    m_census.forget(processIdentifier);
    report(watched.application);
}

void TerminationWatch::report(const RunningApplication& application)
{
    Q_EMIT applicationTerminated(application.localizedName, application.bundleIdentifier);
}
