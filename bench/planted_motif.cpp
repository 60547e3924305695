// bench/planted_motif.cpp: the planted-motif generator, built on mt19937, whose output is the same everywhere.
#include "bench/planted_motif.h"

#include <random>

#include "util/sequence_text.h"

namespace kalvo::bench {
namespace {

constexpr char kBases[] = "ACGT";

// Standard distributions differ between library vendors; a plain remainder
// keeps the generated inputs identical everywhere (its tiny bias is harmless here).
int Below(std::mt19937& rng, int n) { return static_cast<int>(rng() % static_cast<std::uint32_t>(n)); }

}  // namespace

PlantedMotifSet MakePlantedMotifSet(int numSeqs, int length, const std::string& motif, int maxMutations,
                                    std::uint32_t seed)
{
    std::mt19937 rng(seed);
    const int width = static_cast<int>(motif.size());
    PlantedMotifSet set;
    set.fasta.reserve(static_cast<std::size_t>(numSeqs) * static_cast<std::size_t>(length + 16));
    for (int s = 0; s < numSeqs; ++s) {
        std::string seq(static_cast<std::size_t>(length), 'A');
        for (char& c : seq)
            c = kBases[Below(rng, 4)];
        PlantedSite site;
        if (length >= width) {
            std::string copy = motif;
            const int mutations = Below(rng, maxMutations + 1);
            for (int m = 0; m < mutations; ++m)
                copy[static_cast<std::size_t>(Below(rng, width))] = kBases[Below(rng, 4)];
            site.forward = Below(rng, 2) == 0;
            if (!site.forward)
                copy = ReverseComplement(copy);
            site.pos = Below(rng, length - width + 1);
            seq.replace(static_cast<std::size_t>(site.pos), copy.size(), copy);
        }
        set.sites.push_back(site);
        set.fasta += ">seq" + std::to_string(s + 1) + "\n" + seq + "\n";
    }
    return set;
}

}  // namespace kalvo::bench
