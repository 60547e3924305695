// discover/input_checks.cpp: the checks of a discovery's inputs that name what went wrong and what it takes.
#include "discover/input_checks.h"

#include <algorithm>
#include <cmath>
#include <sstream>

#include "discover/fisher.h"
#include "discover/significance.h"
#include "discover/usable_stretches.h"

namespace kalvo {
namespace {

// Beyond this many sequences no count is suggested: no set that large is short of them.
constexpr int kMostSuggested = 1 << 24;

// A CR that is followed by more of the line: the line end of old Mac files.
// (A CR before the LF, or at the end of the text, is a line end already.)
bool HoldsInnerCr(const std::string& line)
{
    const std::size_t cr = line.find('\r');
    return cr != std::string::npos && line.find_first_not_of('\r', cr) != std::string::npos;
}

std::string Count(long long n, const std::string& one, const std::string& many)
{
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

// The longest stretch without N of the listed sequences: runs of N hold no window.
std::size_t Longest(const std::vector<std::string>& sequences, const std::vector<int>& which)
{
    long long longest = 0;
    for (int i : which)
        longest = std::max(longest, LongestUsableStretch(sequences[static_cast<std::size_t>(i)]));
    return static_cast<std::size_t>(longest);
}

// The test counts of a set of `targets` with shuffled controls: all of them below
// the hold-out size, else the held-out third and the shuffles of those. The
// copies are counted as for short sequences, whose residues never cap them:
// the sets this suggests a size for are small.
std::pair<int, int> ShuffledTestCounts(int targets)
{
    const int tested = targets < kMinSequencesForHoldOut ? targets : targets - std::max(1, 2 * targets / 3);
    return {tested, tested * ControlCopies(static_cast<std::size_t>(targets), 1)};
}

// The least number of targets whose shuffled controls could give a significant
// motif (above 1000 only to the next power of two); 0 beyond kMostSuggested.
int LeastTargets(int from, int tests, double log10Threshold)
{
    for (int targets = from; targets <= kMostSuggested; targets = targets < 1000 ? targets + 1 : targets * 2) {
        const auto [tested, controls] = ShuffledTestCounts(targets);
        if (BestPossibleLog10EValue(tested, controls, tests) <= log10Threshold)
            return targets;
    }
    return 0;
}

// The least number of control sequences in a file that could give a significant
// motif with `testTargets`; `halved` when only half of them are tested. 0 beyond kMostSuggested.
int LeastControls(int from, int testTargets, bool halved, int tests, double log10Threshold)
{
    auto enough = [&](int controls) {
        return BestPossibleLog10EValue(testTargets, halved ? controls / 2 : controls, tests) <= log10Threshold;
    };
    // More controls never make the best E-value worse: double, then halve the gap.
    int high = std::max(from, 1);
    while (!enough(high)) {
        if (high > kMostSuggested / 2)
            return 0;
        high *= 2;
    }
    int low = from - 1;  // not enough
    while (high - low > 1) {
        const int middle = low + (high - low) / 2;
        (enough(middle) ? high : low) = middle;
    }
    return high;
}

}  // namespace

std::string WidthsText(const std::vector<int>& widths)
{
    std::string text = widths.size() == 1 ? "motif width " : "motif widths ";
    for (std::size_t i = 0; i < widths.size(); ++i) {
        if (i > 0)
            text += i + 1 == widths.size() ? " and " : ", ";
        text += std::to_string(widths[i]);
    }
    return text;
}

Outcome CheckResidues(const SequenceTexts& set, const std::string& path, const std::vector<int>& widths)
{
    const bool crOnly = std::any_of(set.names.begin(), set.names.end(), HoldsInnerCr) ||
                        std::any_of(set.sequences.begin(), set.sequences.end(), HoldsInnerCr);
    if (crOnly)
        return Refusal{"sequence file '" + path + "' ends its lines with CR alone (old Mac line ends): they read "
                       "as one line, a header, so " +
                       (set.residues == 0 ? "no residue is left for " + WidthsText(widths)
                                          : std::string("the residues on them are lost")) +
                       "; save the file with LF line ends"};
    if (set.residues == 0)
        return Refusal{"sequence file '" + path + "' holds " +
                       Count(static_cast<long long>(set.names.size()), "'>' header line", "'>' header lines") +
                       " and no residues: there is no room for " + WidthsText(widths)};
    return std::nullopt;
}

Outcome CheckSampledWidths(const ScoringSets& sets, const std::vector<int>& widths, const std::string& inputPath)
{
    const std::vector<std::string>& targets = sets.targets.sequences;
    const std::size_t longest = Longest(targets, AllIndexes(targets.size()));
    const std::size_t longestSampled = Longest(targets, sets.sampled);
    for (int width : widths) {
        const auto needed = static_cast<std::size_t>(width);
        if (needed > longest)
            return Refusal{"motif width " + std::to_string(width) + " is above the length of every sequence in '" +
                           inputPath + "' (the longest has " + std::to_string(longest) + " residues outside runs of N)"};
        if (needed > longestSampled)
            return Refusal{"motif width " + std::to_string(width) +
                           " is above the length of every sequence the restarts sample from '" + inputPath +
                           "': the longest of the " + std::to_string(sets.sampled.size()) + " they sample has " +
                           std::to_string(longestSampled) + " residues outside runs of N (they sample up to about " +
                           std::to_string(kSampledResidues) + " residues of two thirds of the sequences, drawn with "
                           "the seed); give a smaller width, or more sequences that long"};
    }
    return std::nullopt;
}

Outcome CheckControlWidths(const ScoringSets& sets, const std::vector<int>& widths, const std::string& controlPath)
{
    std::size_t longest = 0;
    for (const auto& codes : sets.controlCodes)
        longest = std::max(longest, codes.size());
    for (int width : widths) {
        if (static_cast<std::size_t>(width) > longest)
            return Refusal{"control set '" + controlPath + "' has no sequence as long as the motif width " +
                           std::to_string(width) + " (the longest has " + std::to_string(longest) +
                           " residues): it cannot test a motif that wide"};
    }
    return std::nullopt;
}

double BestPossibleLog10EValue(int testTargets, int testControls, int tests)
{
    return Log10EValue(Log10FisherEnrichment(testTargets, testTargets, 0, testControls), tests);
}

Outcome CheckCanBeSignificant(const ScoringSets& sets, int tests, double evalueThreshold,
                              const std::optional<std::string>& controlPath)
{
    // The sets a motif's p-value is measured on: those of its held-out test
    // when the set is large enough to hold some out, else all of them.
    const bool heldOut = sets.training != sets.test;
    const int testTargets = static_cast<int>(sets.test.size());
    const int testControls = static_cast<int>(heldOut ? sets.testingControls.size() : sets.allControls.size());
    const double best = BestPossibleLog10EValue(testTargets, testControls, tests);
    const double log10Threshold = std::log10(evalueThreshold);
    if (best <= log10Threshold)
        return std::nullopt;
    std::ostringstream threshold;
    threshold << evalueThreshold;
    const std::string why = "a motif found in every tested target (" + std::to_string(testTargets) +
                            ") and in no control (" + std::to_string(testControls) + ") would still have an E-value of " +
                            FormatEValue(best) + " after " + std::to_string(tests) +
                            " motifs tested, above the threshold " + threshold.str();
    if (controlPath) {
        long long residues = 0;
        for (const auto& codes : sets.controlCodes)
            residues += static_cast<long long>(codes.size());
        const int controls = static_cast<int>(sets.controlCodes.size());
        const int least = LeastControls(controls + 1, testTargets, heldOut, tests, log10Threshold);
        return Refusal{"control set '" + *controlPath + "' holds " + Count(controls, "sequence", "sequences") + " (" +
                       Count(residues, "residue", "residues") + "): too few to test a motif (" +
                       (least > 0 ? "at least " + Count(least, "control sequence", "control sequences") + "; " : "") +
                       (heldOut ? "with " + std::to_string(kMinSequencesForHoldOut) +
                                      " targets or more, motifs are tested on half of the control sequences; "
                                : "") +
                       why + ")"};
    }
    const int targets = static_cast<int>(sets.targets.sequences.size());
    const int least = LeastTargets(targets + 1, tests, log10Threshold);
    return Refusal{(targets == 1 ? std::string("one sequence") : std::to_string(targets) + " sequences") +
                   " cannot make a motif significant" +
                   (least > 0 ? ": give at least " + std::to_string(least) + " sequences" : "") + " (" + why + ")"};
}

}  // namespace kalvo
