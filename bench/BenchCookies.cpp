#include "BenchCookies.h"

#include <algorithm>

namespace BenchCookies {

QList<CookieStores::Cookie> generated(int count, int goneCount)
{
    QList<CookieStores::Cookie> cookies;
    for (int i = 0; i < count; ++i) {
        const QString site = i < goneCount ? QStringLiteral("gone.test") : QStringLiteral("kept.com");
        cookies.append({QStringLiteral("host%1.").arg(i % 700) + site, QStringLiteral("n%1").arg(i),
                        13300000000000000 + i});
    }
    return cookies;
}

double median(QList<double> values)
{
    std::sort(values.begin(), values.end());
    return values.at(values.size() / 2);
}

} // namespace BenchCookies
