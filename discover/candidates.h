// discover/candidates.h: a round's restarts merged into candidate motifs, and the candidate
// a round reports: trimmed to its core and refitted to its own sites when that separates better.
#pragma once
#include <cstddef>
#include <optional>
#include <vector>

#include "discover/motif_similarity.h"
#include "discover/restarts.h"

namespace kalvo {

// Forms in which a restart's motif is counted as tested: as found, three for its
// trims, refitted. The trims are nested cuts of one motif whose tests move
// together, so however many are tried they count as three. The E-value counts
// these forms for every restart, since which forms are scored depends on the scores themselves.
inline constexpr int kFormsTested = 5;

// A merged motif in the making: its best restart and how many restarts agree.
struct Cluster {
    std::size_t representative = 0;
    std::vector<std::size_t> members;
};

// A restart's motif in the form that separates best so far. On a set too
// small to hold some out, a refitted motif keeps the separation of the form it
// was refitted from: that is what its significance is measured by.
struct Candidate {
    MotifModel model;
    RunSummary summary;
    Separation separation;
    int left = 0;   // columns trimmed from the restart's motif
    int right = 0;
};

// The candidate a round reports, and the cluster of restarts it came from.
struct ChosenCandidate {
    Candidate candidate;
    std::size_t cluster = 0;
};

// A restart's motif in its best form: as found or trimmed, then refitted to its sites when that separates better.
Candidate BestForm(const ScoringSets& sets, const RestartResult& restart);

// Restarts that found a site, best first; each joins the first cluster whose best restart it matches.
std::vector<Cluster> ClusterRestarts(const std::vector<RestartResult>& results);

// Restarts that must agree on a motif before it is reported: on a set too small
// to hold some out, two when the round ran more than one, since a motif measured
// on the sequences it was fitted to may be one sampler's chance find; otherwise one.
std::size_t SupportNeeded(const ScoringSets& sets, std::size_t restartsInRound);

// The merged motifs not like one reported before, after trimming their ends
// and refitting, best first; only the first few such clusters with `support` restarts are tried
// (those with fewer are ranked too, to be set aside, but do not count).
std::vector<ChosenCandidate> RankCandidates(const ScoringSets& sets, const std::vector<RestartResult>& results,
                                            const std::vector<Cluster>& clusters,
                                            const std::vector<MotifShares>& reported, std::size_t support = 1);

// The best of RankCandidates.
std::optional<ChosenCandidate> ChooseCandidate(const ScoringSets& sets, const std::vector<RestartResult>& results,
                                               const std::vector<Cluster>& clusters,
                                               const std::vector<MotifShares>& reported);

}  // namespace kalvo
