// tests/discover/fisher_test.cpp: enrichment p-values against exact hypergeometric tails, and E-value text.
#include <gtest/gtest.h>

#include <cmath>

#include "discover/fisher.h"

namespace kalvo {
namespace {

// Reference logs computed with exact integer binomials (Python's math.comb and fractions).
TEST(FisherEnrichment, MatchesExactTailsOfSmallTables)
{
    EXPECT_NEAR(Log10FisherEnrichment(3, 4, 1, 4), std::log10(17.0 / 70.0), 1e-12);  // the tea-tasting table
    EXPECT_NEAR(Log10FisherEnrichment(3, 5, 0, 5), std::log10(1.0 / 12.0), 1e-12);
    EXPECT_NEAR(Log10FisherEnrichment(5, 10, 2, 10), std::log10(113.0 / 646.0), 1e-12);
    EXPECT_NEAR(Log10FisherEnrichment(7, 20, 3, 30), std::log10(3823997.0 / 104819165.0), 1e-12);
    EXPECT_NEAR(Log10FisherEnrichment(40, 100, 25, 100), -1.7677181123834522, 1e-11);
}

TEST(FisherEnrichment, TailsThatHoldTheModeStayBelowOne)
{
    EXPECT_NEAR(Log10FisherEnrichment(2, 10, 5, 10), std::log10(1255.0 / 1292.0), 1e-12);
    EXPECT_NEAR(Log10FisherEnrichment(500, 1000, 500, 1000), -0.2858089751035777, 1e-11);
    EXPECT_NEAR(Log10FisherEnrichment(510, 1000, 490, 1000), -0.7038898746998257, 1e-11);
}

TEST(FisherEnrichment, NoTargetHitsOrForcedHitsGivePOne)
{
    EXPECT_EQ(Log10FisherEnrichment(0, 10, 5, 10), 0.0);
    EXPECT_EQ(Log10FisherEnrichment(0, 10, 0, 10), 0.0);
    EXPECT_EQ(Log10FisherEnrichment(0, 0, 0, 0), 0.0);
    EXPECT_EQ(Log10FisherEnrichment(5, 10, 10, 10), 0.0);  // every control hit: at least 5 targets must be
    EXPECT_EQ(Log10FisherEnrichment(10, 10, 10, 10), 0.0);
}

TEST(FisherEnrichment, HugeTablesGiveFiniteLogsFarBelowTheDoubleRange)
{
    EXPECT_NEAR(Log10FisherEnrichment(8000, 10000, 1000, 10000), -2393.6790515629464, 1e-8);
    EXPECT_NEAR(Log10FisherEnrichment(10000, 10000, 0, 10000), -6018.351332914596, 1e-8);  // 1 / C(20000, 10000)
    EXPECT_NEAR(Log10FisherEnrichment(12000, 20000, 1000, 20000), -3386.0693591831005, 1e-8);
    EXPECT_NEAR(Log10FisherEnrichment(600, 20000, 400, 20000), -10.09086351120095, 1e-9);
}

TEST(FisherEnrichment, MoreTargetHitsWithTheSameControlHitsGiveSmallerP)
{
    double previous = 0.0;
    for (int hits = 0; hits <= 300; ++hits) {
        const double log10P = Log10FisherEnrichment(hits, 300, 40, 500);
        EXPECT_LE(log10P, 0.0);
        if (hits > 0) {
            EXPECT_LT(log10P, previous) << hits;
        }
        previous = log10P;
    }
}

TEST(FisherEnrichment, ImpossibleTablesAreNeverSignificant)
{
    EXPECT_EQ(Log10FisherEnrichment(-1, 10, 0, 10), 0.0);
    EXPECT_EQ(Log10FisherEnrichment(11, 10, 0, 10), 0.0);
    EXPECT_EQ(Log10FisherEnrichment(5, 10, -3, 10), 0.0);
    EXPECT_EQ(Log10FisherEnrichment(5, 10, 12, 10), 0.0);
}

TEST(FormatEValue, WritesTwoSignificantDigitsLikePrintf)
{
    EXPECT_EQ(FormatEValue(std::log10(3.2e-15)), "3.2e-15");
    EXPECT_EQ(FormatEValue(0.0), "1.0e+00");
    EXPECT_EQ(FormatEValue(std::log10(4.5) - 300), "4.5e-300");
    EXPECT_EQ(FormatEValue(std::log10(560.0)), "5.6e+02");
    EXPECT_EQ(FormatEValue(std::log10(0.05)), "5.0e-02");
    EXPECT_EQ(FormatEValue(std::log10(1.23456e7)), "1.2e+07");
}

TEST(FormatEValue, WritesValuesBeyondTheDoubleRangeFromTheirLog)
{
    EXPECT_EQ(FormatEValue(std::log10(2.0) - 1234), "2.0e-1234");
    EXPECT_EQ(FormatEValue(std::log10(7.7) + 500), "7.7e+500");
    EXPECT_EQ(FormatEValue(-2393.6790515629464), "2.1e-2394");
}

TEST(FormatEValue, RoundsUpIntoTheNextPowerOfTen)
{
    EXPECT_EQ(FormatEValue(std::log10(9.96e-5)), "1.0e-04");
    EXPECT_EQ(FormatEValue(std::log10(9.94e-5)), "9.9e-05");
    EXPECT_EQ(FormatEValue(std::log10(0.999)), "1.0e+00");
    EXPECT_EQ(FormatEValue(std::log10(99.7)), "1.0e+02");
}

TEST(FormatEValue, WritesZeroInfinityAndNanPlainly)
{
    EXPECT_EQ(FormatEValue(-INFINITY), "0.0e+00");
    EXPECT_EQ(FormatEValue(INFINITY), "inf");
    EXPECT_EQ(FormatEValue(NAN), "nan");
}

}  // namespace
}  // namespace kalvo
