#include "WorkerExtras.h"

#include "common/Names.h"

std::optional<QList<QVariantMap>> WorkerExtras::allAccounts(KeychainError* error)
{
    return accountsForService(QString(), error);
}

std::optional<QList<QVariantMap>> WorkerExtras::accountsForService(const QString& service,
                                                                   KeychainError* error)
{
    const Query query = queryForService(service, QString());
    const Keychain::InternetPasswords found = Keychain::copyInternetPasswords(query.service, query.account);
    if (found.status == Keychain::Status::success)
        return found.items;
    if (error)
        *error = KeychainError{QString(Names::suiteName), int(found.status)};
    return std::nullopt;
}

WorkerExtras::Query WorkerExtras::queryForService(const QString& service, const QString& account)
{
    return Query{service, account};
}

std::optional<QString> WorkerExtras::siteWithDomainName(const QString& domainName)
{
    if (domainName.isNull())
        return std::nullopt;
    QString name = domainName.toLower();
    if (name.contains(QLatin1String("file:///")))
        return std::nullopt;
    if (name.size() >= 2 && name.startsWith(QLatin1Char('^')))
        return std::nullopt;
    if (name.startsWith(QLatin1Char('.')))
        name.remove(0, 1);
    if (name.startsWith(QLatin1String("www.")))
        name.remove(0, 4);

    const QStringList labels = name.split(QLatin1Char('.'));
    if (labels.size() == 1)
        return name;
    const QString& last = labels.last();
    qsizetype digitsFrom = 0;
    while (digitsFrom < last.size() && last.at(digitsFrom).isDigit())
        ++digitsFrom;
    // Digits at both ends leave nothing: an empty or all-digit label, as in an IPv4 address.
    if (digitsFrom == last.size())
        return name;
    const qsizetype count = labels.size();
    if (last.size() == 3)
        return labels.at(count - 2) + QLatin1Char('.') + last;
    if (count < 3)
        return name;
    return labels.at(count - 3) + QLatin1Char('.') + labels.at(count - 2) + QLatin1Char('.') + last;
}
