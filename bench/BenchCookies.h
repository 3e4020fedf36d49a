#pragma once

#include "CookieStores.h"

#include <QList>

// What the cookie benchmarks share: the same generated jar and the same summary of repeated runs.
namespace BenchCookies {

// `count` Chrome cookies on 700 hosts; the first `goneCount` belong to "gone.test", the rest to
// "kept.com".
[[nodiscard]] QList<CookieStores::Cookie> generated(int count, int goneCount);

// The middle value of repeated measurements (the upper one of the two middle values).
[[nodiscard]] double median(QList<double> values);

} // namespace BenchCookies
