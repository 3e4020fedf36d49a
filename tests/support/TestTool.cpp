// veltrane-testtool write KEY COUNT    stores KEY = 0..COUNT-1 in the shared domain, flushing each time
// veltrane-testtool post NAME [true|false]
//                                      posts a broadcast, with "enabled" when a value is given
// veltrane-testtool observe NAME       prints "NAME enabled=<value|none>" for the first broadcast, then ends
#include "platform/DistributedNotificationCenter.h"
#include "platform/UserDefaults.h"

#include <QCoreApplication>
#include <QTimer>

#include <cstdio>

namespace {

int write(const QString& key, int count)
{
    auto& defaults = UserDefaults::standardUserDefaults();
    defaults.addSuiteNamed(QStringLiteral("com.orvando.Veltrane"));
    for (int i = 0; i < count; ++i) {
        defaults.setObject(i, key);
        if (!defaults.synchronize())
            return 1;
    }
    return 0;
}

int post(const QString& name, const QStringList& rest)
{
    QVariantMap userInfo;
    if (!rest.isEmpty())
        userInfo.insert(QStringLiteral("enabled"), rest.first() == QLatin1String("true"));
    DistributedNotificationCenter::defaultCenter().postNotificationName(name, userInfo);
    return 0;
}

int observe(const QString& name)
{
    QObject context;
    DistributedNotificationCenter::defaultCenter().addObserver(
        name, &context, [name](const QVariantMap& info) {
            const QString enabled =
                info.contains(QStringLiteral("enabled"))
                    ? (info.value(QStringLiteral("enabled")).toBool() ? QStringLiteral("true")
                                                                      : QStringLiteral("false"))
                    : QStringLiteral("none");
            std::printf("%s enabled=%s\n", qPrintable(name), qPrintable(enabled));
            std::fflush(stdout);
            QCoreApplication::quit();
        });
    std::printf("ready\n");
    std::fflush(stdout);
    QTimer::singleShot(20000, qApp, [] { QCoreApplication::exit(3); });
    return QCoreApplication::exec();
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication application(argc, argv);
    const QStringList args = QCoreApplication::arguments().mid(1);
    if (args.size() >= 3 && args[0] == QLatin1String("write"))
        return write(args[1], args[2].toInt());
    if (args.size() >= 2 && args[0] == QLatin1String("post"))
        return post(args[1], args.mid(2));
    if (args.size() == 2 && args[0] == QLatin1String("observe"))
        return observe(args[1]);
    std::fprintf(stderr, "usage: veltrane-testtool write KEY COUNT | post NAME [bool] | observe NAME\n");
    return 2;
}
