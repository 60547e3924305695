// tests/util/random_test.cpp: the run's random stream draws the same numbers everywhere.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

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

TEST(RandomStream, StatesComputedAheadAndJumpsMatchStepping)
{
    for (std::uint32_t seed : {0u, 1u, 0xFFFFFFFFu, kHalf}) {
        RandomStream stepped(seed);
        std::vector<std::uint32_t> expected;
        for (int i = 0; i < 1000; ++i) {
            stepped.Next();
            expected.push_back(stepped.State());
        }
        for (VectorPath path : {VectorPath::Portable, VectorPath::Avx2, VectorPath::Avx512}) {
            if (!VectorPathAvailable(path))
                continue;
            // Short previews, and lengths around the lanes of 8 and 32 states.
            for (std::size_t n : {0u, 1u, 7u, 8u, 31u, 32u, 33u, 64u, 999u, 1000u}) {
                std::vector<std::uint32_t> states(n);
                RandomStream(seed).PreviewStates(states.data(), n, path);
                EXPECT_TRUE(std::equal(states.begin(), states.end(), expected.begin()))
                    << VectorPathName(path) << ", " << n << " states";
            }
        }
        for (std::uint64_t n : {0u, 1u, 2u, 33u, 999u}) {
            RandomStream skipped(seed);
            skipped.Skip(n);
            EXPECT_EQ(skipped.State(), n == 0 ? seed : expected[n - 1]) << n;
            EXPECT_EQ(RandomStream::JumpOf(n)(seed), skipped.State()) << n;
        }
    }
    // The stream's period is 2^32: a jump of 2^32 steps, or any multiple, leaves it where it was.
    RandomStream full(12345);
    full.Skip(std::uint64_t{1} << 32);
    EXPECT_EQ(full.State(), 12345u);
    full.Skip(std::uint64_t{3} << 40);
    EXPECT_EQ(full.State(), 12345u);
}

}  // namespace
}  // namespace kalvo
