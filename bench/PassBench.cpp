// A full pass of the built worker over a generated large home, for each browser name: wall time and
// peak memory. Then the walk of "/private/var/folders/" beside a plain readdir walk of the same tree.
//   PassBench <path of Veltrane.app> [browser names; default: all seven]
#include "platform/PropertyList.h"
#include "worker/WorkerAppDelegate.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>
#include <dirent.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

void file(const QString& path, const QByteArray& contents = QByteArray(512, 'x'))
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile out(path);
    if (out.open(QIODevice::WriteOnly))
        out.write(contents);
}

void sql(const QString& database, const QString& script)
{
    QDir().mkpath(QFileInfo(database).absolutePath());
    QProcess::execute(QStringLiteral("sqlite3"), {database, script});
}

void chromeProfile(const QString& profile)
{
    QString script = QStringLiteral("CREATE TABLE Databases (origin TEXT, name TEXT); BEGIN;");
    for (int i = 0; i < 500; ++i) {
        script += QStringLiteral("INSERT INTO Databases VALUES ('http_site%1.com_0', 'db');").arg(i);
        file(profile + QStringLiteral("/databases/http_site%1.com_0/1.db").arg(i));
    }
    sql(profile + QStringLiteral("/databases/Databases.db"), script + QStringLiteral("COMMIT;"));
    for (int i = 0; i < 2000; ++i)
        file(profile + QStringLiteral("/Local Storage/http_site%1.com_0.localstorage").arg(i));
}

void buildHome(const QString& home, const QString& root)
{
    const QString chrome = home + QStringLiteral("/Library/Application Support/Google/Chrome");
    file(
        chrome + QStringLiteral("/Local State"),
        R"({"profile":{"info_cache":{"Default":{"name":"a"},"Profile 1":{"name":"b"},"Profile 2":{"name":"c"}}}})");
    for (const char* profile : {"Default", "Profile 1", "Profile 2"})
        chromeProfile(chrome + QLatin1Char('/') + QLatin1String(profile));
    for (const char* profile : {"one", "two"}) {
        QString script =
            QStringLiteral("CREATE TABLE webappsstore2 (scope TEXT, key TEXT, value TEXT); BEGIN;");
        for (int i = 0; i < 50000; ++i)
            script += QStringLiteral("INSERT INTO webappsstore2 VALUES ('moc.%1etis.:http:80', 'k', 'v');")
                          .arg(i % 5000);
        sql(home + QStringLiteral("/Library/Application Support/Firefox/Profiles/") + QLatin1String(profile) +
                QStringLiteral("/webappsstore.sqlite"),
            script + QStringLiteral("COMMIT;"));
    }
    for (int i = 0; i < 2000; ++i)
        file(home +
             QStringLiteral("/Library/Preferences/Macromedia/Flash Player/#SharedObjects/R/site%1.com/x.sol")
                 .arg(i));
    for (int i = 0; i < 500; ++i) {
        const QString store =
            home +
            QStringLiteral("/Library/Application Support/Microsoft/Silverlight/is/a/b/c/s/st%1").arg(i);
        file(store + QStringLiteral("/id.dat"), QStringLiteral("site%1.com").arg(i).toUtf8());
        file(store + QStringLiteral("/group.dat"), QStringLiteral("g%1").arg(i).toUtf8());
    }
    for (int i = 0; i < 50000; ++i)
        file(home + QStringLiteral("/Library/Caches/Google/Chrome/Default/Cache/f%1").arg(i));
    // Four levels: 10 x 10 x 20 x 10 = 20,000 entries at the last level.
    for (int a = 0; a < 10; ++a)
        for (int b = 0; b < 10; ++b)
            for (int c = 0; c < 20; ++c)
                for (int d = 0; d < 10; ++d)
                    QDir().mkpath(
                        root +
                        QStringLiteral("/private/var/folders/%1/%2/%3/app%4").arg(a).arg(b).arg(c).arg(d));
    file(home + QStringLiteral("/Library/Preferences/com.orvando.Veltrane.plist"),
         PropertyList::toXml(QVariantMap{{QStringLiteral("removeAll"), true}}));
}

void plainWalk(const QByteArray& path, int level)
{
    DIR* dir = opendir(path.constData());
    if (!dir)
        return;
    while (const dirent* entry = readdir(dir)) {
        if (entry->d_type == DT_DIR && entry->d_name[0] != '.' && level < 4)
            plainWalk(path + '/' + entry->d_name, level + 1);
    }
    closedir(dir);
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication application(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: PassBench <Veltrane.app>\n");
        return 2;
    }
    const QString worker =
        QString::fromLocal8Bit(argv[1]) +
        QStringLiteral("/Contents/Resources/VeltraneWorker.app/Contents/MacOS/VeltraneWorker");
    QStringList browsers{QStringLiteral("Safari"),        QStringLiteral("WebKit"),
                         QStringLiteral("Google Chrome"), QStringLiteral("Chromium"),
                         QStringLiteral("Camino"),        QStringLiteral("Firefox"),
                         QStringLiteral("Opera")};
    if (argc > 2)
        browsers = QCoreApplication::arguments().mid(2);
    for (const QString& name : browsers) {
        const QByteArray browser = name.toUtf8();
        QTemporaryDir dir(QDir::tempPath() + QStringLiteral("/pass-bench-XXXXXX"));
        const QString home = dir.filePath(QStringLiteral("home"));
        const QString root = dir.filePath(QStringLiteral("root"));
        buildHome(home, root);
        QElapsedTimer timer;
        timer.start();
        const pid_t child = fork();
        if (child == 0) {
            setenv("HOME", QFile::encodeName(home).constData(), 1);
            setenv("VELTRANE_ROOT", QFile::encodeName(root).constData(), 1);
            execl(QFile::encodeName(worker).constData(), "VeltraneWorker", browser.constData(),
                  static_cast<char*>(nullptr));
            _exit(127);
        }
        int status = 0;
        rusage usage{};
        wait4(child, &status, 0, &usage);
        std::printf("%-14s wall %7.3f s   peak memory %7.1f MiB   exit %d\n", browser.constData(),
                    static_cast<double>(timer.nsecsElapsed()) / 1e9,
                    static_cast<double>(usage.ru_maxrss) / 1024.0,
                    WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status));
        std::fflush(stdout);
    }

    // The temporary-folders walk finds no target here, so both walks see the same tree each time.
    QTemporaryDir dir(QDir::tempPath() + QStringLiteral("/walk-bench-XXXXXX"));
    const QString root = dir.filePath(QStringLiteral("root"));
    buildHome(dir.filePath(QStringLiteral("home")), root);
    qputenv("VELTRANE_ROOT", QFile::encodeName(root));
    qputenv("HOME", QFile::encodeName(dir.filePath(QStringLiteral("home"))));
    const QByteArray folders = QFile::encodeName(root + QStringLiteral("/private/var/folders"));
    double ours = 0;
    double plain = 0;
    for (int round = 0; round < 5; ++round) {
        QElapsedTimer timer;
        timer.start();
        WorkerAppDelegate::clearExtraCache();
        ours += static_cast<double>(timer.nsecsElapsed()) / 1e9;
        timer.restart();
        plainWalk(folders, 1);
        plain += static_cast<double>(timer.nsecsElapsed()) / 1e9;
    }
    std::printf("temporary folders walk (5 rounds): ours %.3f s   plain readdir %.3f s   ratio %.2f\n", ours,
                plain, ours / plain);
    return 0;
}
