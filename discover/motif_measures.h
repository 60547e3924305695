// discover/motif_measures.h: a motif measured on a discovery's sets: how well it separates the
// targets from the controls, and the scores its sites are called from.
#pragma once
#include <vector>

#include "discover/motif_scan.h"
#include "discover/scoring_sets.h"
#include "discover/significance.h"

namespace kalvo {

// Whether motifs are measured on targets held out of the restarts and refits;
// a set too small for that is used whole for both.
inline bool HoldsOut(const ScoringSets& sets) { return sets.training != sets.test; }

// How well the motif separates targets from controls: on the test targets, at
// a threshold chosen on the training targets, when the set is large enough to hold some out.
Separation Separate(const ScoringSets& sets, const MotifScanner& scanner);

// Site-call threshold of a motif, from the windows of the listed targets and
// of the controls that score at least `floor`.
CallThresholds CallThreshold(const ScoringSets& sets, const MotifScanner& scanner, double floor,
                             const std::vector<int>& targets, double falseCallCost);

}  // namespace kalvo
