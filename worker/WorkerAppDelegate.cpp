#include "WorkerAppDelegate.h"

#include "common/Names.h"
#include "platform/Bundle.h"
#include "platform/UserDefaults.h"
#include "platform/UserNotificationCenter.h"

#include <utility>

WorkerAppDelegate::WorkerAppDelegate(QStringList arguments) : m_arguments(std::move(arguments)) {}

void WorkerAppDelegate::awakeFromNib()
{
    UserDefaults::standardUserDefaults().addSuiteNamed(Names::suiteName);
}

void WorkerAppDelegate::applicationDidFinishLaunching()
{
    const QString browser = startupCheck();
    if (browser == QLatin1String("Quit"))
        return;
    clearData(browser);
}

QString WorkerAppDelegate::startupCheck() const
{
    const QStringList browsers = Names::Browsers::all();
    for (const QString& argument : m_arguments) {
        if (browsers.contains(argument))
            return argument;
    }
    return QStringLiteral("Quit");
}

void WorkerAppDelegate::clearData(const QString& browser)
{
    auto& defaults = UserDefaults::standardUserDefaults();
    PassContext context = PassContext::forBrowser(browser, SecureRemoval::fromSettings());
    if (!defaults.boolForKey(Names::Keys::removeAll)) {
        // Firefox's favourites are its own saved logins; every other browser's are the password
        // store's, together with the logins the browser keeps itself.
        const bool isFirefox = browser == Names::Browsers::firefox;
        const auto stored = isFirefox ? std::optional<QStringList>(QStringList()) : getSmartFavouritesArray();
        const auto saved = savedLoginFavourites(context);
        if (stored && saved) {
            context.keep.sites.append(*stored);
            for (const QString& site : *saved) {
                if (!context.keep.sites.contains(site))
                    context.keep.sites.append(site);
            }
        } else {
            context.keep.keepsEverySite = true;
        }
    }

    const QList<qint64> cookieCounts = removeCookies(context);
    const qint64 databases = removeNonFavLocalStorage(context);
    const qint64 flash = removeFlash(context);
    const qint64 silverlight = removeSilverlight(context.keep);
    removeBrowserCache(context);

    if (defaults.boolForKey(Names::Keys::displayNotifications)) {
        displayNotificationWithTitle(QStringLiteral("Veltrane"),
                                     resultMessage(cookieCounts.value(0), cookieCounts.value(1), databases,
                                                   flash, silverlight, browser));
    }
}

QString WorkerAppDelegate::resultMessage(qint64 cookies, qint64 trackingCookies, qint64 databases,
                                         qint64 flash, qint64 silverlight, const QString& browser)
{
    const QString format = Bundle::localizedString(
        QStringLiteral("%@ Cookies (%@ Tracking Cookies), %@ Databases, %@ Flash, %@ Silverlight, "
                       "and Cache removed from %@"));
    const QStringList values{QString::number(cookies),     QString::number(trackingCookies),
                             QString::number(databases),   QString::number(flash),
                             QString::number(silverlight), browser};
    // Each "%@" takes the next value in turn; the values themselves are never scanned again.
    QString text;
    qsizetype next = 0;
    qsizetype from = 0;
    for (qsizetype at = format.indexOf(QLatin1String("%@")); at >= 0;
         at = format.indexOf(QLatin1String("%@"), from)) {
        text += format.mid(from, at - from);
        text += values.value(next++);
        from = at + 2;
    }
    text += format.mid(from);
    return text;
}

void WorkerAppDelegate::displayNotificationWithTitle(const QString& title, const QString& text)
{
    if (!UserDefaults::standardUserDefaults().boolForKey(Names::Keys::displayNotifications))
        return;
    if (!UserNotificationCenter::isAvailable())
        return;
    (void)UserNotificationCenter::scheduleNotification(title, text);
}
