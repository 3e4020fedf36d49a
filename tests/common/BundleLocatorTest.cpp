#include "common/BundleLocator.h"
#include "common/Names.h"

#include <QTest>

class BundleLocatorTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void findsEveryProgramFromEveryOther()
    {
        const QString main = QStringLiteral("/Applications/Veltrane.app");
        const QString daemon = BundleLocator::insideMainBundle(main, Names::BundlePaths::daemon);
        const QString menuBar = BundleLocator::insideMainBundle(main, Names::BundlePaths::menuBar);
        const QString helper = BundleLocator::insideMainBundle(main, Names::BundlePaths::loginHelper);

        QCOMPARE(daemon, QStringLiteral("/Applications/Veltrane.app/Contents/Resources/VeltraneDaemon.app"));
        QCOMPARE(BundleLocator::siblingBundle(daemon, Names::BundlePaths::workerBundleName),
                 BundleLocator::insideMainBundle(main, Names::BundlePaths::worker));
        QCOMPARE(BundleLocator::siblingBundle(menuBar, Names::BundlePaths::daemonBundleName), daemon);
        QCOMPARE(BundleLocator::mainBundleFromMenuBar(menuBar), main);
        QCOMPARE(BundleLocator::contentsFromLoginHelper(helper), main + QStringLiteral("/Contents"));
        QCOMPARE(BundleLocator::mainBundleFromLoginHelper(helper), main);
    }

    void toleratesTrailingSlashesAndShortPaths()
    {
        QCOMPARE(BundleLocator::removingLastComponents(QStringLiteral("/a/b/c/"), 2), QStringLiteral("/a"));
        QCOMPARE(BundleLocator::removingLastComponents(QStringLiteral("/a"), 1), QStringLiteral("/"));
        QCOMPARE(BundleLocator::removingLastComponents(QStringLiteral("a"), 1), QString());
    }
};

QTEST_GUILESS_MAIN(BundleLocatorTest)
#include "BundleLocatorTest.moc"
