// A program of the tests for quit requests. It says "ready" on its standard output once set up, and
// "quit" when its event loop has ended. With PROBE_PUMP_MS it first handles events by hand for that
// long, outside any event loop. With PROBE_DEFER it defers requests from before main(), like the
// worker, and instead of an event loop does PROBE_WORK_MS of work, then says "done".
#include "platform/TerminationRequests.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include <cstdio>
#include <cstdlib>

[[gnu::constructor(101)]] static void deferWhenAsked()
{
    if (getenv("PROBE_DEFER") != nullptr)
        TerminationRequests::deferRequests();
}

static void say(const char* word)
{
    printf("%s\n", word);
    fflush(stdout);
}

int main(int argc, char* argv[])
{
    QCoreApplication application(argc, argv);
    if (qEnvironmentVariableIsSet("PROBE_DEFER")) {
        say("ready");
        QThread::msleep(static_cast<unsigned long>(qEnvironmentVariableIntValue("PROBE_WORK_MS")));
        say("done");
        return 0;
    }
    TerminationRequests::quitEventLoopOnRequest();
    say("ready");
    QElapsedTimer pumping;
    pumping.start();
    while (pumping.elapsed() < qEnvironmentVariableIntValue("PROBE_PUMP_MS"))
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    const int result = QCoreApplication::exec();
    say("quit");
    return result;
}
