// discover/shuffle.cpp: the Altschul–Erickson Euler-path shuffle for dinucleotides.
// The sequence is a walk through the multigraph whose vertices are its letters and whose
// edges are its dinucleotides. A random walk with the same edges, start and end is drawn
// uniformly: a random spanning arborescence towards the last letter fixes each letter's
// last exit (Wilson's loop-erased walks), the other exits of each letter are put in random
// order, and the walk follows the exits in that order.
#include "discover/shuffle.h"

#include <algorithm>

#include <array>
#include <cstddef>
#include <utility>

#include "discover/usable_stretches.h"

namespace kalvo {
namespace {

std::uint64_t SplitMix64(std::uint64_t& x)
{
    std::uint64_t z = (x += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

std::uint64_t RotateLeft(std::uint64_t x, int k) { return (x << k) | (x >> (64 - k)); }

constexpr int kLetters = 256;

}  // namespace

ShuffleRandom::ShuffleRandom(std::uint64_t seed)
{
    for (std::uint64_t& word : m_state)
        word = SplitMix64(seed);
}

std::uint64_t ShuffleRandom::Next()
{
    const std::uint64_t result = RotateLeft(m_state[1] * 5, 7) * 9;
    const std::uint64_t t = m_state[1] << 17;
    m_state[2] ^= m_state[0];
    m_state[3] ^= m_state[1];
    m_state[1] ^= m_state[2];
    m_state[0] ^= m_state[3];
    m_state[2] ^= t;
    m_state[3] = RotateLeft(m_state[3], 45);
    return result;
}

std::uint64_t ShuffleRandom::Below(std::uint64_t n)
{
    if (n == 0)
        return 0;
    // Draws below 2^64 mod n are rejected, so every residue is equally likely.
    const std::uint64_t threshold = (0 - n) % n;
    for (;;) {
        const std::uint64_t r = Next();
        if (r >= threshold)
            return r % n;
    }
}

std::string ShuffleDinucleotides(std::string_view sequence, ShuffleRandom& random)
{
    const std::size_t length = sequence.size();
    if (length <= 2)
        return std::string(sequence);
    auto letter = [&](std::size_t i) { return static_cast<unsigned char>(sequence[i]); };
    const unsigned char first = letter(0), last = letter(length - 1);

    // Exits of each letter, grouped: exits to other letters first, then its self-loops.
    std::array<std::size_t, kLetters> outs{}, loops{}, begin{};
    for (std::size_t i = 0; i + 1 < length; ++i) {
        ++outs[letter(i)];
        if (letter(i) == letter(i + 1))
            ++loops[letter(i)];
    }
    for (int v = 1; v < kLetters; ++v)
        begin[v] = begin[v - 1] + outs[v - 1];
    std::string exits(length - 1, '\0');
    std::array<std::size_t, kLetters> fill = begin;
    for (std::size_t i = 0; i + 1 < length; ++i)
        if (letter(i) != letter(i + 1))
            exits[fill[letter(i)]++] = sequence[i + 1];
    for (int v = 0; v < kLetters; ++v)
        for (std::size_t k = 0; k < loops[v]; ++k)
            exits[fill[v]++] = static_cast<char>(v);

    // Wilson's algorithm on the letters, rooted at the last letter. Self-loops never belong
    // to the tree (a loop-erased walk drops them), so steps are drawn among the other exits;
    // every letter but the last has one, because the sequence itself leads from it to the end.
    std::array<bool, kLetters> inTree{};
    std::array<std::size_t, kLetters> lastExit{};
    inTree[last] = true;
    for (int v = 0; v < kLetters; ++v) {
        if (outs[v] == 0 || inTree[v])
            continue;
        for (int u = v; !inTree[u];) {
            lastExit[u] = begin[u] + random.Below(outs[u] - loops[u]);
            u = static_cast<unsigned char>(exits[lastExit[u]]);
        }
        for (int u = v; !inTree[u]; u = static_cast<unsigned char>(exits[lastExit[u]]))
            inTree[u] = true;
    }

    // The last exit goes last; the others (all exits of the last letter) in random order.
    for (int v = 0; v < kLetters; ++v) {
        if (outs[v] == 0)
            continue;
        std::size_t count = outs[v];
        if (v != last) {
            std::swap(exits[lastExit[v]], exits[begin[v] + count - 1]);
            --count;
        }
        for (std::size_t k = count; k > 1; --k)
            std::swap(exits[begin[v] + k - 1], exits[begin[v] + random.Below(k)]);
    }

    std::string shuffled(length, '\0');
    shuffled[0] = static_cast<char>(first);
    std::array<std::size_t, kLetters> next = begin;
    unsigned char at = first;
    for (std::size_t i = 1; i < length; ++i) {
        shuffled[i] = exits[next[at]++];
        at = static_cast<unsigned char>(shuffled[i]);
    }
    return shuffled;
}

std::string ShuffleAroundRunsOfN(std::string_view sequence, ShuffleRandom& random)
{
    if (sequence.find('N') == std::string_view::npos)
        return ShuffleDinucleotides(sequence, random);
    std::string shuffled(sequence);
    for (const Stretch& stretch : UsableStretches(sequence)) {
        const auto start = static_cast<std::size_t>(stretch.start);
        const auto length = static_cast<std::size_t>(stretch.Length());
        shuffled.replace(start, length, ShuffleDinucleotides(sequence.substr(start, length), random));
    }
    return shuffled;
}

std::string ShuffleInWindows(std::string_view sequence, ShuffleRandom& random)
{
    const std::size_t windows = std::max<std::size_t>(1, sequence.size() / kShuffleWindow);
    if (windows == 1)
        return ShuffleAroundRunsOfN(sequence, random);
    std::string shuffled;
    shuffled.reserve(sequence.size());
    for (std::size_t w = 0; w < windows; ++w) {
        // Evenly spaced bounds: every window holds kShuffleWindow to 2·kShuffleWindow − 1 residues.
        const std::size_t start = sequence.size() * w / windows;
        const std::size_t end = sequence.size() * (w + 1) / windows;
        shuffled += ShuffleAroundRunsOfN(sequence.substr(start, end - start), random);
    }
    return shuffled;
}

std::vector<std::string> ShuffledControls(const std::vector<std::string>& sequences, int copies,
                                          std::uint64_t seed)
{
    std::vector<std::string> controls;
    if (copies <= 0)
        return controls;
    controls.reserve(sequences.size() * static_cast<std::size_t>(copies));
    ShuffleRandom random(seed);
    for (int c = 0; c < copies; ++c)
        for (const std::string& sequence : sequences)
            controls.push_back(ShuffleInWindows(sequence, random));
    return controls;
}

}  // namespace kalvo
