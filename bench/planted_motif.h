// bench/planted_motif.h: random DNA with one copy of a known motif planted in every sequence.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace kalvo::bench {

struct PlantedSite {
    int pos = 0;           // 0-based leftmost residue on the given strand
    bool forward = true;   // false: the reverse complement was planted
};

struct PlantedMotifSet {
    std::string fasta;               // ">seqN\n" and one line of sequence each
    std::vector<PlantedSite> sites;  // one per sequence, in order
};

// Uniform random bases with `motif` planted once per sequence on a random
// strand, each copy with up to `maxMutations` random substitutions. The same
// seed gives the same set on every platform.
PlantedMotifSet MakePlantedMotifSet(int numSeqs, int length, const std::string& motif, int maxMutations,
                                    std::uint32_t seed);

}  // namespace kalvo::bench
