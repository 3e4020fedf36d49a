#include "Sandbox.h"
#include "worker/WorkerAppDelegate.h"

#include <QDir>
#include <QFile>
#include <QTest>

#include <sys/stat.h>

class ProfilesTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void readsNamedProfilesFromLocalState()
    {
        Sandbox sandbox;
        QVERIFY(sandbox.writeFile(QStringLiteral("Library/Application Support/Google/Chrome/Local State"),
                                  R"({"profile":{"info_cache":{
                                      "Default":{"name":"Person 1"},
                                      "Profile 1":{"name":"Work"},
                                      "Profile 2":{"avatar":"x"},
                                      "Profile 3":"not an object",
                                      "../../Elsewhere":{"name":"escape"}}}})"));
        const auto profiles = WorkerAppDelegate::userProfiles(QStringLiteral("Google Chrome"));
        QCOMPARE(profiles.keys(), (QStringList{QStringLiteral("Default"), QStringLiteral("Profile 1")}));
        QCOMPARE(profiles.value(QStringLiteral("Profile 1")), QStringLiteral("Work"));
        // Chromium reads its own Local State, which does not exist here.
        QVERIFY(WorkerAppDelegate::userProfiles(QStringLiteral("Chromium")).isEmpty());
    }

    void unreadableLocalStateGivesNoProfiles_data()
    {
        QTest::addColumn<QByteArray>("contents");
        QTest::newRow("not json") << QByteArray("{\"profile\": ");
        QTest::newRow("not utf-8") << QByteArray(
            "{\"profile\":{\"info_cache\":{\"\xff\xfe\":{\"name\":\"x\"}}}}");
        QTest::newRow("array at top") << QByteArray("[1,2]");
        QTest::newRow("no info_cache") << QByteArray(R"({"profile":{}})");
        QTest::newRow("info_cache array") << QByteArray(R"({"profile":{"info_cache":[{"name":"x"}]}})");
        QTest::newRow("empty file") << QByteArray();
    }

    void unreadableLocalStateGivesNoProfiles()
    {
        QFETCH(QByteArray, contents);
        Sandbox sandbox;
        QVERIFY(
            sandbox.writeFile(QStringLiteral("Library/Application Support/Chromium/Local State"), contents));
        QVERIFY(WorkerAppDelegate::userProfiles(QStringLiteral("Chromium")).isEmpty());
    }

    void localStateThatIsNoFileGivesNoProfiles()
    {
        Sandbox sandbox;
        const QString folder = sandbox.homePath(QStringLiteral("Library/Application Support/Chromium"));
        QVERIFY(QDir().mkpath(folder + QStringLiteral("/Local State")));
        QVERIFY(WorkerAppDelegate::userProfiles(QStringLiteral("Chromium")).isEmpty());
        const QString chrome = sandbox.homePath(QStringLiteral("Library/Application Support/Google/Chrome"));
        QVERIFY(QDir().mkpath(chrome));
        QCOMPARE(mkfifo(QFile::encodeName(chrome + QStringLiteral("/Local State")).constData(), 0600), 0);
        QVERIFY(WorkerAppDelegate::userProfiles(QStringLiteral("Google Chrome")).isEmpty());
    }

    void otherBrowsersUseOneProfileWithAnEmptyKey()
    {
        Sandbox sandbox;
        const auto map = WorkerAppDelegate::profileMap(QStringLiteral("Opera"));
        QCOMPARE(map.size(), 1);
        QCOMPARE(map.firstKey(), QString());
    }

    void firefoxWalkYieldsFoldersOnly()
    {
        Sandbox sandbox;
        const QString profiles =
            sandbox.homePath(QStringLiteral("Library/Application Support/Firefox/Profiles"));
        QVERIFY(QDir().mkpath(profiles + QStringLiteral("/abc.default")));
        QVERIFY(QDir().mkpath(profiles + QStringLiteral("/.hidden")));
        QVERIFY(QDir().mkpath(sandbox.homePath(QStringLiteral("elsewhere"))));
        QVERIFY(
            QFile::link(sandbox.homePath(QStringLiteral("elsewhere")), profiles + QStringLiteral("/linked")));
        QVERIFY(sandbox.writeFile(QStringLiteral("Library/Application Support/Firefox/Profiles/profiles.ini"),
                                  "x"));

        QStringList found = WorkerAppDelegate::firefoxProfileFolders();
        found.sort();
        QCOMPARE(found, (QStringList{profiles + QStringLiteral("/.hidden"),
                                     profiles + QStringLiteral("/abc.default")}));
    }

    void missingFirefoxFolderYieldsNothing()
    {
        Sandbox sandbox;
        QVERIFY(WorkerAppDelegate::firefoxProfileFolders().isEmpty());
    }
};

QTEST_GUILESS_MAIN(ProfilesTest)
#include "ProfilesTest.moc"
