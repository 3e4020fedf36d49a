#include "platform/HttpCookieStorage.h"
#include "CookieStores.h"
#include "Sandbox.h"

#include <QDir>
#include <QFile>
#include <QTest>

#include <sys/stat.h>

using CookieStores::Cookie;

namespace {

const QString jarPath = QStringLiteral("Library/Cookies/Cookies.binarycookies");

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QStringList namesIn(const QList<HttpCookie>& cookies)
{
    QStringList names;
    for (const HttpCookie& cookie : cookies)
        names.append(cookie.domain + QLatin1Char('|') + cookie.name);
    return names;
}

const QList<Cookie> fiveCookies{{QStringLiteral(".example.com"), QStringLiteral("session"), 1},
                                {QStringLiteral(".tracker.test"), QStringLiteral("UID"), 2},
                                {QStringLiteral("www.other.org"), QStringLiteral("pref"), 3},
                                {QStringLiteral(".example.com"), QStringLiteral("SIDCC"), 4},
                                {QStringLiteral("ads.test"), QStringLiteral("x"), 5}};

} // namespace

class HttpCookieStorageTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void listsEveryCookieOfEveryPage()
    {
        Sandbox sandbox;
        QVERIFY(sandbox.writeFile(jarPath, CookieStores::binaryCookies(fiveCookies)));
        const auto cookies = HttpCookieStorage(sandbox.homePath(jarPath)).cookies();
        QCOMPARE(namesIn(cookies),
                 (QStringList{QStringLiteral(".example.com|session"), QStringLiteral(".tracker.test|UID"),
                              QStringLiteral("www.other.org|pref"), QStringLiteral(".example.com|SIDCC"),
                              QStringLiteral("ads.test|x")}));
        QCOMPARE(cookies.first().path, QStringLiteral("/"));
    }

    void deletingRewritesTheFileWithoutThoseCookies()
    {
        Sandbox sandbox;
        QVERIFY(sandbox.writeFile(jarPath, CookieStores::binaryCookies(fiveCookies)));
        const HttpCookieStorage storage(sandbox.homePath(jarPath));
        const auto cookies = storage.cookies();
        // The whole second page and one cookie of the third go.
        QVERIFY(storage.deleteCookies({cookies.at(2), cookies.at(3), cookies.at(4)}));
        const QByteArray expected = CookieStores::binaryCookies(fiveCookies.mid(0, 2));
        QCOMPARE(readAll(sandbox.homePath(jarPath)), expected);
        QCOMPARE(storage.cookies(), cookies.mid(0, 2));
        // Nothing is left behind in the folder.
        QCOMPARE(QDir(sandbox.homePath(QStringLiteral("Library/Cookies"))).entryList(QDir::Files),
                 QStringList{QStringLiteral("Cookies.binarycookies")});

        QVERIFY(storage.deleteCookies(storage.cookies()));
        QVERIFY(storage.cookies().isEmpty());
        QCOMPARE(readAll(sandbox.homePath(jarPath)), CookieStores::binaryCookies({}));
    }

    void stagingFileOfAKilledRewriteIsRemoved()
    {
        // A rewrite killed after its new file got the staging name: the next one removes that copy,
        // keeps the mode of the jar, and works on the jar that is still in place.
        Sandbox sandbox;
        QVERIFY(sandbox.writeFile(jarPath, CookieStores::binaryCookies(fiveCookies)));
        QVERIFY(QFile::setPermissions(sandbox.homePath(jarPath), QFile::ReadOwner | QFile::WriteOwner));
        QVERIFY(sandbox.writeFile(jarPath + QStringLiteral(".veltrane-new"),
                                  CookieStores::binaryCookies(fiveCookies.mid(0, 1))));
        const HttpCookieStorage storage(sandbox.homePath(jarPath));
        QVERIFY(storage.deleteCookies({}));
        QVERIFY(!QFile::exists(sandbox.homePath(jarPath + QStringLiteral(".veltrane-new"))));
        QCOMPARE(storage.cookies().size(), fiveCookies.size());

        QVERIFY(sandbox.writeFile(jarPath + QStringLiteral(".veltrane-new"), "partial"));
        QVERIFY(storage.deleteCookies({storage.cookies().first()}));
        QCOMPARE(QDir(sandbox.homePath(QStringLiteral("Library/Cookies"))).entryList(QDir::Files),
                 QStringList{QStringLiteral("Cookies.binarycookies")});
        QCOMPARE(storage.cookies().size(), fiveCookies.size() - 1);
        QCOMPARE(QFile::permissions(sandbox.homePath(jarPath)),
                 QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser);
    }

    void aCookieHandedInTwiceTakesOneRecord()
    {
        Sandbox sandbox;
        const QList<Cookie> twins{fiveCookies.at(0), fiveCookies.at(0), fiveCookies.at(2)};
        QVERIFY(sandbox.writeFile(jarPath, CookieStores::binaryCookies(twins, 3)));
        const HttpCookieStorage storage(sandbox.homePath(jarPath));
        QVERIFY(storage.deleteCookies({storage.cookies().first()}));
        QCOMPARE(namesIn(storage.cookies()),
                 (QStringList{QStringLiteral(".example.com|session"), QStringLiteral("www.other.org|pref")}));
    }

    void damagedFilesListNothingAndStayAsTheyAre_data()
    {
        QTest::addColumn<QByteArray>("contents");
        const QByteArray good = CookieStores::binaryCookies(fiveCookies);
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("truncated in a page") << good.left(good.size() / 2);
        QTest::newRow("no footer") << good.left(good.indexOf(QByteArray::fromHex("07172005")));
        QByteArray magic = good;
        magic[0] = 'C';
        QTest::newRow("wrong magic") << magic;
        QByteArray checksum = good;
        // A byte of the first domain name, which only the checksum covers.
        checksum[8 + 3 * 4 + 20 + 56] = char(checksum[8 + 3 * 4 + 20 + 56] ^ 0x01);
        QTest::newRow("page changed, checksum not") << checksum;
        QByteArray pages = good;
        pages[7] = char(0x7f);
        QTest::newRow("page count too large") << pages;
        QTest::newRow("not a cookie file") << QByteArray(512, 'z');
    }

    void damagedFilesListNothingAndStayAsTheyAre()
    {
        QFETCH(QByteArray, contents);
        Sandbox sandbox;
        QVERIFY(sandbox.writeFile(jarPath, contents));
        const HttpCookieStorage storage(sandbox.homePath(jarPath));
        QVERIFY(storage.cookies().isEmpty());
        HttpCookie any{QStringLiteral("x"), QStringLiteral("y"), QStringLiteral("/"), QByteArray("z")};
        QVERIFY(!storage.deleteCookies({any}));
        QCOMPARE(readAll(sandbox.homePath(jarPath)), contents);
    }

    void linkedFileIsLeftAlone()
    {
        Sandbox sandbox;
        const QByteArray jar = CookieStores::binaryCookies(fiveCookies);
        QVERIFY(sandbox.writeFile(QStringLiteral("elsewhere.binarycookies"), jar));
        QVERIFY(QDir().mkpath(sandbox.homePath(QStringLiteral("Library/Cookies"))));
        QVERIFY(QFile::link(sandbox.homePath(QStringLiteral("elsewhere.binarycookies")),
                            sandbox.homePath(jarPath)));
        const HttpCookieStorage storage(sandbox.homePath(jarPath));
        QVERIFY(storage.cookies().isEmpty());
        QCOMPARE(readAll(sandbox.homePath(QStringLiteral("elsewhere.binarycookies"))), jar);
    }

    void fifoIsNotWaitedOn()
    {
        Sandbox sandbox;
        QVERIFY(QDir().mkpath(sandbox.homePath(QStringLiteral("Library/Cookies"))));
        QCOMPARE(mkfifo(QFile::encodeName(sandbox.homePath(jarPath)).constData(), 0600), 0);
        const HttpCookieStorage storage(sandbox.homePath(jarPath));
        QVERIFY(storage.cookies().isEmpty());
        QVERIFY(!storage.deleteCookies({}));
    }

    void missingFileIsNeverCreated()
    {
        Sandbox sandbox;
        const HttpCookieStorage storage(sandbox.homePath(jarPath));
        QVERIFY(storage.cookies().isEmpty());
        QVERIFY(!storage.deleteCookies({}));
        QVERIFY(!QFile::exists(sandbox.homePath(jarPath)));
    }
};

QTEST_GUILESS_MAIN(HttpCookieStorageTest)
#include "HttpCookieStorageTest.moc"
