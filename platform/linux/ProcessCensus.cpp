#include "platform/linux/ProcessCensus.h"

#include "platform/linux/ApplicationIdentity.h"
#include "platform/linux/ProcFs.h"

#include <algorithm>
#include <unistd.h>
#include <utility>

ProcessCensus::ProcessCensus(qint64 recheckWindowMs)
    : m_user(geteuid()), m_recheckWindowTicks(static_cast<quint64>(recheckWindowMs) *
                                              static_cast<quint64>(sysconf(_SC_CLK_TCK)) / 1000U)
{
}

std::vector<pid_t> ProcessCensus::update()
{
    ++m_generation;
    const quint64 now = ProcFs::ticksSinceBoot();
    std::vector<pid_t> changed;
    for (const pid_t identifier : ProcFs::processIdentifiers()) {
        const auto found = m_processes.find(identifier);
        if (found == m_processes.end()) {
            Process process = examine(identifier);
            process.generation = m_generation;
            m_processes.emplace(identifier, std::move(process));
            changed.push_back(identifier);
            continue;
        }
        found->second.generation = m_generation;
        if (programChanged(found->second, identifier, now))
            changed.push_back(identifier);
    }
    std::erase_if(m_processes, [this](const auto& entry) { return entry.second.generation != m_generation; });

    // A parent starts before its children: in that order, each parent is classified first.
    std::sort(changed.begin(), changed.end(), [this](pid_t left, pid_t right) {
        return std::pair(m_processes.at(left).startTime, left) <
               std::pair(m_processes.at(right).startTime, right);
    });
    std::vector<pid_t> applications;
    for (const pid_t identifier : changed) {
        Process& process = m_processes.at(identifier);
        classify(identifier, process);
        if (process.application)
            applications.push_back(identifier);
    }
    return applications;
}

QList<RunningApplication> ProcessCensus::applications() const
{
    // In the order they were started, as a list of running applications is expected to be.
    std::vector<const Process*> started;
    for (const auto& entry : m_processes) {
        if (entry.second.application)
            started.push_back(&entry.second);
    }
    std::sort(started.begin(), started.end(), [](const Process* left, const Process* right) {
        return std::pair(left->startTime, left->application->processIdentifier) <
               std::pair(right->startTime, right->application->processIdentifier);
    });
    QList<RunningApplication> applications;
    for (const Process* process : started)
        applications.append(*process->application);
    return applications;
}

std::optional<RunningApplication> ProcessCensus::application(pid_t processIdentifier) const
{
    const auto found = m_processes.find(processIdentifier);
    return found == m_processes.end() ? std::nullopt : found->second.application;
}

std::optional<quint64> ProcessCensus::startTime(pid_t processIdentifier) const
{
    const auto found = m_processes.find(processIdentifier);
    if (found == m_processes.end())
        return std::nullopt;
    return found->second.startTime;
}

void ProcessCensus::forget(pid_t processIdentifier)
{
    m_processes.erase(processIdentifier);
}

ProcessCensus::Process ProcessCensus::examine(pid_t processIdentifier) const
{
    Process process;
    // Other users' processes stay in the census unread, so that they cost nothing the next time.
    if (ProcFs::owner(processIdentifier) != m_user)
        return process;
    const auto status = ProcFs::status(processIdentifier);
    if (!status)
        return process;
    process.isMine = true;
    process.parent = status->parentProcessIdentifier;
    process.startTime = status->startTime;
    process.applicationPath =
        ApplicationIdentity::applicationPath(processIdentifier, ProcFs::executable(processIdentifier));
    return process;
}

bool ProcessCensus::programChanged(Process& process, pid_t processIdentifier, quint64 now) const
{
    if (!process.isMine || process.application || now > process.startTime + m_recheckWindowTicks)
        return false;
    const QString executable = ProcFs::executable(processIdentifier);
    // A program that cannot be read now (the process is ending) is no new program.
    if (executable.isEmpty())
        return false;
    const QString applicationPath = ApplicationIdentity::applicationPath(processIdentifier, executable);
    if (applicationPath == process.applicationPath)
        return false;
    process.applicationPath = applicationPath;
    return true;
}

void ProcessCensus::classify(pid_t processIdentifier, Process& process)
{
    process.mainProcess = 0;
    if (process.applicationPath.isEmpty())
        return;
    const auto parent = m_processes.find(process.parent);
    if (parent != m_processes.end() && parent->second.applicationPath == process.applicationPath &&
        isRunningApplication(parent->second.mainProcess)) {
        process.mainProcess = parent->second.mainProcess;
        return;
    }
    if (ApplicationIdentity::isSingleInstance(process.applicationPath)) {
        for (const auto& [identifier, other] : m_processes) {
            if (identifier != processIdentifier && other.application &&
                other.applicationPath == process.applicationPath) {
                process.mainProcess = identifier;
                return;
            }
        }
    }
    RunningApplication application = ApplicationIdentity::describe(process.applicationPath);
    application.processIdentifier = processIdentifier;
    process.application = application;
    process.mainProcess = processIdentifier;
}

bool ProcessCensus::isRunningApplication(pid_t processIdentifier) const
{
    const auto found = m_processes.find(processIdentifier);
    return found != m_processes.end() && found->second.application;
}
