// tests/util/random_test.cpp: the run's random stream draws the same numbers everywhere.
#include <gtest/gtest.h>

#include <cstdint>

#include "util/random.h"

namespace kalvo {
namespace {

// Seeds whose first draw is known: 16384, 32767 and 0.
constexpr std::uint32_t kHalf = 3782276673u, kTop = 4028364353u, kZero = 2708534849u;

TEST(RandomStream, DrawsFromStateOneMatchTheClassicSequence)
{
    RandomStream stream(1);
    for (int expected : {41, 18467, 6334, 26500, 19169})
        EXPECT_EQ(stream.Next(), expected);
    stream.Seed(1);
    EXPECT_EQ(stream.Next(), 41);
}

TEST(RandomStream, StateWrapsAroundModuloTwoToThe32)
{
    RandomStream stream(0xFFFFFFFFu);
    EXPECT_EQ(stream.Next(), 35);
    EXPECT_EQ(stream.State(), 0x00235AC6u);
}

TEST(RandomStream, UniformDividesBy32768AndUniformClosedBy32767)
{
    EXPECT_EQ(RandomStream(1).Uniform(), 41.0 / 32768.0);
    EXPECT_EQ(RandomStream(kTop).Uniform(), 32767.0 / 32768.0);
    EXPECT_EQ(RandomStream(1).UniformClosed(), 41.0 / 32767.0);
    EXPECT_EQ(RandomStream(kTop).UniformClosed(), 1.0);
}

TEST(RandomStream, IndexTruncatesTheScaledDrawBelowTheCount)
{
    EXPECT_EQ(RandomStream(kHalf).Index(7), 3);  // 16384 * 7 / 32768 = 3.5
    EXPECT_EQ(RandomStream(kTop).Index(7), 6);
    EXPECT_EQ(RandomStream(kZero).Index(7), 0);
    EXPECT_EQ(RandomStream(kTop).Index(10'000'000'000LL), 10'000'000'000LL * 32767 / 32768);
    EXPECT_EQ(RandomStream(kTop).Index(0), 0);
    EXPECT_EQ(RandomStream(kTop).Index(-4), 0);
}

}  // namespace
}  // namespace kalvo
