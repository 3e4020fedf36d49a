#include "app/StartAtLoginController.h"
#include "DesktopEntry.h"
#include "FakeBundle.h"
#include "Sandbox.h"
#include "platform/LoginItems.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryFile>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString helperId = QStringLiteral("com.orvando.VeltraneHelper");

// The autostart folders of one sandbox: the user's and two system folders.
class AutostartFolders
{
public:
    explicit AutostartFolders(const Sandbox& sandbox)
        : user(sandbox.homePath(QStringLiteral("config/autostart"))),
          system({sandbox.rootPath(QStringLiteral("etc/xdg/autostart")),
                  sandbox.rootPath(QStringLiteral("usr/share/xdg/autostart"))})
    {
        qputenv("XDG_CONFIG_HOME", sandbox.homePath(QStringLiteral("config")).toLocal8Bit());
        qputenv("XDG_CONFIG_DIRS", (sandbox.rootPath(QStringLiteral("etc/xdg")) + QLatin1Char(':') +
                                    sandbox.rootPath(QStringLiteral("usr/share/xdg")))
                                       .toLocal8Bit());
    }
    ~AutostartFolders()
    {
        qunsetenv("XDG_CONFIG_HOME");
        qunsetenv("XDG_CONFIG_DIRS");
    }
    [[nodiscard]] QString entry() const
    {
        return user + QLatin1Char('/') + helperId + QStringLiteral(".desktop");
    }

    static bool write(const QString& folder, const QString& name, const QByteArray& text)
    {
        QDir().mkpath(folder);
        QFile file(folder + QLatin1Char('/') + name);
        return file.open(QIODevice::WriteOnly) && file.write(text) == text.size();
    }

    const QString user;
    const QStringList system;
};

QString helperBundle(const QString& folder)
{
    return FakeBundle::make(folder, QStringLiteral("VeltraneHelper.app"),
                            {helperId, QStringLiteral("VeltraneHelper")});
}

// What the process wrote to standard error while `action` ran.
template <typename Action> QByteArray standardErrorOf(Action action)
{
    QTemporaryFile capture;
    if (!capture.open())
        return {};
    const int saved = dup(STDERR_FILENO);
    dup2(capture.handle(), STDERR_FILENO);
    action();
    dup2(saved, STDERR_FILENO);
    close(saved);
    capture.seek(0);
    return capture.readAll();
}

} // namespace

class StartAtLoginControllerTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void registersAnEntryWhoseExecStartsTheHelper()
    {
        Sandbox sandbox;
        AutostartFolders folders(sandbox);
        // Every character the Exec quoting rules treat specially, in the bundle's path.
        const QString awkward = sandbox.rootPath(QStringLiteral("My \"Apps\" $HOME `x` 100% back\\slash"));
        const QString bundle = helperBundle(awkward);
        QVERIFY(!bundle.isEmpty());

        StartAtLoginController controller;
        controller.setBundle(bundle);
        QCOMPARE(controller.identifier(), helperId);
        QSignalSpy enabledSpy(&controller, &StartAtLoginController::enabledChanged);
        QSignalSpy startSpy(&controller, &StartAtLoginController::startAtLoginChanged);
        QList<QString> order;
        connect(&controller, &StartAtLoginController::enabledChanged, this,
                [&] { order.append(QStringLiteral("enabled")); });
        connect(&controller, &StartAtLoginController::startAtLoginChanged, this,
                [&] { order.append(QStringLiteral("start")); });

        controller.setStartAtLogin(true);
        QVERIFY(controller.enabled());
        QCOMPARE(order, (QList<QString>{QStringLiteral("enabled"), QStringLiteral("start")}));
        const auto keys = DesktopEntry::read(folders.entry());
        QCOMPARE(keys.value(QStringLiteral("Type")), QStringLiteral("Application"));
        QCOMPARE(keys.value(QStringLiteral("X-GNOME-Autostart-enabled")), QStringLiteral("true"));
        QCOMPARE(keys.value(QStringLiteral("NoDisplay")), QStringLiteral("true"));
        QVERIFY(!keys.value(QStringLiteral("Name")).isEmpty());
        const QStringList exec = DesktopEntry::execArguments(keys.value(QStringLiteral("Exec")));
        QCOMPARE(exec, QStringList{bundle + QStringLiteral("/Contents/MacOS/FakeApp")});
        if (const QString validator = QStandardPaths::findExecutable(QStringLiteral("desktop-file-validate"));
            !validator.isEmpty())
            QCOMPARE(QProcess::execute(validator, {folders.entry()}), 0);

        // The entry starts the helper, with no arguments.
        const QString reports = sandbox.rootPath(QStringLiteral("reports"));
        QDir().mkpath(reports);
        QProcess started;
        QProcessEnvironment environment = sandbox.environment();
        environment.insert(QStringLiteral("FAKE_APP_REPORT_DIR"), reports);
        started.setProcessEnvironment(environment);
        started.start(exec.first(), exec.mid(1));
        QVERIFY(QTest::qWaitFor([&] { return FakeBundle::reports(reports).size() == 1; }, 5000));
        QCOMPARE(FakeBundle::reports(reports).first(), QStringList());
        started.kill();
        started.waitForFinished();

        // The state is read back from the folders; unchanged, nothing more is announced.
        const auto announced = enabledSpy.count();
        QVERIFY(controller.startAtLogin());
        QCOMPARE(enabledSpy.count(), announced);

        // Announced on every call, changed or not; unregistering removes the file only.
        controller.setEnabled(false);
        QVERIFY(!controller.enabled());
        QVERIFY(!QFileInfo::exists(folders.entry()));
        controller.setEnabled(false);
        QCOMPARE(startSpy.count(), 3);
        QCOMPARE(enabledSpy.count(), 3);
        QVERIFY(QFileInfo::exists(bundle));
    }

    void aMovedBundleIsRegisteredAtItsNewPlace()
    {
        Sandbox sandbox;
        AutostartFolders folders(sandbox);
        StartAtLoginController controller;
        controller.setBundle(helperBundle(sandbox.rootPath(QStringLiteral("old"))));
        controller.setStartAtLogin(true);
        QVERIFY(
            QDir().rename(sandbox.rootPath(QStringLiteral("old")), sandbox.rootPath(QStringLiteral("new"))));
        controller.setBundle(sandbox.rootPath(QStringLiteral("new/VeltraneHelper.app")));
        controller.setStartAtLogin(true);
        QCOMPARE(
            DesktopEntry::execArguments(DesktopEntry::read(folders.entry()).value(QStringLiteral("Exec"))),
            QStringList{sandbox.rootPath(QStringLiteral("new/VeltraneHelper.app/Contents/MacOS/FakeApp"))});
    }

    void failuresAreReportedAndTouchNothingElse()
    {
        Sandbox sandbox;
        AutostartFolders folders(sandbox);
        const QString bundle = helperBundle(sandbox.rootPath(QStringLiteral("apps")));
        StartAtLoginController controller;
        controller.setBundle(bundle);

        // A folder in the entry's place stays, with what it holds.
        QVERIFY(QDir().mkpath(folders.entry()));
        QVERIFY(AutostartFolders::write(folders.entry(), QStringLiteral("keep"), "mine"));
        controller.setStartAtLogin(true);
        QVERIFY(!controller.enabled());
        controller.setStartAtLogin(false);
        QVERIFY(QFileInfo::exists(folders.entry() + QStringLiteral("/keep")));
        QVERIFY(QDir(folders.entry()).removeRecursively());

        // A link in its place is neither followed nor removed.
        const QString target = sandbox.rootPath(QStringLiteral("target.desktop"));
        QVERIFY(AutostartFolders::write(sandbox.root(), QStringLiteral("target.desktop"),
                                        "[Desktop Entry]\nName=x\n"));
        QVERIFY(QFile::link(target, folders.entry()));
        controller.setStartAtLogin(true);
        QVERIFY(!controller.enabled());
        controller.setStartAtLogin(false);
        QVERIFY(QFileInfo(folders.entry()).isSymLink());
        QCOMPARE(QFile(target).size(), qint64(23));
        QVERIFY(QFile::remove(folders.entry()));

        // The autostart folder itself a link elsewhere: nothing is written through it.
        QVERIFY(QDir(folders.user).removeRecursively());
        const QString elsewhere = sandbox.rootPath(QStringLiteral("elsewhere"));
        QVERIFY(QDir().mkpath(elsewhere));
        QVERIFY(QFile::link(elsewhere, folders.user));
        controller.setStartAtLogin(true);
        QVERIFY(!controller.enabled());
        QVERIFY(QDir(elsewhere).isEmpty());
        QVERIFY(QFile::remove(folders.user));

        // A bundle without a program, or an unbound controller: nothing is written, nothing announced.
        StartAtLoginController unbound;
        QSignalSpy unboundSpy(&unbound, &StartAtLoginController::enabledChanged);
        unbound.setStartAtLogin(true);
        QCOMPARE(unboundSpy.count(), 0);
        QVERIFY(!unbound.startAtLogin());
        StartAtLoginController noProgram;
        QVERIFY(QDir().mkpath(sandbox.rootPath(QStringLiteral("empty.app/Contents"))));
        QVERIFY(AutostartFolders::write(
            sandbox.rootPath(QStringLiteral("empty.app/Contents")), QStringLiteral("Info.plist"),
            "<plist><dict><key>CFBundleIdentifier</key><string>x.y</string></dict></plist>"));
        noProgram.setBundle(sandbox.rootPath(QStringLiteral("empty.app")));
        noProgram.setStartAtLogin(true);
        QVERIFY(!noProgram.enabled());
        QVERIFY(!QFileInfo::exists(folders.user + QStringLiteral("/x.y.desktop")));

        // A folder that cannot be written to (root writes anyway, so only checked for other users).
        if (geteuid() != 0) {
            QVERIFY(QDir().mkpath(folders.user));
            QVERIFY(QFile::setPermissions(folders.user, QFile::ReadOwner | QFile::ExeOwner));
            controller.setStartAtLogin(true);
            QVERIFY(!controller.enabled());
            QVERIFY(QDir(folders.user).isEmpty());
            QVERIFY(
                QFile::setPermissions(folders.user, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
            QVERIFY(QDir(folders.user).removeRecursively());
        }

        // A missing folder is made.
        controller.setStartAtLogin(true);
        QVERIFY(controller.enabled());
        QVERIFY(QFileInfo(folders.entry()).isFile());
    }

    void theStateIsReadBackAsTheDesktopSeesIt()
    {
        Sandbox sandbox;
        AutostartFolders folders(sandbox);
        StartAtLoginController controller;
        controller.setBundle(helperBundle(sandbox.rootPath(QStringLiteral("apps"))));
        const QString name = helperId + QStringLiteral(".desktop");
        const QByteArray enabledEntry = "[Desktop Entry]\nType=Application\nExec=true\n";

        // A system entry counts; the first system folder hides the second.
        QVERIFY(AutostartFolders::write(folders.system[1], name, enabledEntry));
        QVERIFY(controller.startAtLogin());
        QVERIFY(AutostartFolders::write(folders.system[0], name, enabledEntry + "Hidden=true\n"));
        QVERIFY(!controller.startAtLogin());
        // The user's entry overrides both, and can be switched off the GNOME way.
        QVERIFY(AutostartFolders::write(folders.user, name, enabledEntry));
        QVERIFY(controller.startAtLogin());
        QVERIFY(
            AutostartFolders::write(folders.user, name, enabledEntry + "X-GNOME-Autostart-enabled=false\n"));
        QVERIFY(!controller.startAtLogin());
        // Keys of another group do not count; a file that is not an entry is not enabled.
        QVERIFY(
            AutostartFolders::write(folders.user, name, enabledEntry + "[Desktop Action x]\nHidden=true\n"));
        QVERIFY(controller.startAtLogin());
        QVERIFY(AutostartFolders::write(folders.user, name, "Hidden=false\n"));
        QVERIFY(!controller.startAtLogin());

        // A FIFO among the entries is never waited on.
        QCOMPARE(
            mkfifo(QFile::encodeName(folders.user + QStringLiteral("/a.fifo.desktop")).constData(), 0644), 0);
        const QList<LoginItems::Job> jobs = LoginItems::jobs();
        QCOMPARE(jobs.first().label, QStringLiteral("a.fifo"));
        QVERIFY(!jobs.first().onDemand);
    }

    void theBundleInitialiserLogsTheState()
    {
        Sandbox sandbox;
        AutostartFolders folders(sandbox);
        const QString bundle = helperBundle(sandbox.rootPath(QStringLiteral("apps")));
        const QByteArray notRegistered = standardErrorOf([&] { StartAtLoginController controller(bundle); });
        QVERIFY2(notRegistered.contains(
                     "Launcher 'com.orvando.VeltraneHelper' is not configured to start at login"),
                 notRegistered.constData());
        QVERIFY(LoginItems::setEnabled(helperId, bundle, true));
        bool enabled = false;
        const QByteArray registered =
            standardErrorOf([&] { enabled = StartAtLoginController(bundle).enabled(); });
        QVERIFY(enabled);
        QVERIFY2(registered.contains("Launcher 'com.orvando.VeltraneHelper' is configured to start at login"),
                 registered.constData());
    }
};

QTEST_GUILESS_MAIN(StartAtLoginControllerTest)
#include "StartAtLoginControllerTest.moc"
