#include "Sandbox.h"
#include "TestKeyring.h"
#include "worker/WorkerAppDelegate.h"
#include "worker/WorkerExtras.h"

#include <QDateTime>
#include <QTest>

namespace {
QStringList sorted(QStringList list)
{
    list.sort();
    return list;
}
} // namespace

class KeychainTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // The test bus can start a keyring on demand; the first one started here wins the name.
    void emptyKeyringMeansNoFavourites()
    {
        Sandbox sandbox;
        TestKeyring keyring(sandbox);
        QVERIFY(keyring.isRunning());
        KeychainError error;
        QVERIFY(!WorkerExtras::allAccounts(&error));
        QCOMPARE(error.code, int(Keychain::Status::itemNotFound));
        QCOMPARE(error.domain, QStringLiteral("com.orvando.Veltrane"));
        const auto favourites = WorkerAppDelegate({}).getSmartFavouritesArray();
        QVERIFY(favourites);
        QVERIFY(favourites->isEmpty());

        QVERIFY(keyring.storeInternetPassword(QStringLiteral("accounts.example.com"), QStringLiteral("form"),
                                              QStringLiteral("alice")));
        QVERIFY(keyring.storeInternetPassword(QStringLiteral("www.example.com"), QStringLiteral("form"),
                                              QStringLiteral("alice2")));
        QVERIFY(keyring.storeInternetPassword(QStringLiteral("Shop.Example.XY"), QStringLiteral("form"),
                                              QStringLiteral("bob")));
        QVERIFY(keyring.storeInternetPassword(QStringLiteral("printer.local"), QStringLiteral("form"),
                                              QStringLiteral("admin")));
        QVERIFY(keyring.storeInternetPassword(QStringLiteral("localhost"), QStringLiteral("form"),
                                              QStringLiteral("dev")));
        QVERIFY(keyring.storeInternetPassword(QStringLiteral("o'neil.example.org"), QStringLiteral("form"),
                                              QStringLiteral("q")));
        QVERIFY(keyring.storeInternetPassword(QStringLiteral("files.corp.test"), QStringLiteral("ntlm"),
                                              QStringLiteral("carol")));
        QVERIFY(keyring.storeOtherPassword(QStringLiteral("Wi-Fi")));

        const auto accounts = WorkerExtras::allAccounts();
        QVERIFY(accounts);
        QCOMPARE(accounts->size(), 7);
        bool sawFileServer = false;
        for (const QVariantMap& account : *accounts) {
            QVERIFY(account.contains(QStringLiteral("srvr")));
            QVERIFY(account.value(QStringLiteral("cdat")).toDateTime().isValid());
            QVERIFY(!account.contains(QStringLiteral("svce")));
            if (account.value(QStringLiteral("srvr")) == QStringLiteral("files.corp.test")) {
                sawFileServer = true;
                QCOMPARE(account.value(QStringLiteral("atyp")).toString(), QStringLiteral("ntlm"));
                QCOMPARE(account.value(QStringLiteral("acct")).toString(), QStringLiteral("carol"));
                QCOMPARE(account.value(QStringLiteral("labl")).toString(),
                         QStringLiteral("carol@files.corp.test"));
            }
        }
        QVERIFY(sawFileServer);

        const auto sites = WorkerAppDelegate({}).getSmartFavouritesArray();
        QVERIFY(sites);
        QCOMPARE(sorted(*sites), (QStringList{QStringLiteral("example.com"), QStringLiteral("example.org"),
                                              QStringLiteral("shop.example.xy")}));
        QVERIFY(!WorkerExtras::accountsForService(QStringLiteral("no such service")));
    }

    void lockedKeyringLeavesTheFavouritesUnknown()
    {
        Sandbox sandbox;
        TestKeyring keyring(sandbox);
        QVERIFY(keyring.isRunning());
        QVERIFY(keyring.storeInternetPassword(QStringLiteral("www.example.com"), QStringLiteral("form"),
                                              QStringLiteral("alice")));
        QVERIFY(keyring.lockLoginCollection());
        KeychainError error;
        QVERIFY(!WorkerExtras::allAccounts(&error));
        QCOMPARE(error.code, int(Keychain::Status::interactionNotAllowed));
        QVERIFY(!WorkerAppDelegate({}).getSmartFavouritesArray());
    }
};

QTEST_GUILESS_MAIN(KeychainTest)
#include "KeychainTest.moc"
