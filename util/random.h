// util/random.h: the run's random stream, a 32-bit linear congruential generator with 15-bit draws.
#pragma once
#include <cstddef>
#include <cstdint>

#include "util/vector_paths.h"

namespace kalvo {

// x ↦ multiplier·x + increment (mod 2^32): what some number of steps of the stream do at once.
struct StreamJump {
    std::uint32_t multiplier = 1;
    std::uint32_t increment = 0;
    std::uint32_t operator()(std::uint32_t state) const { return state * multiplier + increment; }
};

// x = x·214013 + 2531011 (mod 2^32), draw = (x >> 16) & 32767. A run is a pure
// function of its inputs and the state it starts from, so every consumer of
// randomness takes its draws from one of these, in a fixed order.
class RandomStream {
public:
    static constexpr std::uint32_t kMultiplier = 214013u;
    static constexpr std::uint32_t kIncrement = 2531011u;

    explicit RandomStream(std::uint32_t seed = 0) : m_state(seed) {}

    void Seed(std::uint32_t seed) { m_state = seed; }
    std::uint32_t State() const { return m_state; }

    // The next draw r, in 0..32767.
    int Next()
    {
        m_state = m_state * kMultiplier + kIncrement;
        return DrawOf(m_state);
    }
    // r / 32768, in [0, 1): acceptance tests and slot draws.
    double Uniform() { return Next() / 32768.0; }
    // r / 32767, in [0, 1]: only the choice of a correlated-pair move and of a shift direction.
    double UniformClosed() { return Next() / 32767.0; }
    // The integer part of (r / 32768)·n: an index among n candidates (0 when n ≤ 0).
    long long Index(long long n)
    {
        const double u = Uniform();
        return n > 0 ? static_cast<long long>(u * static_cast<double>(n)) : 0;
    }

    // The draw of the step that left the stream in `state`.
    static int DrawOf(std::uint32_t state) { return static_cast<int>((state >> 16) & 32767u); }
    // The stream `steps` steps on is again a linear congruence, so loops that
    // know their draws ahead compute several states at once from one state.
    static constexpr StreamJump JumpOf(std::uint64_t steps)
    {
        StreamJump jump;
        StreamJump power{kMultiplier, kIncrement};
        for (; steps != 0; steps >>= 1) {
            if (steps & 1u)
                jump = {power.multiplier * jump.multiplier, power.multiplier * jump.increment + power.increment};
            power = {power.multiplier * power.multiplier, power.multiplier * power.increment + power.increment};
        }
        return jump;
    }
    // The states the next n steps would leave, without taking them, computed
    // eight lanes at a time. A loop that will draw n numbers takes them from
    // here and then resumes from the last state, so every draw keeps its place.
    void PreviewStates(std::uint32_t* states, std::size_t n, VectorPath path = BestVectorPath()) const;
    // Goes on from a state PreviewStates gave, as if each draw up to it had been made.
    void ResumeAt(std::uint32_t state) { m_state = state; }
    // Goes on as if n more draws had been made.
    void Skip(std::uint64_t n);

private:
    std::uint32_t m_state;
};

// Seed of the k-th of several runs that share a base seed: base + k·2654435761
// mod 2^32. Run 0 uses the base itself, so any run can be repeated alone with its seed.
inline std::uint32_t RunSeed(std::uint32_t base, std::int64_t k)
{
    // Unsigned arithmetic wraps, which is exactly the reduction mod 2^32.
    return base + static_cast<std::uint32_t>(k) * 2654435761u;
}

}  // namespace kalvo
