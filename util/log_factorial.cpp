// util/log_factorial.cpp: ln((n-1)!) by downward summation, optionally memoised.
#include "util/log_factorial.h"

#include <cmath>

namespace kalvo {

double LogFactorial(int n)
{
    double sum = 0.0;
    for (int k = n - 1; k >= 2; --k)
        sum += std::log(static_cast<double>(k));
    return sum;
}

double LogFactorialTable::Fill(int n)
{
    const auto size = static_cast<std::size_t>(n) + 1;
    if (m_known.size() < size) {
        const std::size_t grown = std::max(size, m_known.size() * 2);
        m_values.resize(grown, 0.0);
        m_known.resize(grown, 0);
    }
    m_values[n] = LogFactorial(n);
    m_known[n] = 1;
    return m_values[n];
}

}  // namespace kalvo
