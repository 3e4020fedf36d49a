#include "platform/DistributedNotificationCenter.h"
#include "Sandbox.h"

#include <QProcess>
#include <QSignalSpy>
#include <QTest>

class DistributedNotificationCenterTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void broadcastReachesAnotherProcessWithItsUserInfo_data()
    {
        QTest::addColumn<QStringList>("postArguments");
        QTest::addColumn<QByteArray>("seen");
        QTest::newRow("enabled") << QStringList{QStringLiteral("toggleVeltraneRunStatus"),
                                                QStringLiteral("true")}
                                 << QByteArray("toggleVeltraneRunStatus enabled=true");
        QTest::newRow("disabled") << QStringList{QStringLiteral("toggleVeltraneRunStatus"),
                                                 QStringLiteral("false")}
                                  << QByteArray("toggleVeltraneRunStatus enabled=false");
        QTest::newRow("no user info") << QStringList{QStringLiteral("toggleVeltraneRunStatus")}
                                      << QByteArray("toggleVeltraneRunStatus enabled=none");
    }

    void broadcastReachesAnotherProcessWithItsUserInfo()
    {
        QFETCH(QStringList, postArguments);
        QFETCH(QByteArray, seen);
        QProcess observer;
        observer.start(qEnvironmentVariable("VELTRANE_TESTTOOL"),
                       {QStringLiteral("observe"), QStringLiteral("toggleVeltraneRunStatus")});
        QVERIFY(observer.waitForReadyRead(10000));
        QCOMPARE(observer.readLine().trimmed(), QByteArray("ready"));

        // A broadcast of another name is not delivered to it.
        DistributedNotificationCenter::defaultCenter().postNotificationName(
            QStringLiteral("updateVeltraneRunStatus"));
        QVariantMap userInfo;
        if (postArguments.size() > 1)
            userInfo.insert(QStringLiteral("enabled"), postArguments[1] == QLatin1String("true"));
        DistributedNotificationCenter::defaultCenter().postNotificationName(postArguments[0], userInfo);
        QVERIFY(observer.waitForFinished(10000));
        QCOMPARE(observer.exitCode(), 0);
        QCOMPARE(observer.readAll().trimmed(), seen);
    }

    void observersInTheSameProcessAndRemoval()
    {
        auto& center = DistributedNotificationCenter::defaultCenter();
        QVERIFY(center.isAvailable());
        int calls = 0;
        auto context = std::make_unique<QObject>();
        center.addObserver(QStringLiteral("veltraneOpenedFromMenu"), context.get(),
                           [&calls](const QVariantMap&) { ++calls; });
        QProcess poster;
        poster.start(qEnvironmentVariable("VELTRANE_TESTTOOL"),
                     {QStringLiteral("post"), QStringLiteral("veltraneOpenedFromMenu")});
        QVERIFY(poster.waitForFinished(10000));
        QTRY_COMPARE(calls, 1);

        context.reset(); // destroyed contexts stop observing
        poster.start(qEnvironmentVariable("VELTRANE_TESTTOOL"),
                     {QStringLiteral("post"), QStringLiteral("veltraneOpenedFromMenu")});
        QVERIFY(poster.waitForFinished(10000));
        QTest::qWait(300);
        QCOMPARE(calls, 1);
    }

    void withoutASessionBusNothingHappens()
    {
        QProcess poster;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
        environment.remove(QStringLiteral("DISPLAY"));
        environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"),
                           QStringLiteral("unix:path=/nonexistent/bus"));
        poster.setProcessEnvironment(environment);
        poster.start(
            qEnvironmentVariable("VELTRANE_TESTTOOL"),
            {QStringLiteral("post"), QStringLiteral("toggleVeltraneRunStatus"), QStringLiteral("true")});
        QVERIFY(poster.waitForFinished(10000));
        QCOMPARE(poster.exitStatus(), QProcess::NormalExit);
        QCOMPARE(poster.exitCode(), 0);
    }
};

QTEST_GUILESS_MAIN(DistributedNotificationCenterTest)
#include "DistributedNotificationCenterTest.moc"
