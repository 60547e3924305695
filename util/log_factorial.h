// util/log_factorial.h: LF(n) = ln((n-1)!) = ln Γ(n) at integers, for the Dirichlet terms.
#pragma once
#include <vector>

namespace kalvo {

// The sum of ln k for k from n−1 down to 2, in that order (0 for n < 2). The
// order is part of the result: another order or lgamma changes last bits,
// and a last bit can flip a comparison and change a whole run.
double LogFactorial(int n);

// LogFactorial memoised: each value is computed once, by the same downward sum.
class LogFactorialTable {
public:
    double operator()(int n)
    {
        if (n < 2)
            return 0.0;
        if (static_cast<std::size_t>(n) < m_known.size() && m_known[n])
            return m_values[n];
        return Fill(n);
    }

private:
    double Fill(int n);
    std::vector<double> m_values;
    std::vector<char> m_known;
};

}  // namespace kalvo
