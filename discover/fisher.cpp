// discover/fisher.cpp: hypergeometric tails summed in logs, and E-value text from logs.
#include "discover/fisher.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <numbers>

namespace kalvo {
namespace {

constexpr int kTableSize = 256;

// ln n!: a table of summed logarithms below kTableSize, Stirling's series above (its next
// term is below 1e-20 there). No lgamma: it writes a global and its last bits vary by library.
double LogFactorialOf(double n)
{
    static const std::array<double, kTableSize> table = [] {
        std::array<double, kTableSize> values{};
        for (int k = 2; k < kTableSize; ++k)
            values[k] = values[k - 1] + std::log(static_cast<double>(k));
        return values;
    }();
    if (n < kTableSize)
        return table[static_cast<int>(n)];
    const double inverse = 1.0 / n, inverseSquared = inverse * inverse;
    const double series = inverse * (1.0 / 12 - inverseSquared * (1.0 / 360 - inverseSquared * (1.0 / 1260 - inverseSquared / 1680)));
    return n * std::log(n) - n + 0.5 * std::log(2 * std::numbers::pi * n) + series;
}

double LogChoose(double n, double k) { return LogFactorialOf(n) - LogFactorialOf(k) - LogFactorialOf(n - k); }

// Sum of the terms from x onward in steps of `step`, each the previous one times `ratio(x)`,
// relative to the first term. Used only where the terms decrease, so it stops once a term
// no longer changes the sum.
template <typename Ratio>
double RelativeTail(double x, double stop, double step, Ratio ratio)
{
    double sum = 1.0, term = 1.0;
    for (double y = x; y != stop; y += step) {
        term *= ratio(y);
        sum += term;
        if (term < 1e-17 * sum)
            break;
    }
    return sum;
}

}  // namespace

double Log10FisherEnrichment(int targetHits, int targets, int controlHits, int controls)
{
    if (targetHits < 0 || controlHits < 0 || targetHits > targets || controlHits > controls)
        return 0.0;
    // Population N, successes K, draws n; X ranges over lo..hi.
    const double n = targets, K = static_cast<double>(targetHits) + controlHits;
    const double N = static_cast<double>(targets) + controls;
    const double a = targetHits;
    const double lo = std::max(0.0, n + K - N), hi = std::min(n, K);
    if (a <= lo)
        return 0.0;
    auto logTerm = [&](double x) { return LogChoose(K, x) + LogChoose(N - K, n - x) - LogChoose(N, n); };
    // term(x + 1) / term(x), and its inverse for walking down.
    auto up = [&](double x) { return (K - x) * (n - x) / ((x + 1) * (N - K - n + x + 1)); };
    auto down = [&](double x) { return x * (N - K - n + x) / ((K - x + 1) * (n - x + 1)); };
    const double mode = std::floor((n + 1) * (K + 1) / (N + 2));
    double log10P;
    if (a > mode) {
        // Terms fall from a upward: the upper tail directly.
        log10P = (logTerm(a) + std::log(RelativeTail(a, hi, 1.0, up))) / std::numbers::ln10;
    } else {
        // Terms fall from a - 1 downward. The upper tail holds the mode, so p is at least
        // 1 / (hi - lo + 1) and 1 - lower keeps ample significant digits.
        const double lower = std::exp(logTerm(a - 1)) * RelativeTail(a - 1, lo, -1.0, down);
        log10P = std::log1p(-std::min(lower, 1.0)) / std::numbers::ln10;
    }
    return std::min(log10P, 0.0);
}

std::string FormatEValue(double log10Value)
{
    if (std::isnan(log10Value))
        return "nan";
    // Beyond 1e17 the fractional part of the log is gone; such values count as 0 or infinity.
    if (log10Value < -1e17)
        return "0.0e+00";
    if (log10Value > 1e17)
        return "inf";
    long long exponent = static_cast<long long>(std::floor(log10Value));
    long long tenths = std::llround(10.0 * std::pow(10.0, log10Value - static_cast<double>(exponent)));
    if (tenths >= 100) {
        tenths = 10;
        ++exponent;
    }
    tenths = std::max(tenths, 10LL);
    char text[48];
    std::snprintf(text, sizeof text, "%lld.%llde%c%02lld", tenths / 10, tenths % 10, exponent < 0 ? '-' : '+',
                  std::llabs(exponent));
    return text;
}

}  // namespace kalvo
