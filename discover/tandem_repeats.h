// discover/tandem_repeats.h: telling a short tandem repeat (period 1 to 3: AAAAAA, ACACAC, TATATA,
// with few breaks) from a binding site. Genomes are full of such repeats and a dinucleotide
// shuffle breaks them up, so against shuffled controls they look like strong motifs.
#pragma once
#include <string>
#include <string_view>
#include <vector>

#include "discover/motif_similarity.h"

namespace kalvo {

// The period, 1 to 3, at which a text repeats itself best: the share of its
// letters (from the period on) equal to the letter one period before, and the repeated unit.
struct TandemPeriod {
    int period = 0;
    double share = 0.0;
    std::string unit;
};
TandemPeriod BestTandemPeriod(std::string_view text);

// At least this share of letters repeats the one a period before: one break in five at most.
inline constexpr double kTandemShare = 0.8;
// A motif is a repeat when at least this share of its sites lie in tandem repeats.
inline constexpr double kRepeatSiteShare = 0.5;

// Whether a text is a short tandem repeat (kTandemShare at some period 1 to 3).
bool IsTandemRepeat(std::string_view text);

// Why a motif is, or is not, taken for a repeat.
struct RepeatVerdict {
    bool repeat = false;
    std::string unit;        // the repeated unit, e.g. "AC"
    double siteShare = 0.0;  // sites that lie in a tandem repeat
    std::string reason;      // one line for the reports; empty when not a repeat
};

// A weak motif (under kWeakMotifBits a column on average) that puts at least
// kOneClassShare of its letters on A and T, or on C and G, or whose consensus
// repeats itself at kWeakTandemShare, tells composition or a degenerate repeat
// (ATATACATATAAATTA, GCACACAG), not a site. Strong motifs such as the CACCC
// box (CCACACCC) hold such words too, and stay.
inline constexpr double kWeakMotifBits = 0.8;
inline constexpr double kOneClassShare = 0.75;
inline constexpr double kWeakTandemShare = 0.6;

// A motif is a repeat when its consensus is a tandem repeat; when at least
// kRepeatSiteShare of its sites, each seen with a few residues of context
// (`siteContexts`), lie in one (real sites sit in repeats now and then, a
// repeat's almost always); or when it is weak and AT- or GC-rich or repetitive as above.
RepeatVerdict JudgeRepeat(std::string_view consensus, const MotifShares& shares,
                          const std::vector<std::string>& siteContexts);

}  // namespace kalvo
