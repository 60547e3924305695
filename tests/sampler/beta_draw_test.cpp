// tests/sampler/beta_draw_test.cpp: Beta variates for the prior odds, from a known number of draws.
#include <gtest/gtest.h>

#include "sampler/beta_sampler.h"
#include "sampler/run_setup.h"

namespace kalvo {
namespace {

using testing::StateAfter;

TEST(BetaDraw, ConsumesExactlyAPlusBDraws)
{
    const CBetaSampler beta;
    RandomStream random(77);
    const double value = beta.DrawBetaVariate(3, 5, random);
    EXPECT_EQ(random.State(), StateAfter(77, 8));
    EXPECT_GT(value, 0.0);
    EXPECT_LT(value, 1.0);
}

TEST(BetaDraw, ParameterBelowOneMakesNoDrawsForItsPart)
{
    const CBetaSampler beta;
    RandomStream random(77);
    // x is the empty sum 0, so the variate is 0.
    EXPECT_EQ(beta.DrawBetaVariate(0, 4, random), 0.0);
    EXPECT_EQ(random.State(), StateAfter(77, 4));
    beta.DrawBetaVariate(-2, 0, random);
    EXPECT_EQ(random.State(), StateAfter(77, 4));
}

TEST(BetaDraw, MeanOfManyDrawsIsAOverAPlusB)
{
    const CBetaSampler beta;
    RandomStream random(2024);
    double sum = 0.0;
    const int draws = 4000;
    for (int i = 0; i < draws; ++i)
        sum += beta.DrawBetaVariate(3, 7, random);
    // The standard error of the mean is about 0.0023.
    EXPECT_NEAR(sum / draws, 0.3, 0.01);
}

}  // namespace
}  // namespace kalvo
