// tests/discover/hand_made_motif.h: a reported motif built by hand from its column counts, for the output-file tests.
#pragma once
#include <array>
#include <cstddef>
#include <string>
#include <vector>

#include "discover/discovery.h"

namespace kalvo::testing {

// A significant motif of rank `rank` whose matrix is `counts` (one row of A, C,
// G, T per column) with the shares of those counts; the other figures are
// plausible constants that the tests set again where they matter.
inline DiscoveredMotif HandMadeMotif(int rank, const std::string& consensus, double log10E,
                                     const std::vector<std::array<int, 4>>& counts)
{
    DiscoveredMotif motif;
    motif.rank = rank;
    motif.id = std::to_string(rank) + "-" + consensus;
    motif.consensus = consensus;
    motif.width = static_cast<int>(consensus.size());
    motif.log10EValue = log10E;
    motif.log10PValue = log10E - 1.5;
    motif.significant = true;
    motif.threshold = 4.0;
    motif.targetHits = 14;
    motif.targets = 20;
    motif.controlHits = 2;
    motif.controls = 20;
    motif.foundBy = 6;
    motif.restartsTried = 8;
    motif.model.width = motif.width;
    motif.model.consensus = consensus;
    motif.model.counts = counts;
    const auto& first = counts.front();
    motif.model.numSites = first[0] + first[1] + first[2] + first[3];
    for (const auto& column : counts) {
        std::array<double, 4> shares{};
        for (std::size_t b = 0; b < 4; ++b)
            shares[b] = column[b] / static_cast<double>(motif.model.numSites);
        motif.model.probs.push_back(shares);
    }
    return motif;
}

}  // namespace kalvo::testing
