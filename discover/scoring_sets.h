// discover/scoring_sets.h: the targets and controls of a discovery, read, split and encoded once:
// what its restarts sample and its motifs are measured on.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "model/refusal.h"

namespace kalvo {

// Targets held out of the restarts, so that their motifs are tested on
// sequences they were not fitted to. Sets smaller than this are used whole for both.
inline constexpr int kMinSequencesForHoldOut = 40;
// The restarts sample at most about this many residues of the training targets:
// enough sites to find a motif, while refitting and testing use many more.
inline constexpr long long kSampledResidues = 100000;
// Length of the windows the restarts sample of targets that hold more than that between them.
inline constexpr long long kSampledWindow = 1000;
// Shuffled controls hold at most this many residues, or one copy of the targets when they hold more:
// copies beyond the first only add power to sets of few sequences.
inline constexpr long long kControlResidues = 10000000;

// Sequences read the way every run reads them: upper case, names without '>'.
struct SequenceTexts {
    std::vector<std::string> names;  // header lines as read, without '>'
    std::vector<std::string> sequences;
    long long residues = 0;
    std::vector<std::string> warnings;  // what was read loosely
};

// Reads a discovery's input as every run reads a sequence file, and then as
// a discovery must: a UTF-8 byte order mark before a header is no part of the
// name, and U is read as T (RNA), with a warning that counts them. Sequences
// may be empty or short here; the checks of a discovery name its widths.
Outcome ReadSequenceTexts(const std::string& path, SequenceTexts& set);

// Copies of every target, shuffled with their dinucleotides kept: at least as
// many residues as the targets, and at least about a thousand sequences when the
// set is small, unless that would take more than kControlResidues.
int ControlCopies(std::size_t targets, long long residues);

// 0, 1, ..., n - 1.
std::vector<int> AllIndexes(std::size_t n);

// Seeded, sorted split of the targets: two thirds for training (where
// thresholds are chosen and motifs refitted), the rest to test on; the
// restarts sample a part of the training targets, as many residues (outside runs of N) as it takes
// to find a motif and no more, since their time grows with it. Small sets are
// used whole for everything.
struct TargetSplit {
    std::vector<int> sampled;
    std::vector<int> training;
    std::vector<int> test;
};
TargetSplit SplitTargets(const SequenceTexts& targets, std::uint64_t seed);

// The sequences motifs are scored on, as letter codes; the sites of the motifs
// reported so far become 4 in both sets, so that later rounds look past them.
struct ScoringSets {
    SequenceTexts targets;
    std::vector<std::vector<std::uint8_t>> targetCodes;
    std::vector<std::vector<std::uint8_t>> controlCodes;
    bool bothStrands = true;
    std::vector<int> sampled;  // what the restarts sample: part of the training targets
    std::vector<int> training;
    std::vector<int> test;
    std::vector<int> allControls;
    std::vector<int> choosingControls;  // where a held-out test chooses its threshold
    std::vector<int> testingControls;   // where it measures it
};

// The sets of a discovery: targets split with `seed`, controls from a file
// (`controlFile`) or shuffled from the targets.
ScoringSets MakeScoringSets(SequenceTexts targets, const std::vector<std::string>& controls, bool controlFile,
                            bool bothStrands, std::uint64_t seed);

// A part of a target the restarts sample: residues [start, start + length) of target seqIndex.
struct SampledPiece {
    int seqIndex = 0;
    long long start = 0;
    long long length = 0;
    bool whole = true;  // the whole target
};

// What the restarts sample: each sampled target whole while they hold about
// kSampledResidues or less between them; past that, evenly spaced windows of
// kSampledWindow residues from each, as many as its share of kSampledResidues
// (at least one), so that a restart's time and memory never grow with the longest sequence.
// Runs of N count for nothing: a target that holds some is sampled in the stretches
// between them (windows over those stretches only), each piece named by where it lies.
std::vector<SampledPiece> SampledPieces(const ScoringSets& sets);

}  // namespace kalvo
