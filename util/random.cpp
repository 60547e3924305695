// util/random.cpp: states of the run's stream computed ahead, and jumps over many draws.
#include "util/random.h"

#include <array>
#include <cstring>

namespace kalvo {
namespace {

constexpr std::size_t kLanes = 32;

// The jumps of 1..32 steps, so the first 32 states need no chain of steps.
struct LaneJumps {
    std::uint32_t multipliers[kLanes];
    std::uint32_t increments[kLanes];
};

constexpr LaneJumps MakeLaneJumps()
{
    LaneJumps jumps{};
    for (std::size_t lane = 0; lane < kLanes; ++lane) {
        const StreamJump jump = RandomStream::JumpOf(lane + 1);
        jumps.multipliers[lane] = jump.multiplier;
        jumps.increments[lane] = jump.increment;
    }
    return jumps;
}

constexpr LaneJumps kLaneJumps = MakeLaneJumps();

// The jumps of 2^k steps, so a skip multiplies once per bit of its length.
constexpr std::array<StreamJump, 64> MakePowerJumps()
{
    std::array<StreamJump, 64> jumps{};
    for (std::size_t k = 0; k < jumps.size(); ++k)
        jumps[k] = RandomStream::JumpOf(std::uint64_t{1} << k);
    return jumps;
}

constexpr std::array<StreamJump, 64> kPowerJumps = MakePowerJumps();

// Eight states in one vector; GCC and Clang lower it to whatever vectors the target has.
typedef std::uint32_t EightStates __attribute__((vector_size(32)));

// Four vectors of eight consecutive states, each vector moved on by 32 steps
// at a time, so the multiplications of the four do not wait on each other.
// Integer arithmetic: any vector width gives the same states.
inline __attribute__((always_inline)) void PreviewLanes(std::uint32_t state, std::uint32_t* states, std::size_t n)
{
    constexpr StreamJump kAhead = RandomStream::JumpOf(kLanes);
    EightStates lanes[4];
    EightStates multipliers[4];
    EightStates increments[4];
    std::memcpy(multipliers, kLaneJumps.multipliers, sizeof multipliers);
    std::memcpy(increments, kLaneJumps.increments, sizeof increments);
    for (std::size_t v = 0; v < 4; ++v)
        lanes[v] = multipliers[v] * state + increments[v];
    std::size_t i = 0;
    for (; i + kLanes <= n; i += kLanes) {
        std::memcpy(states + i, lanes, sizeof lanes);
        for (EightStates& vector : lanes)
            vector = vector * kAhead.multiplier + kAhead.increment;
    }
    if (i < n)
        std::memcpy(states + i, lanes, (n - i) * sizeof(std::uint32_t));
}

void PreviewPortable(std::uint32_t state, std::uint32_t* states, std::size_t n) { PreviewLanes(state, states, n); }

#ifdef KALVO_AVX2_PATHS
__attribute__((target("avx2"))) void PreviewAvx2(std::uint32_t state, std::uint32_t* states, std::size_t n)
{
    PreviewLanes(state, states, n);
}
#endif

}  // namespace

void RandomStream::PreviewStates(std::uint32_t* states, std::size_t n, VectorPath path) const
{
#ifdef KALVO_AVX2_PATHS
    if (path != VectorPath::Portable) {
        PreviewAvx2(m_state, states, n);
        return;
    }
#endif
    (void)path;
    PreviewPortable(m_state, states, n);
}

void RandomStream::Skip(std::uint64_t n)
{
    for (std::size_t bit = 0; n != 0; ++bit, n >>= 1) {
        if (n & 1u)
            m_state = kPowerJumps[bit](m_state);
    }
}

}  // namespace kalvo
