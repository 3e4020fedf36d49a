#include "FuzzHome.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cstdlib>

namespace FuzzHome {

QString path()
{
    static const QString home = [] {
        QByteArray folder = QDir::tempPath().toUtf8() + "/veltrane-fuzz-XXXXXX";
        if (!mkdtemp(folder.data()))
            std::abort();
        setenv("HOME", folder.constData(), 1);
        std::atexit([] { QDir(QString::fromUtf8(qgetenv("HOME"))).removeRecursively(); });
        return QString::fromUtf8(folder);
    }();
    return home;
}

bool write(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

} // namespace FuzzHome
