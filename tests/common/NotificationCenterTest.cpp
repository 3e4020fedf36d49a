#include "common/NotificationCenter.h"

#include <QTest>

class NotificationCenterTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void deliversInsideThePostToObserversOfTheName()
    {
        auto& center = NotificationCenter::defaultCenter();
        int first = 0;
        int second = 0;
        int other = 0;
        center.addObserver(QStringLiteral("browserInstallCheck"), &first, [&] { ++first; });
        center.addObserver(QStringLiteral("browserInstallCheck"), &second, [&] {
            ++second;
            // Removing an observer during a post keeps it from being called afterwards.
            center.removeObserver(&other);
        });
        center.addObserver(QStringLiteral("browserInstallCheck"), &other, [&] { ++other; });
        center.postNotificationName(QStringLiteral("browserInstallCheck"));
        QCOMPARE(first, 1);
        QCOMPARE(second, 1);
        QCOMPARE(other, 0);

        center.postNotificationName(QStringLiteral("releaseWindow"));
        center.removeObserver(&first);
        center.postNotificationName(QStringLiteral("browserInstallCheck"));
        QCOMPARE(first, 1);
        QCOMPARE(second, 2);
        center.removeObserver(&second);
    }
};

QTEST_GUILESS_MAIN(NotificationCenterTest)
#include "NotificationCenterTest.moc"
