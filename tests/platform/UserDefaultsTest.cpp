#include "platform/UserDefaults.h"
#include "Sandbox.h"
#include "platform/Preferences.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>

#include <unistd.h>

namespace {
const QString domain = QStringLiteral("com.orvando.Veltrane");

UserDefaults& attached()
{
    auto& defaults = UserDefaults::standardUserDefaults();
    defaults.addSuiteNamed(domain);
    return defaults;
}

QString domainFile(const Sandbox& sandbox)
{
    return sandbox.homePath(QStringLiteral("Library/Preferences/com.orvando.Veltrane.plist"));
}

QByteArray contents(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QProcess* startWriter(const Sandbox& sandbox, const QString& key, int count)
{
    auto* process = new QProcess;
    process->setProcessEnvironment(sandbox.environment());
    process->start(qEnvironmentVariable("VELTRANE_TESTTOOL"),
                   {QStringLiteral("write"), key, QString::number(count)});
    return process;
}
} // namespace

class UserDefaultsTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void missingDomainReadsAsNoValues()
    {
        Sandbox sandbox;
        auto& defaults = attached();
        QCOMPARE(defaults.boolForKey(QStringLiteral("isRunning")), false);
        QVERIFY(!defaults.objectForKey(QStringLiteral("enabledBrowsersArray")).isValid());
        QVERIFY(defaults.stringArrayForKey(QStringLiteral("enabledBrowsersArray")).isEmpty());
        QVERIFY(!QFile::exists(domainFile(sandbox)));
    }

    void writesTypedValuesAndSeesOtherProcessesAtOnce()
    {
        Sandbox sandbox;
        auto& defaults = attached();
        QSignalSpy changes(&defaults, &UserDefaults::valueChanged);
        defaults.setBool(true, QStringLiteral("removeAll"));
        defaults.setObject(QStringList{QStringLiteral("com.apple.Safari")},
                           QStringLiteral("enabledBrowsersArray"));
        QCOMPARE(changes.size(), 2);
        QCOMPARE(changes.first().at(0).toString(), QStringLiteral("removeAll"));
        QCOMPARE(changes.first().at(1).toBool(), true);
        QCOMPARE(changes.first().at(2).toBool(), false);
        QVERIFY(defaults.synchronize());

        const QVariantMap stored = sandbox.readDefaults();
        QCOMPARE(stored.value(QStringLiteral("removeAll")).typeId(), QMetaType::Bool);
        QCOMPARE(stored.value(QStringLiteral("enabledBrowsersArray")).toStringList(),
                 QStringList{QStringLiteral("com.apple.Safari")});

        // Another process's write is read without any flush on this side.
        auto* writer = startWriter(sandbox, QStringLiteral("displayNotifications"), 2);
        QVERIFY(writer->waitForFinished(20000));
        QCOMPARE(writer->exitCode(), 0);
        delete writer;
        QCOMPARE(defaults.objectForKey(QStringLiteral("displayNotifications")).toInt(), 1);
        QCOMPARE(defaults.boolForKey(QStringLiteral("removeAll")), true);
    }

    void registeredDefaultsStayInTheProcess()
    {
        Sandbox sandbox;
        auto& defaults = attached();
        defaults.registerDefaults({{QStringLiteral("registeredOnlyForTest"), true}});
        QCOMPARE(defaults.boolForKey(QStringLiteral("registeredOnlyForTest")), true);
        defaults.setBool(true, QStringLiteral("showInMenuBar"));
        QVERIFY(defaults.synchronize());
        QVERIFY(!sandbox.readDefaults().contains(QStringLiteral("registeredOnlyForTest")));
        QVERIFY(sandbox.readDefaults().contains(QStringLiteral("showInMenuBar")));
    }

    void corruptFileIsReadAsEmptyAndMovedAsideBeforeAWrite()
    {
        Sandbox sandbox;
        const QByteArray garbage("<plist><dict><key>isRunning</key><true/>");
        QVERIFY(sandbox.writeFile(QStringLiteral("Library/Preferences/com.orvando.Veltrane.plist"), garbage));
        auto& defaults = attached();
        QCOMPARE(defaults.boolForKey(QStringLiteral("isRunning")), false);
        QVERIFY(defaults.synchronize()); // nothing pending: no write
        QCOMPARE(contents(domainFile(sandbox)), garbage);

        defaults.setBool(true, QStringLiteral("secureDeleteData"));
        QVERIFY(defaults.synchronize());
        QCOMPARE(sandbox.readDefaults().value(QStringLiteral("secureDeleteData")).toBool(), true);
        const QStringList aside = QDir(sandbox.homePath(QStringLiteral("Library/Preferences")))
                                      .entryList({QStringLiteral("com.orvando.Veltrane.plist.corrupt-*")});
        QCOMPARE(aside.size(), 1);
        QCOMPARE(contents(sandbox.homePath(QStringLiteral("Library/Preferences/")) + aside.first()), garbage);
    }

