#include "platform/linux/DetachedProcess.h"

#include "platform/linux/Pidfd.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <linux/close_range.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace DetachedProcess {

namespace {

// Runs in the forked child of a possibly multi-threaded process: only async-signal-safe calls.
[[noreturn]] void execInChild(char* const argv[], char* const envp[], int errorPipe)
{
    sigset_t all;
    sigfillset(&all);
    sigprocmask(SIG_SETMASK, &all, nullptr);
    struct sigaction defaultAction = {};
    defaultAction.sa_handler = SIG_DFL;
    for (int signal = 1; signal < NSIG; ++signal) {
        if (signal != SIGKILL && signal != SIGSTOP)
            sigaction(signal, &defaultAction, nullptr);
    }
    setsid();
    // Every inherited descriptor but the standard three goes at exec, the error pipe with them.
    syscall(SYS_close_range, 3U, ~0U, CLOSE_RANGE_CLOEXEC);
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    execve(argv[0], argv, envp);
    const int error = errno;
    ssize_t written = 0;
    do {
        written = write(errorPipe, &error, sizeof error);
    } while (written < 0 && errno == EINTR);
    _exit(127);
}

// Waits for the exec of the child: the pipe closes on success, or brings the exec's error.
bool childHasExeced(int errorPipe)
{
    int error = 0;
    ssize_t length = 0;
    do {
        length = read(errorPipe, &error, sizeof error);
    } while (length < 0 && errno == EINTR);
    return length == 0;
}

void reapWhenEnded(pid_t child)
{
    // Without an event loop there is nobody to reap it; it is then reaped when this process ends.
    if (QCoreApplication::instance() == nullptr)
        return;
    const int pidfd = Pidfd::open(child);
    if (pidfd < 0)
        return;
    auto* notifier = new QSocketNotifier(pidfd, QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(notifier, &QSocketNotifier::activated, notifier, [notifier, pidfd, child] {
        notifier->setEnabled(false);
        notifier->deleteLater();
        close(pidfd);
        waitpid(child, nullptr, WNOHANG);
    });
}

// The child's environment, built before the fork: the child may only call async-signal-safe code.
std::vector<char*> environmentWithout(const QStringList& withoutVariables)
{
    std::vector<char*> envp;
    for (char** variable = environ; *variable != nullptr; ++variable) {
        const QByteArray entry(*variable);
        const QByteArray name = entry.left(entry.indexOf('='));
        if (!withoutVariables.contains(QString::fromLocal8Bit(name)))
            envp.push_back(*variable);
    }
    envp.push_back(nullptr);
    return envp;
}

} // namespace

std::optional<pid_t> start(const QString& program, const QStringList& arguments,
                           const QStringList& withoutVariables)
{
    std::vector<QByteArray> strings;
    strings.push_back(program.toLocal8Bit());
    for (const QString& argument : arguments)
        strings.push_back(argument.toLocal8Bit());
    std::vector<char*> argv;
    for (QByteArray& string : strings)
        argv.push_back(string.data());
    argv.push_back(nullptr);
    const std::vector<char*> envp = environmentWithout(withoutVariables);

    int errorPipe[2];
    if (pipe2(errorPipe, O_CLOEXEC) != 0)
        return std::nullopt;
    const pid_t child = fork();
    if (child == 0)
        execInChild(argv.data(), envp.data(), errorPipe[1]);
    close(errorPipe[1]);
    if (child < 0) {
        close(errorPipe[0]);
        return std::nullopt;
    }
    const bool started = childHasExeced(errorPipe[0]);
    close(errorPipe[0]);
    if (!started) {
        waitpid(child, nullptr, 0);
        return std::nullopt;
    }
    reapWhenEnded(child);
    return child;
}

} // namespace DetachedProcess
