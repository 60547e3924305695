// util/random.h: the run's random stream, a 32-bit linear congruential generator with 15-bit draws.
#pragma once
#include <cstdint>

namespace kalvo {

// x = x·214013 + 2531011 (mod 2^32), draw = (x >> 16) & 32767. A run is a pure
// function of its inputs and the state it starts from, so every consumer of
// randomness takes its draws from one of these, in a fixed order.
class RandomStream {
public:
    explicit RandomStream(std::uint32_t seed = 0) : m_state(seed) {}

    void Seed(std::uint32_t seed) { m_state = seed; }
    std::uint32_t State() const { return m_state; }

    // The next draw r, in 0..32767.
    int Next()
    {
        m_state = m_state * 214013u + 2531011u;
        return static_cast<int>((m_state >> 16) & 32767u);
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