    void unreadableFileIsNeitherReplacedNorMovedAside_data()
    {
        QTest::addColumn<bool>("asFolder");
        QTest::newRow("no permission") << false;
        QTest::newRow("a folder in its place") << true;
    }

    void unreadableFileIsNeitherReplacedNorMovedAside()
    {
        QFETCH(bool, asFolder);
        if (!asFolder && geteuid() == 0)
            QSKIP("permissions do not stop root");
        Sandbox sandbox;
        const QString relative = QStringLiteral("Library/Preferences/com.orvando.Veltrane.plist");
        QVERIFY(sandbox.writeDefaults({{QStringLiteral("isRunning"), true}}));
        const QByteArray saved = contents(domainFile(sandbox));
        if (asFolder) {
            QVERIFY(QFile::remove(domainFile(sandbox)));
            QVERIFY(QDir().mkpath(domainFile(sandbox)));
        } else {
            QVERIFY(QFile::setPermissions(domainFile(sandbox), {}));
        }

        auto& defaults = attached();
        QCOMPARE(defaults.boolForKey(QStringLiteral("isRunning")), false);
        defaults.setBool(true, QStringLiteral("secureDeleteData"));
        QVERIFY(!defaults.synchronize());
        QVERIFY(QDir(sandbox.homePath(QStringLiteral("Library/Preferences")))
                    .entryList({QStringLiteral("com.orvando.Veltrane.plist.corrupt-*")})
                    .isEmpty());

        // Readable again: the stored value is seen and the held-back change lands beside it.
        if (asFolder) {
            QVERIFY(QDir().rmdir(domainFile(sandbox)));
            QVERIFY(sandbox.writeFile(relative, saved));
        } else {
            QVERIFY(QFile::setPermissions(domainFile(sandbox), QFile::ReadOwner | QFile::WriteOwner));
            QCOMPARE(contents(domainFile(sandbox)), saved);
        }
        QCOMPARE(defaults.boolForKey(QStringLiteral("isRunning")), true);
        QVERIFY(defaults.synchronize());
        QCOMPARE(sandbox.readDefaults().value(QStringLiteral("isRunning")).toBool(), true);
        QCOMPARE(sandbox.readDefaults().value(QStringLiteral("secureDeleteData")).toBool(), true);
    }

    void pendingWriteKeepsAnotherProcessesKey()
    {
        Sandbox sandbox;
        auto& defaults = attached();
        defaults.setBool(true, QStringLiteral("isRunning"));
        auto* writer = startWriter(sandbox, QStringLiteral("openAtLogin"), 1);
        QVERIFY(writer->waitForFinished(20000));
        delete writer;
        QVERIFY(defaults.synchronize());
        const QVariantMap stored = sandbox.readDefaults();
        QCOMPARE(stored.value(QStringLiteral("isRunning")).toBool(), true);
        QVERIFY(stored.contains(QStringLiteral("openAtLogin")));

        // The daemon's direct write goes the same way.
        Preferences::setValue(QStringLiteral("enabledBrowsersArray"),
                              QStringList{QStringLiteral("org.mozilla.firefox")}, domain);
        QVERIFY(Preferences::synchronize(domain));
        QCOMPARE(sandbox.readDefaults().value(QStringLiteral("enabledBrowsersArray")).toStringList(),
                 QStringList{QStringLiteral("org.mozilla.firefox")});
        QCOMPARE(sandbox.readDefaults().value(QStringLiteral("isRunning")).toBool(), true);
    }

    void concurrentWritersLoseNoKey()
    {
        Sandbox sandbox;
        constexpr int count = 150;
        std::unique_ptr<QProcess> first(startWriter(sandbox, QStringLiteral("keyA"), count));
        std::unique_ptr<QProcess> second(startWriter(sandbox, QStringLiteral("keyB"), count));
        int reads = 0;
        while (first->state() != QProcess::NotRunning || second->state() != QProcess::NotRunning) {
            // Readers never see a partial file.
            const QByteArray bytes = contents(domainFile(sandbox));
            if (!bytes.isEmpty()) {
                QVERIFY2(!sandbox.readDefaults().isEmpty(), bytes.constData());
                ++reads;
            }
            first->waitForFinished(5);
            second->waitForFinished(5);
        }
        QCOMPARE(first->exitCode(), 0);
        QCOMPARE(second->exitCode(), 0);
        QVERIFY(reads > 0);
        const QVariantMap stored = sandbox.readDefaults();
        QCOMPARE(stored.value(QStringLiteral("keyA")).toInt(), count - 1);
        QCOMPARE(stored.value(QStringLiteral("keyB")).toInt(), count - 1);
        const QStringList leftovers = QDir(sandbox.homePath(QStringLiteral("Library/Preferences")))
                                          .entryList({QStringLiteral("*.plist.*")}, QDir::Files);
        QCOMPARE(leftovers, QStringList{QStringLiteral("com.orvando.Veltrane.plist.lock")});
    }
};

QTEST_GUILESS_MAIN(UserDefaultsTest)
#include "UserDefaultsTest.moc"
