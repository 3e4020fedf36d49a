#include "worker/RunningBrowserGuard.h"
#include "LockHolder.h"
#include "Sandbox.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSysInfo>
#include <QTest>

#include <sys/stat.h>

namespace {

BrowserLocation location(const QString& browser, BrowserFamily family, const QString& folder)
{
    return BrowserLocation{browser, family, ProfileLayout::SingleProfile, folder, QString(), {}};
}

BrowserProfile profile(const BrowserLocation& location, const QString& folder)
{
    return BrowserProfile{location.browser, location.family, 0, QString(), folder};
}

qint64 pidOfAProcessThatEnded()
{
    QProcess process;
    process.start(QStringLiteral("true"), QStringList());
    if (!process.waitForStarted())
        return 0;
    const qint64 pid = process.processId();
    process.waitForFinished();
    return pid;
}

} // namespace

class RunningBrowserGuardTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void singletonLockNamesTheRunningBrowser_data()
    {
        QTest::addColumn<QString>("target");
        QTest::addColumn<bool>("inUse");
        const QString host = QSysInfo::machineHostName();
        QTest::newRow("alive here") << host + "-" + QString::number(QCoreApplication::applicationPid())
                                    << true;
        QTest::newRow("gone") << host + "-" + QString::number(pidOfAProcessThatEnded()) << false;
        QTest::newRow("another host") << QStringLiteral("elsewhere-") + host + "-1" << true;
        QTest::newRow("no number") << host + "-abc" << false;
        QTest::newRow("no dash") << QStringLiteral("12345") << false;
        QTest::newRow("number too large") << host + "-99999999999999" << false;
    }

    void singletonLockNamesTheRunningBrowser()
    {
        QFETCH(QString, target);
        QFETCH(bool, inUse);
        Sandbox sandbox;
        const QString folder = sandbox.homePath(QStringLiteral(".config/chromium"));
        QVERIFY(QDir().mkpath(folder + QStringLiteral("/Default")));
        QVERIFY(QFile::link(target, folder + QStringLiteral("/SingletonLock")));
        const auto chromium = location(QStringLiteral("Chromium"), BrowserFamily::Chrome, folder);
        QCOMPARE(
            RunningBrowserGuard::isInUse(chromium, profile(chromium, folder + QStringLiteral("/Default"))),
            inUse);
        // Opera keeps the same lock in its single profile folder.
        const auto opera = location(QStringLiteral("Opera"), BrowserFamily::Chrome, folder);
        QCOMPARE(RunningBrowserGuard::isInUse(opera, profile(opera, folder)), inUse);
    }

    void singletonLockThatIsARegularFileNamesNoBrowser()
    {
        Sandbox sandbox;
        QVERIFY(sandbox.writeFile(QStringLiteral(".config/chromium/SingletonLock"),
                                  QSysInfo::machineHostName().toUtf8() + "-" +
                                      QByteArray::number(QCoreApplication::applicationPid())));
        const auto chromium = location(QStringLiteral("Chromium"), BrowserFamily::Chrome,
                                       sandbox.homePath(QStringLiteral(".config/chromium")));
        QVERIFY(!RunningBrowserGuard::isInUse(chromium, profile(chromium, chromium.folder + "/Default")));
    }

    void heldLocksMarkTheProfile_data()
    {
        QTest::addColumn<QString>("browser");
        QTest::addColumn<QString>("lock");
        QTest::newRow("Chromium") << QStringLiteral("Chromium")
                                  << QStringLiteral("Local Storage/leveldb/LOCK");
        QTest::newRow("Google Chrome")
            << QStringLiteral("Google Chrome") << QStringLiteral("Local Storage/leveldb/LOCK");
        QTest::newRow("Firefox") << QStringLiteral("Firefox") << QStringLiteral(".parentlock");
    }

    void heldLocksMarkTheProfile()
    {
        QFETCH(QString, browser);
        QFETCH(QString, lock);
        Sandbox sandbox;
        const QString folder = sandbox.homePath(QStringLiteral("profile"));
        const auto family = *BrowserLocations::familyOf(browser);
        const auto place = location(browser, family, folder);
        QVERIFY(sandbox.writeFile(QStringLiteral("profile/") + lock, QByteArray()));
        // The file alone, as a browser that quit leaves it, is no lock.
        QVERIFY(!RunningBrowserGuard::isInUse(place, profile(place, folder)));
        {
            LockHolder holder(folder + QLatin1Char('/') + lock);
            QVERIFY(holder.isLocked());
            QVERIFY(RunningBrowserGuard::isInUse(place, profile(place, folder)));
        }
        QVERIFY(!RunningBrowserGuard::isInUse(place, profile(place, folder)));
    }

    void lockFilesOfTheWrongKindHoldNothing()
    {
        Sandbox sandbox;
        const QString folder = sandbox.homePath(QStringLiteral("profile"));
        QVERIFY(QDir().mkpath(folder + QStringLiteral("/Local Storage/leveldb")));
        // A FIFO in place of the lock must not hold the check up.
        QCOMPARE(mkfifo(QFile::encodeName(folder + QStringLiteral("/Local Storage/leveldb/LOCK")).constData(),
                        0600),
                 0);
        // A link in place of the lock is not followed to a file some browser holds.
        QVERIFY(sandbox.writeFile(QStringLiteral("held"), QByteArray()));
        LockHolder holder(sandbox.homePath(QStringLiteral("held")));
        QVERIFY(holder.isLocked());
        QVERIFY(
            QFile::link(sandbox.homePath(QStringLiteral("held")), folder + QStringLiteral("/.parentlock")));

        QElapsedTimer clock;
        clock.start();
        const auto chromium = location(QStringLiteral("Chromium"), BrowserFamily::Chrome, folder);
        QVERIFY(!RunningBrowserGuard::isInUse(chromium, profile(chromium, folder)));
        const auto firefox = location(QStringLiteral("Firefox"), BrowserFamily::Mozilla, folder);
        QVERIFY(!RunningBrowserGuard::isInUse(firefox, profile(firefox, folder)));
        QVERIFY(clock.elapsed() < 5000);
    }
};

QTEST_GUILESS_MAIN(RunningBrowserGuardTest)
#include "RunningBrowserGuardTest.moc"
