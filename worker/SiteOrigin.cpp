#include "SiteOrigin.h"

#include "worker/WorkerExtras.h"

namespace SiteOrigin {

namespace {

constexpr QLatin1StringView separator("://");

bool isDigits(QStringView text)
{
    if (text.isEmpty())
        return false;
    for (const QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
    }
    return true;
}

} // namespace

QString ownOrigin(QStringView serialized)
{
    const qsizetype authority = serialized.indexOf(separator);
    if (authority < 0)
        return serialized.toString();
    qsizetype end = authority + separator.size();
    while (end < serialized.size() && serialized.at(end) != QLatin1Char('/') &&
           serialized.at(end) != QLatin1Char('^'))
        ++end;
    return serialized.left(end).toString();
}

std::optional<QString> webHost(QStringView serialized)
{
    const QString origin = ownOrigin(serialized);
    const qsizetype schemeEnd = origin.indexOf(separator);
    if (schemeEnd < 0)
        return std::nullopt;
    const QStringView scheme = QStringView(origin).left(schemeEnd);
    if (scheme != QLatin1String("http") && scheme != QLatin1String("https"))
        return std::nullopt;
    QStringView authority = QStringView(origin).mid(schemeEnd + separator.size());
    if (authority.contains(QLatin1Char('@')) || authority.contains(QChar(0)))
        return std::nullopt;
    QStringView host;
    if (authority.startsWith(QLatin1Char('['))) {
        const qsizetype close = authority.indexOf(QLatin1Char(']'));
        if (close < 0)
            return std::nullopt;
        host = authority.left(close + 1);
        const QStringView rest = authority.mid(close + 1);
        if (!rest.isEmpty() && !(rest.startsWith(QLatin1Char(':')) && isDigits(rest.mid(1))))
            return std::nullopt;
    } else {
        const qsizetype colon = authority.lastIndexOf(QLatin1Char(':'));
        if (colon >= 0 && !isDigits(authority.mid(colon + 1)))
            return std::nullopt;
        host = colon < 0 ? authority : authority.left(colon);
        if (host.contains(QLatin1Char(':')))
            return std::nullopt;
    }
    if (host.isEmpty())
        return std::nullopt;
    return host.toString();
}

bool isRemoved(QStringView serialized, const KeepList& keep)
{
    if (keep.keepsEverySite)
        return false;
    const auto host = webHost(serialized);
    if (!host)
        return false;
    const auto site = WorkerExtras::siteWithDomainName(*host);
    return !site || !keep.keeps(*site);
}

} // namespace SiteOrigin
