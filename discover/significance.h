// discover/significance.h: how well a motif separates target sequences from control sequences.
// Each sequence counts once, by its best site; a score threshold splits both
// sets into sequences with a site and without, and a one-sided Fisher exact
// test says how unlikely that many targets with a site would be by chance.
#pragma once
#include <cstdint>
#include <vector>

namespace kalvo {

struct Separation {
    double threshold = 0.0;   // a sequence has a site when its best score is at least this
    int targetHits = 0;
    int targets = 0;
    int controlHits = 0;
    int controls = 0;
    double log10P = 0.0;      // one-sided Fisher exact test; 0 when nothing separates
};

// The threshold, among the targets' best scores, whose split has the smallest p-value.
// Sequences without a scorable word carry -infinity and never have a site.
Separation BestSeparation(std::vector<double> targetBest, std::vector<double> controlBest);

// The site-call threshold: the score t that maximises calls(t) − cost·false(t),
// where calls are the target windows scoring at least t and false(t) the
// control windows that do, scaled to the targets' number of windows. With a
// cost of 2 each call expected true counts +1 and each expected false −1;
// a lower cost favours recall. Scores are of windows (the better strand of
// each); `targetWindows` and `controlWindows` count every scored window, the
// listed ones included.
struct SiteCut {
    double threshold = 0.0;      // +infinity when no threshold gains anything
    double expectedFalse = 0.0;  // false(t): target windows expected to score t by chance
};
SiteCut SiteThreshold(std::vector<double> targetScores, long long targetWindows, std::vector<double> controlScores,
                      long long controlWindows, double falseCallCost = 2.0);

// The split at a threshold chosen beforehand, with its p-value.
Separation SeparationAt(double threshold, const std::vector<double>& targetBest,
                        const std::vector<double>& controlBest);

// log10 of the E-value of a p-value after `tests` motifs were tested.
double Log10EValue(double log10P, int tests);

// log10 of the E-value of a p-value that one of `restarts` restarts reached,
// against what restarts on shuffled copies of the targets reached (the log10
// p-value of each one's motif; 0 for one without a site): how many of the
// restarts would reach it by chance. For sets too small to hold some out,
// whose p-values are measured on the sequences the motifs were fitted to.
double Log10CalibratedEValue(double log10P, std::vector<double> nullLog10P, std::int64_t restarts);

}  // namespace kalvo
