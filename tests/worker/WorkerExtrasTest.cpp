#include "worker/WorkerExtras.h"

#include <QTest>

class WorkerExtrasTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void reducesHostsToSiteNames_data()
    {
        QTest::addColumn<QString>("host");
        QTest::addColumn<QString>("site"); // null: no site
        const auto row = [](const char* host, const char* site) {
            QTest::newRow(host) << QString::fromUtf8(host) << (site ? QString::fromUtf8(site) : QString());
        };
        row("WWW.Example.COM", "example.com");
        row(".mail.example.com", "example.com");
        row("news.example.co.xy", "example.co.xy");
        row("www.example.xy", "example.xy");
        row("shop.example.xy", "shop.example.xy");
        row("a.b.example.test", "b.example.test");
        row("192.168.0.1", "192.168.0.1");
        row("localhost", "localhost");
        row("www.test", "test");
        row("file:///tmp/x", nullptr);
        row("see FILE:///Users", nullptr);
        row("^filter", nullptr);
        row("^", "^");
        row(".www.example.com", "example.com");
        row("www.www.example.com", "example.com");
        row("example.", "example.");
        row("host.123", "host.123");
        row("a.b.c.d4", "b.c.d4");
        // Saved Firefox logins keep their scheme.
        row("https://www.example.com", "example.com");
        row("https://example.com", "https://example.com");
        row("https://example.xy", "https://example.xy");
        row("https://shop.example.xy", "https://shop.example.xy");
    }

    void reducesHostsToSiteNames()
    {
        QFETCH(QString, host);
        QFETCH(QString, site);
        const auto reduced = WorkerExtras::siteWithDomainName(host);
        if (site.isNull()) {
            QVERIFY(!reduced);
        } else {
            QVERIFY(reduced);
            QCOMPARE(*reduced, site);
        }
    }

    void nullAndEmptyNames()
    {
        QVERIFY(!WorkerExtras::siteWithDomainName(QString()));
        QCOMPARE(WorkerExtras::siteWithDomainName(QString(QLatin1String(""))).value_or(QStringLiteral("x")),
                 QString());
    }
};

QTEST_GUILESS_MAIN(WorkerExtrasTest)
#include "WorkerExtrasTest.moc"
