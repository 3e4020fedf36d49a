#include "Sandbox.h"
#include "worker/WorkerAppDelegate.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTest>

namespace {

const KeepList keepExample{{QStringLiteral("example.com")}, false};
const QString sharedObjects = QStringLiteral("Library/Preferences/Macromedia/Flash Player/#SharedObjects/");
const QString settings =
    QStringLiteral("Library/Preferences/Macromedia/Flash Player/macromedia.com/support/flashplayer/sys/");
const QString silverlight = QStringLiteral("Library/Application Support/Microsoft/Silverlight");

bool store(const Sandbox& sandbox, const QString& container, const QString& name, const QByteArray& id,
           const QByteArray& group)
{
    const QString at = silverlight + QStringLiteral("/is/") + container + QStringLiteral("/s/") + name;
    return sandbox.writeFile(at + QStringLiteral("/id.dat"), id) &&
           sandbox.writeFile(at + QStringLiteral("/group.dat"), group) &&
           sandbox.writeFile(silverlight + QStringLiteral("/is/") + container + QStringLiteral("/g/") +
                                 QString::fromUtf8(group) + QStringLiteral("/data"),
                             "x");
}

} // namespace

class FlashSilverlightTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void flashCountsEachNameOnce()
    {
        Sandbox sandbox;
        for (const QString& entry :
             {sharedObjects + QStringLiteral("R1/other.com/a.sol"),
              sharedObjects + QStringLiteral("R2/other.com/b.sol"),
              sharedObjects + QStringLiteral("R1/www.example.com/c.sol"),
              sharedObjects + QStringLiteral("R1/.hidden/d"), sharedObjects + QStringLiteral("R1/^abc/e.sol"),
              settings + QStringLiteral("#other.com/settings.sol"), settings + QStringLiteral("settings.sol"),
              settings + QStringLiteral("plain/x"), settings + QStringLiteral("##local/.third.org/x"),
              settings + QStringLiteral("#example.com/settings.sol")})
            QVERIFY(sandbox.writeFile(entry, "x"));
        QVERIFY(sandbox.writeFile(sharedObjects + QStringLiteral("afile"), "a file where a folder belongs"));
        WorkerAppDelegate worker({});
        // other.com (three places), ^abc, .third.org
        QCOMPARE(worker.removeFlash(QStringLiteral("Safari"), keepExample), 3);
        for (const QString& gone :
             {sharedObjects + QStringLiteral("R1/other.com"), sharedObjects + QStringLiteral("R2/other.com"),
              sharedObjects + QStringLiteral("R1/^abc"), settings + QStringLiteral("#other.com"),
              settings + QStringLiteral("##local/.third.org")})
            QVERIFY2(!QFileInfo::exists(sandbox.homePath(gone)), qPrintable(gone));
        for (const QString& kept :
             {sharedObjects + QStringLiteral("R1/www.example.com"),
              sharedObjects + QStringLiteral("R1/.hidden"), settings + QStringLiteral("settings.sol"),
              settings + QStringLiteral("plain/x"), settings + QStringLiteral("#example.com"),
              sharedObjects + QStringLiteral("afile")})
            QVERIFY2(QFileInfo::exists(sandbox.homePath(kept)), qPrintable(kept));
    }

    void chromeProfilesCountPerProfile()
    {
        Sandbox sandbox;
        const QString base = QStringLiteral("Library/Application Support/Google/Chrome/");
        QVERIFY(sandbox.writeFile(
            base + QStringLiteral("Local State"),
            R"({"profile":{"info_cache":{"Default":{"name":"a"},"Profile 1":{"name":"b"}}}})"));
        const QString flash = QStringLiteral("/Pepper Data/Shockwave Flash/WritableRoot/#SharedObjects/R/");
        for (const QString& profile : {QStringLiteral("Default"), QStringLiteral("Profile 1")}) {
            QVERIFY(sandbox.writeFile(base + profile + flash + QStringLiteral("other.com/x.sol"), "x"));
            QVERIFY(sandbox.writeFile(base + profile + flash + QStringLiteral("example.com/x.sol"), "x"));
        }
        QVERIFY(
            sandbox.writeFile(base + QStringLiteral("Default") + flash +
                                  QStringLiteral("macromedia.com/support/flashplayer/sys/#third.org/s.sol"),
                              "x"));
        QVERIFY(sandbox.writeFile(sharedObjects + QStringLiteral("R/other.com/x.sol"), "x"));

        const auto counts = WorkerAppDelegate::clearChromeFlash(QStringLiteral("Google Chrome"), keepExample);
        QVERIFY(counts);
        QCOMPARE(*counts, (QList<qint64>{5, 3}));
        QVERIFY(!WorkerAppDelegate::clearChromeFlash(QStringLiteral("Opera"), keepExample));
        QVERIFY(sandbox.writeFile(
            base + QStringLiteral("Default") + flash + QStringLiteral("other.com/x.sol"), "x"));
        QVERIFY(sandbox.writeFile(
            base + QStringLiteral("Profile 1") + flash + QStringLiteral("other.com/x.sol"), "x"));
        WorkerAppDelegate worker({});
        // One system-wide, one per profile.
        QCOMPARE(worker.removeFlash(QStringLiteral("Google Chrome"), keepExample), 3);
        QVERIFY(QFileInfo::exists(
            sandbox.homePath(base + QStringLiteral("Default") + flash + QStringLiteral("example.com"))));
        QVERIFY(!QFileInfo::exists(
            sandbox.homePath(base + QStringLiteral("Profile 1") + flash + QStringLiteral("other.com"))));
    }

    void nothingSelectedWhenFavouritesUnknown()
    {
        Sandbox sandbox;
        QVERIFY(sandbox.writeFile(sharedObjects + QStringLiteral("R/other.com/x.sol"), "x"));
        QVERIFY(store(sandbox, QStringLiteral("a/b/c"), QStringLiteral("s1"), "other.com", "g1"));
        WorkerAppDelegate worker({});
        const KeepList unknown{{}, true};
        QCOMPARE(worker.removeFlash(QStringLiteral("Safari"), unknown), 0);
        QCOMPARE(worker.removeSilverlight(unknown), 0);
        QVERIFY(QFileInfo::exists(sandbox.homePath(sharedObjects + QStringLiteral("R/other.com/x.sol"))));
        QVERIFY(QFileInfo::exists(sandbox.homePath(silverlight + QStringLiteral("/is/a/b/c/s/s1/id.dat"))));
    }

    void silverlightKeepsProtectedStoresAndTheirFolder()
    {
        Sandbox sandbox;
        QVERIFY(store(sandbox, QStringLiteral("a/b/c"), QStringLiteral("s1"), "other.com", "g1"));
        QVERIFY(store(sandbox, QStringLiteral("a/b/c"), QStringLiteral("s2"), "www.other.com", "g2"));
        QVERIFY(store(sandbox, QStringLiteral("a/b/d"), QStringLiteral("s3"), "example.com", "g3"));
        QVERIFY(store(sandbox, QStringLiteral("a/b/d"), QStringLiteral("noId"), "", "g4"));
        QVERIFY(store(sandbox, QStringLiteral("a/b/d"), QStringLiteral("escape"), "third.org",
                      "../../../../../../../Documents"));
        QVERIFY(sandbox.writeFile(QStringLiteral("Documents/data"), "mine"));
        WorkerAppDelegate worker({});
        QCOMPARE(worker.removeSilverlight(keepExample), 2); // other.com (twice) and third.org
        const QString is = silverlight + QStringLiteral("/is/a/b/");
        QVERIFY(!QFileInfo::exists(sandbox.homePath(is + QStringLiteral("c/s/s1"))));
        QVERIFY(!QFileInfo::exists(sandbox.homePath(is + QStringLiteral("c/g/g1"))));
        QVERIFY(!QFileInfo::exists(sandbox.homePath(is + QStringLiteral("c/s/s2"))));
        QVERIFY(!QFileInfo::exists(sandbox.homePath(is + QStringLiteral("d/s/escape"))));
        QVERIFY(QFileInfo::exists(sandbox.homePath(is + QStringLiteral("d/s/s3/id.dat"))));
        QVERIFY(QFileInfo::exists(sandbox.homePath(is + QStringLiteral("d/g/g3/data"))));
        QVERIFY(QFileInfo::exists(sandbox.homePath(is + QStringLiteral("d/s/noId/id.dat"))));
        QVERIFY(QFileInfo::exists(sandbox.homePath(QStringLiteral("Documents/data"))));
    }

    void silverlightFinishesWhatAKilledPassLeft()
    {
        Sandbox sandbox;
        const QString c = silverlight + QStringLiteral("/is/a/b/c/");
        const QString d = silverlight + QStringLiteral("/is/a/b/d/");
        // A group that a kept store names too stays with it.
        QVERIFY(store(sandbox, QStringLiteral("a/b/c"), QStringLiteral("s1"), "other.com", "shared"));
        QVERIFY(store(sandbox, QStringLiteral("a/b/c"), QStringLiteral("kept"), "example.com", "shared"));
        // Cut short: only its id.dat left, then nothing at all; and a group whose store is gone.
        QVERIFY(sandbox.writeFile(c + QStringLiteral("s/cut/id.dat"), "gone.test"));
        QVERIFY(QDir().mkpath(sandbox.homePath(c + QStringLiteral("s/empty"))));
        QVERIFY(sandbox.writeFile(c + QStringLiteral("g/orphan/data"), "x"));
        // Beside a kept store without group.dat, no group is known to be unnamed.
        QVERIFY(store(sandbox, QStringLiteral("a/b/d"), QStringLiteral("kept"), "example.com", "g"));
        QVERIFY(QFile::remove(sandbox.homePath(d + QStringLiteral("s/kept/group.dat"))));
        QVERIFY(sandbox.writeFile(d + QStringLiteral("g/unknown/data"), "x"));
        // A whole-folder removal that was killed.
        QVERIFY(sandbox.writeFile(silverlight + QStringLiteral(".veltrane-removed/is/x"), "x"));

        WorkerAppDelegate worker({});
        QCOMPARE(worker.removeSilverlight(keepExample), 2); // other.com and gone.test
        QVERIFY(!QFileInfo::exists(sandbox.homePath(c + QStringLiteral("s/s1"))));
        QVERIFY(QFileInfo::exists(sandbox.homePath(c + QStringLiteral("g/shared/data"))));
        QVERIFY(QFileInfo::exists(sandbox.homePath(c + QStringLiteral("s/kept/id.dat"))));
        QVERIFY(!QFileInfo::exists(sandbox.homePath(c + QStringLiteral("s/cut"))));
        QVERIFY(!QFileInfo::exists(sandbox.homePath(c + QStringLiteral("s/empty"))));
        QVERIFY(!QFileInfo::exists(sandbox.homePath(c + QStringLiteral("g/orphan"))));
        QVERIFY(QFileInfo::exists(sandbox.homePath(d + QStringLiteral("g/unknown/data"))));
        QVERIFY(QFileInfo::exists(sandbox.homePath(d + QStringLiteral("s/kept/id.dat"))));
        QVERIFY(!QFileInfo::exists(sandbox.homePath(silverlight + QStringLiteral(".veltrane-removed"))));
    }

    void silverlightFolderGoesWhenNoStoreIsLeft()
    {
        Sandbox sandbox;
        QVERIFY(store(sandbox, QStringLiteral("a/b/c"), QStringLiteral("s1"), "other.com", "g1"));
        QVERIFY(sandbox.writeFile(silverlight + QStringLiteral("/is/a/b/d/s/.hidden"), "x"));
        WorkerAppDelegate worker({});
        QCOMPARE(worker.removeSilverlight(KeepList()), 1);
        QVERIFY(QFileInfo::exists(sandbox.homePath(silverlight))); // the hidden entry is a store left
        QVERIFY(QFile::remove(sandbox.homePath(silverlight + QStringLiteral("/is/a/b/d/s/.hidden"))));
        QVERIFY(store(sandbox, QStringLiteral("a/b/c"), QStringLiteral("s1"), "other.com", "g1"));
        QCOMPARE(worker.removeSilverlight(KeepList()), 1);
        QVERIFY(!QFileInfo::exists(sandbox.homePath(silverlight)));
    }
};

QTEST_GUILESS_MAIN(FlashSilverlightTest)
#include "FlashSilverlightTest.moc"
