#include "NotificationRecorder.h"
#include "Sandbox.h"
#include "worker/WorkerAppDelegate.h"

#include <QElapsedTimer>
#include <QTest>

namespace {
QString worker()
{
    return BuiltSuite::executable(BuiltSuite::workerBundle());
}

QString emptyPassText(const QString& browser)
{
    return QStringLiteral("0 Cookies (0 Tracking Cookies), 0 Databases, 0 Flash, 0 Silverlight, and Cache "
                          "removed from ") +
           browser;
}
} // namespace

class WorkerProgramTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void messageTakesTheCountsInOrder()
    {
        QCOMPARE(
            WorkerAppDelegate::resultMessage(12, 3, 2, 0, 0, QStringLiteral("Safari")),
            QStringLiteral("12 Cookies (3 Tracking Cookies), 2 Databases, 0 Flash, 0 Silverlight, and Cache "
                           "removed from Safari"));
        // A browser name is put in as it is, never read as a format.
        QCOMPARE(WorkerAppDelegate::resultMessage(0, 0, 0, 0, 0, QStringLiteral("%@")),
                 emptyPassText(QStringLiteral("%@")));
    }

    void picksTheFirstBrowserNameAmongTheArguments()
    {
        QCOMPARE(WorkerAppDelegate({QStringLiteral("/x/VeltraneWorker"), QStringLiteral("-psn_0_1"),
                                    QStringLiteral("Firefox"), QStringLiteral("Safari")})
                     .startupCheck(),
                 QStringLiteral("Firefox"));
        QCOMPARE(
            WorkerAppDelegate({QStringLiteral("/x/VeltraneWorker"), QStringLiteral("safari")}).startupCheck(),
            QStringLiteral("Quit"));
        QCOMPARE(WorkerAppDelegate({QStringLiteral("Google Chrome")}).startupCheck(),
                 QStringLiteral("Google Chrome"));
    }

    void passEndsWithOneNotification_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("browser");
        QTest::newRow("Safari") << QStringList{QStringLiteral("Safari")} << QStringLiteral("Safari");
        QTest::newRow("first name wins")
            << QStringList{QStringLiteral("Firefox"), QStringLiteral("Safari")} << QStringLiteral("Firefox");
        QTest::newRow("Google Chrome")
            << QStringList{QStringLiteral("Google Chrome")} << QStringLiteral("Google Chrome");
    }

    void passEndsWithOneNotification()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, browser);
        Sandbox sandbox;
        QVERIFY(sandbox.writeDefaults({{QStringLiteral("displayNotifications"), true}}));
        NotificationRecorder recorder;
        QVERIFY(recorder.isRegistered());

        const auto run = BuiltSuite::runProgram(worker(), arguments, sandbox);
        QVERIFY2(run.finished, run.output.constData());
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(recorder.received().size(), 1);
        const auto& shown = recorder.received().first();
        QCOMPARE(shown.applicationName, QStringLiteral("Veltrane"));
        QCOMPARE(shown.summary, QStringLiteral("Veltrane"));
        QCOMPARE(shown.body, emptyPassText(browser));
        QVERIFY(shown.actions.isEmpty());
    }

    void noBrowserNameOrNotificationsOffShowsNothing_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<bool>("notificationsOn");
        QTest::newRow("wrong case") << QStringList{QStringLiteral("safari")} << true;
        QTest::newRow("no argument") << QStringList{} << true;
        QTest::newRow("notifications off") << QStringList{QStringLiteral("Safari")} << false;
    }

    void noBrowserNameOrNotificationsOffShowsNothing()
    {
        QFETCH(QStringList, arguments);
        QFETCH(bool, notificationsOn);
        Sandbox sandbox;
        QVERIFY(sandbox.writeDefaults({{QStringLiteral("displayNotifications"), notificationsOn}}));
        NotificationRecorder recorder;
        QVERIFY(recorder.isRegistered());
        QElapsedTimer clock;
        clock.start();
        const auto run = BuiltSuite::runProgram(worker(), arguments, sandbox);
        QVERIFY(run.finished);
        QCOMPARE(run.exitCode, 0);
        QVERIFY2(clock.elapsed() < 10000, "the worker should end promptly");
        QTest::qWait(100);
        QVERIFY(recorder.received().isEmpty());
    }

    void passWithoutNotificationServiceStillEnds()
    {
        Sandbox sandbox;
        QVERIFY(sandbox.writeDefaults({{QStringLiteral("displayNotifications"), true}}));
        const auto run = BuiltSuite::runProgram(worker(), {QStringLiteral("Opera")}, sandbox);
        QVERIFY(run.finished);
        QCOMPARE(run.exitCode, 0);
    }
};

QTEST_GUILESS_MAIN(WorkerProgramTest)
#include "WorkerProgramTest.moc"
