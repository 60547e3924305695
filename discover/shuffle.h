// discover/shuffle.h: shuffled copies of sequences that keep every dinucleotide count, for the control set.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kalvo {

// xoshiro256** seeded through splitmix64: the same seed gives the same draws on every machine.
class ShuffleRandom {
public:
    explicit ShuffleRandom(std::uint64_t seed);
    // The next 64 random bits.
    std::uint64_t Next();
    // Uniform in 0..n-1 without modulo bias (0 when n is 0).
    std::uint64_t Below(std::uint64_t n);

private:
    std::uint64_t m_state[4];
};

// A uniformly drawn sequence with exactly the dinucleotide counts, first letter and last letter
// of `sequence` (Euler-path shuffle). Every byte is a letter; lengths 0..2 come back unchanged.
std::string ShuffleDinucleotides(std::string_view sequence, ShuffleRandom& random);

// ShuffleDinucleotides of each stretch between runs of N, the N left where they are: masked
// sequence stays out of the shuffled letters and their counts, and a control keeps its target's
// usable length. A sequence without N is shuffled exactly as ShuffleDinucleotides shuffles it.
std::string ShuffleAroundRunsOfN(std::string_view sequence, ShuffleRandom& random);

// Residues of the windows a long sequence is shuffled in, so that its local
// composition (a GC-rich island, an AT-rich stretch) stays where it was.
inline constexpr std::size_t kShuffleWindow = 150;

// ShuffleAroundRunsOfN of each of the evenly spaced windows of 150 to 299 residues a sequence
// divides into (a shorter sequence is one window). Each window keeps its dinucleotide counts
// and its first and last letters, so the whole sequence keeps its own too.
std::string ShuffleInWindows(std::string_view sequence, ShuffleRandom& random);

// `copies` shuffles (ShuffleInWindows) of every sequence from one generator seeded with `seed`, copy-major:
// element c·n + i is copy c of sequence i (n sequences). Empty when copies <= 0.
std::vector<std::string> ShuffledControls(const std::vector<std::string>& sequences, int copies,
                                          std::uint64_t seed);

}  // namespace kalvo
