// tests/util/log_factorial_test.cpp: ln((n-1)!) summed downwards, memoised without changing a bit.
#include <gtest/gtest.h>

#include <cmath>

#include "util/log_factorial.h"

namespace kalvo {
namespace {

TEST(LogFactorial, SumsLogsFromNMinusOneDownToTwo)
{
    for (int n : {-5, 0, 1, 2})
        EXPECT_EQ(LogFactorial(n), 0.0);
    EXPECT_EQ(LogFactorial(4), std::log(3.0) + std::log(2.0));
    // The order of the terms decides the last bits, so compare bit for bit.
    for (int n = 3; n <= 2000; ++n) {
        double sum = 0.0;
        for (int k = n - 1; k >= 2; --k)
            sum += std::log(static_cast<double>(k));
        ASSERT_EQ(LogFactorial(n), sum) << "n = " << n;
    }
}

TEST(LogFactorialTable, GivesBitIdenticalValuesInAnyQueryOrder)
{
    LogFactorialTable table;
    for (int n : {300, 5, 1000, 1, -3, 300, 1001})
        ASSERT_EQ(table(n), LogFactorial(n)) << "n = " << n;
    for (int n = 0; n <= 1200; ++n)
        ASSERT_EQ(table(n), LogFactorial(n)) << "n = " << n;
}

}  // namespace
}  // namespace kalvo
