// discover/site_calls.h: the sites of a reported motif: its thresholds, its calls in every
// target, and their masking, so that the next round looks past them.
#pragma once
#include <string>
#include <vector>

#include "discover/candidates.h"
#include "discover/discovery.h"

namespace kalvo {

// The thresholds a reported motif calls its sites at. Sites have a threshold of
// their own: the sequence-level one only measures significance.
CallThresholds ReportedThresholds(const ScoringSets& sets, const Candidate& chosen);

// Calls the motif's sites in every target into `motif.sites`, and masks them,
// and the control windows that score as sites, in `sets`.
void CallSitesAndMask(ScoringSets& sets, DiscoveredMotif& motif, const MotifModel& model,
                      const CallThresholds& thresholds);

// The words a motif calls at `threshold` in the listed targets, each with up to
// `flank` residues on both sides, on the strand it was called on: what tells a repeat.
std::vector<std::string> SiteContexts(const ScoringSets& sets, const MotifModel& model, double threshold,
                                      const std::vector<int>& targets, int flank);

}  // namespace kalvo
