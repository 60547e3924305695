// report/sequence_logo.h: the motif of a run drawn as a sequence logo, a standalone SVG picture.
#pragma once
#include <array>
#include <string>
#include <vector>

#include "report/run_summary.h"

namespace kalvo {

struct LogoOptions {
    bool reverseComplement = false;  // draw the motif as seen on the other strand
    double columnWidth = 32.0;       // pixels per motif column
    double bitHeight = 60.0;         // pixels per bit; a stack is at most 2 bits tall
};

// One letter of a stack: its share of the column times the column's information.
struct LogoLetter {
    char letter = 'A';
    double bits = 0.0;
};

// One column as drawn: letters from the bottom up, the smallest share first.
struct LogoStack {
    int column = 0;                   // 1-based, in drawing order
    double bits = 0.0;                // stack height
    std::vector<LogoLetter> letters;  // letters with a share above 0 only
};

// A correlated column pair as drawn: 0-based columns in drawing order, left < right.
struct LogoArc {
    int left = 0;
    int right = 0;
    double logBF = 0.0;
};

// Small-sample correction of the information content of a DNA column with n
// sites: 3 / (2 ln 2 · n) bits; 0 for no sites.
double SmallSampleCorrection(int numSites);

// Stack height of a column: max(0, 2 − (H + e(n))) bits, H the column's entropy
// in bits. Without sites every stack is empty.
double ColumnInformation(const std::array<double, 4>& shares, int numSites);

// The stacks of the run's motif, in drawing order.
std::vector<LogoStack> LogoStacks(const RunSummary& summary, const LogoOptions& options);

// The correlated pairs of the run's motif, mapped to drawing order.
std::vector<LogoArc> LogoArcs(const RunSummary& summary, const LogoOptions& options);

// A standalone SVG document: one stack per column, a y axis in bits, column
// numbers, an arc labelled with its log Bayes factor per correlated pair, and
// a caption with the consensus and the number of sites.
std::string SequenceLogoSvg(const RunSummary& summary, const LogoOptions& options = {});

}  // namespace kalvo
