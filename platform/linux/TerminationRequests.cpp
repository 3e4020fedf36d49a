#include "platform/TerminationRequests.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QThread>
#include <QTimer>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

// The signal handler only writes a byte to a pipe; the event loop reads it and quits in order.
namespace TerminationRequests {

namespace {

int requestPipe[2] = {-1, -1};
constexpr int retryMs = 100;
bool deferred = false;

void onRequest(int)
{
    const int savedErrno = errno;
    const char byte = 1;
    (void)!write(requestPipe[1], &byte, 1);
    errno = savedErrno;
}

void drainPipe()
{
    char bytes[64];
    while (read(requestPipe[0], bytes, sizeof bytes) > 0) {
    }
}

void quitEventLoop()
{
    // A quit outside any running event loop would be lost (an event loop started later ignores
    // it), so it waits for one.
    if (QThread::currentThread()->loopLevel() == 0) {
        QTimer::singleShot(retryMs, QCoreApplication::instance(), quitEventLoop);
        return;
    }
    QCoreApplication::quit();
}

} // namespace

void quitEventLoopOnRequest()
{
    if (deferred || requestPipe[0] >= 0 || QCoreApplication::instance() == nullptr)
        return;
    if (pipe2(requestPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    auto* notifier = new QSocketNotifier(requestPipe[0], QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(notifier, &QSocketNotifier::activated, notifier, [] {
        drainPipe();
        quitEventLoop();
    });
    struct sigaction action = {};
    action.sa_handler = onRequest;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &action, nullptr);
}

void deferRequests()
{
    // Ignored rather than caught: an ignored signal interrupts no system call of the work, and
    // any number of them changes nothing.
    deferred = true;
    struct sigaction action = {};
    action.sa_handler = SIG_IGN;
    sigemptyset(&action.sa_mask);
    sigaction(SIGTERM, &action, nullptr);
}

} // namespace TerminationRequests
