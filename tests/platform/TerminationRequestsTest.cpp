#include <QElapsedTimer>
#include <QProcess>
#include <QTest>

#include <csignal>

namespace {

struct Probe
{
    QProcess process;

    explicit Probe(const QStringList& environment)
    {
        QProcessEnvironment variables = QProcessEnvironment::systemEnvironment();
        for (const QString& variable : environment)
            variables.insert(variable.section(QLatin1Char('='), 0, 0), variable.section(QLatin1Char('='), 1));
        process.setProcessEnvironment(variables);
        process.start(QStringLiteral(VELTRANE_TERMINATIONPROBE), {});
    }

    [[nodiscard]] bool waitForReady()
    {
        while (!process.canReadLine()) {
            if (!process.waitForReadyRead(10000))
                return false;
        }
        return process.readLine() == "ready\n";
    }

    void requestQuit() const { kill(static_cast<pid_t>(process.processId()), SIGTERM); }
};

} // namespace

class TerminationRequestsTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void quitsTheEventLoopWithinASecond()
    {
        Probe probe({});
        QVERIFY(probe.waitForReady());
        QTest::qWait(100);
        QElapsedTimer elapsed;
        elapsed.start();
        probe.requestQuit();
        QVERIFY(probe.process.waitForFinished(1000));
        QVERIFY(elapsed.elapsed() < 1000);
        QCOMPARE(probe.process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(probe.process.exitCode(), 0);
        QCOMPARE(probe.process.readAll(), QByteArray("quit\n"));
    }

    void keepsARequestMadeBeforeTheEventLoopRuns()
    {
        // Events handled by hand, outside any event loop: the request waits for the loop.
        Probe probe({QStringLiteral("PROBE_PUMP_MS=800")});
        QVERIFY(probe.waitForReady());
        probe.requestQuit();
        QVERIFY(probe.process.waitForFinished(3000));
        QCOMPARE(probe.process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(probe.process.readAll(), QByteArray("quit\n"));
    }

    void deferredRequestsLetTheWorkFinish()
    {
        Probe probe({QStringLiteral("PROBE_DEFER=1"), QStringLiteral("PROBE_WORK_MS=1200")});
        QVERIFY(probe.waitForReady());
        QElapsedTimer elapsed;
        elapsed.start();
        for (int request = 0; request < 5; ++request) {
            probe.requestQuit();
            QTest::qWait(100);
        }
        QVERIFY(probe.process.waitForFinished(10000));
        QCOMPARE(probe.process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(probe.process.exitCode(), 0);
        QCOMPARE(probe.process.readAll(), QByteArray("done\n"));
        QVERIFY(elapsed.elapsed() >= 1000);
    }
};

QTEST_GUILESS_MAIN(TerminationRequestsTest)
#include "TerminationRequestsTest.moc"
