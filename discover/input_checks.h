// discover/input_checks.h: a discovery's inputs checked before anything is written: sequences a
// motif fits in, and sets on which a motif could be significant at all.
#pragma once
#include <optional>
#include <string>
#include <vector>

#include "discover/scoring_sets.h"
#include "model/refusal.h"

namespace kalvo {

// "motif width 12", "motif widths 8 and 12", "motif widths 8, 12 and 16".
std::string WidthsText(const std::vector<int>& widths);

// Refuses a sequence file no motif can be found in, naming the cause and the
// widths: lines run together by CR-only line ends, or headers without residues.
Outcome CheckResidues(const SequenceTexts& set, const std::string& path, const std::vector<int>& widths);

// Refuses a width above every sequence the restarts sample: they would find
// no room for it. Names the user's file, never the restarts' own input.
Outcome CheckSampledWidths(const ScoringSets& sets, const std::vector<int>& widths, const std::string& inputPath);

// Refuses a width above every sequence of a control file, which could not test a motif that wide.
Outcome CheckControlWidths(const ScoringSets& sets, const std::vector<int>& widths, const std::string& controlPath);

// The least log10 E-value any motif could reach with this many test targets
// and test controls: every target with a site and no control with one.
double BestPossibleLog10EValue(int testTargets, int testControls, int tests);

// Refuses sets on which no motif could reach the E-value threshold, even one
// in every test target and no test control, when `tests` motifs are tested
// in the first round; it says how many targets (or control sequences) it takes.
Outcome CheckCanBeSignificant(const ScoringSets& sets, int tests, double evalueThreshold,
                              const std::optional<std::string>& controlPath);

}  // namespace kalvo
