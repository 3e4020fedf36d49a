#include "FakeBundle.h"
#include "Sandbox.h"
#include "platform/Workspace.h"

#include <QDir>
#include <QFile>
#include <QTest>

class WorkspaceRegistryTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void findsBundlesInTheApplicationsFolders()
    {
        Sandbox sandbox;
        const QString system = sandbox.rootPath(QStringLiteral("Applications"));
        const QString user = sandbox.homePath(QStringLiteral("Applications"));
        const QString safari =
            FakeBundle::make(system, QStringLiteral("Safari.app"), {QStringLiteral("com.apple.Safari")});
        const QString systemOpera = FakeBundle::make(system, QStringLiteral("Opera Next.app"),
                                                     {QStringLiteral("com.operasoftware.Opera")});
        FakeBundle::make(user, QStringLiteral("Opera.app"), {QStringLiteral("com.operasoftware.Opera")});
        const QString camino =
            FakeBundle::make(user, QStringLiteral("Camino.app"), {QStringLiteral("org.mozilla.camino")});
        // Only bundles directly in the folders count, and only by a readable Info.plist.
        FakeBundle::make(system + QStringLiteral("/Utilities"), QStringLiteral("Nested.app"),
                         {QStringLiteral("test.workspace.Nested")});
        FakeBundle::make(system, QStringLiteral("NotABundle"), {QStringLiteral("test.workspace.NotABundle")});
        const QString broken =
            FakeBundle::make(system, QStringLiteral("Broken.app"), {QStringLiteral("test.workspace.Broken")});
        QFile plist(broken + QStringLiteral("/Contents/Info.plist"));
        QVERIFY(plist.open(QIODevice::WriteOnly | QIODevice::Truncate));
        plist.write("<?xml version=\"1.0\"?><plist><dict><key>CFBundleIdentifier</key>");
        plist.close();

        const auto& workspace = Workspace::sharedWorkspace();
        QCOMPARE(workspace.absolutePathForAppBundleWithIdentifier(QStringLiteral("com.apple.Safari")),
                 safari);
        QCOMPARE(workspace.absolutePathForAppBundleWithIdentifier(QStringLiteral("com.operasoftware.Opera")),
                 systemOpera);
        QCOMPARE(workspace.absolutePathForAppBundleWithIdentifier(QStringLiteral("org.mozilla.camino")),
                 camino);
        QCOMPARE(workspace.absolutePathForAppBundleWithIdentifier(QStringLiteral("com.apple.safari")),
                 QString());
        QCOMPARE(workspace.absolutePathForAppBundleWithIdentifier(QStringLiteral("test.workspace.Nested")),
                 QString());
        QCOMPARE(
            workspace.absolutePathForAppBundleWithIdentifier(QStringLiteral("test.workspace.NotABundle")),
            QString());
        QCOMPARE(workspace.absolutePathForAppBundleWithIdentifier(QStringLiteral("test.workspace.Broken")),
                 QString());
        QCOMPARE(workspace.absolutePathForAppBundleWithIdentifier(QString()), QString());
    }

    void findsBrowsersInstalledAsPrograms()
    {
        Sandbox sandbox;
        const auto& workspace = Workspace::sharedWorkspace();
        QCOMPARE(workspace.absolutePathForAppBundleWithIdentifier(QStringLiteral("org.chromium.Chromium")),
                 QString());
        const QString chromium = sandbox.rootPath(QStringLiteral("usr/lib/chromium/chromium"));
        QVERIFY(FakeBundle::installProgram(chromium));
        QCOMPARE(workspace.absolutePathForAppBundleWithIdentifier(QStringLiteral("org.chromium.Chromium")),
                 chromium);

        // Any of Firefox's places will do; a file that cannot run is no installed browser.
        const QString firefox = sandbox.rootPath(QStringLiteral("opt/firefox/firefox"));
        QVERIFY(FakeBundle::installProgram(firefox));
        const QString firefoxEsr = sandbox.rootPath(QStringLiteral("usr/lib/firefox-esr/firefox-esr"));
        QVERIFY(FakeBundle::installProgram(firefoxEsr));
        QVERIFY(QFile::setPermissions(firefoxEsr, QFile::ReadOwner));
        QCOMPARE(workspace.absolutePathForAppBundleWithIdentifier(QStringLiteral("org.mozilla.firefox")),
                 firefox);
        QVERIFY(QDir().mkpath(sandbox.rootPath(QStringLiteral("opt/google/chrome/chrome"))));
        QCOMPARE(workspace.absolutePathForAppBundleWithIdentifier(QStringLiteral("com.google.Chrome")),
                 QString());

        // A bundle in the Applications folder comes before the program.
        const QString bundle =
            FakeBundle::make(sandbox.rootPath(QStringLiteral("Applications")), QStringLiteral("Chromium.app"),
                             {QStringLiteral("org.chromium.Chromium")});
        QCOMPARE(workspace.absolutePathForAppBundleWithIdentifier(QStringLiteral("org.chromium.Chromium")),
                 bundle);
    }

    void findsBrowsersInstalledWithSnapOrFlatpak()
    {
        Sandbox sandbox;
        const auto& workspace = Workspace::sharedWorkspace();
        // The launchers Snap and Flatpak export, system-wide and for the user alone.
        const QString snap = sandbox.rootPath(QStringLiteral("snap/bin/firefox"));
        QVERIFY(FakeBundle::installProgram(snap));
        QCOMPARE(workspace.absolutePathForAppBundleWithIdentifier(QStringLiteral("org.mozilla.firefox")),
                 snap);
        const QString flatpak =
            sandbox.rootPath(QStringLiteral("var/lib/flatpak/exports/bin/org.chromium.Chromium"));
        QVERIFY(FakeBundle::installProgram(flatpak));
        QCOMPARE(workspace.absolutePathForAppBundleWithIdentifier(QStringLiteral("org.chromium.Chromium")),
                 flatpak);
        const QString userFlatpak =
            sandbox.homePath(QStringLiteral(".local/share/flatpak/exports/bin/com.google.Chrome"));
        QVERIFY(FakeBundle::installProgram(userFlatpak));
        QCOMPARE(workspace.absolutePathForAppBundleWithIdentifier(QStringLiteral("com.google.Chrome")),
                 userFlatpak);
        // A Snap revision's program alone is not looked for: its launcher is.
        QVERIFY(FakeBundle::installProgram(
            sandbox.rootPath(QStringLiteral("snap/chromium/2841/usr/lib/chromium-browser/chrome"))));
        QVERIFY(QFile::remove(flatpak));
        QCOMPARE(workspace.absolutePathForAppBundleWithIdentifier(QStringLiteral("org.chromium.Chromium")),
                 QString());
    }
};

QTEST_GUILESS_MAIN(WorkspaceRegistryTest)
#include "WorkspaceRegistryTest.moc"
