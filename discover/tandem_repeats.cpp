// discover/tandem_repeats.cpp: scoring texts and motifs as short tandem repeats.
#include "discover/tandem_repeats.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>

namespace kalvo {
namespace {

bool IsBase(char letter) { return letter == 'A' || letter == 'C' || letter == 'G' || letter == 'T'; }

// The unit of a repeat of `period` in `text`: its commonest word of that length, rotated to
// its smallest form so that ACACAC and CACACA name one repeat.
std::string RepeatUnit(std::string_view text, int period)
{
    std::map<std::string, int> seen;
    const auto p = static_cast<std::size_t>(period);
    for (std::size_t i = 0; i + p <= text.size(); ++i) {
        std::string word(text.substr(i, p));
        std::string smallest = word;
        for (std::size_t r = 1; r < p; ++r)
            smallest = std::min(smallest, word.substr(r) + word.substr(0, r));
        ++seen[smallest];
    }
    std::string best;
    int most = 0;
    for (const auto& [word, count] : seen)
        if (count > most) {
            best = word;
            most = count;
        }
    return best;
}

}  // namespace

TandemPeriod BestTandemPeriod(std::string_view text)
{
    TandemPeriod best;
    for (int period = 1; period <= 3; ++period) {
        const auto p = static_cast<std::size_t>(period);
        if (text.size() <= p)
            break;
        int same = 0;
        for (std::size_t i = p; i < text.size(); ++i)
            same += IsBase(text[i]) && text[i] == text[i - p] ? 1 : 0;
        const double share = static_cast<double>(same) / static_cast<double>(text.size() - p);
        // A longer period repeats whatever a shorter one does: it wins only by repeating more.
        if (share > best.share + 1e-9) {
            best.period = period;
            best.share = share;
        }
    }
    if (best.period > 0)
        best.unit = RepeatUnit(text, best.period);
    return best;
}

bool IsTandemRepeat(std::string_view text) { return BestTandemPeriod(text).share >= kTandemShare; }

namespace {

// Why a weak motif is no site ("AT-rich", "a degenerate repeat of CA"); empty for a strong one or any other.
std::string WeakRepetitiveMotif(std::string_view consensus, const MotifShares& shares)
{
    if (shares.empty())
        return "";
    double bits = 0.0;
    double at = 0.0;
    for (const auto& column : shares) {
        bits += ColumnBits(column);
        at += column[0] + column[3];
    }
    const auto columns = static_cast<double>(shares.size());
    if (bits / columns >= kWeakMotifBits)
        return "";
    if (at / columns >= kOneClassShare)
        return "AT-rich";
    if (1.0 - at / columns >= kOneClassShare)
        return "GC-rich";
    const TandemPeriod period = BestTandemPeriod(consensus);
    if (period.share >= kWeakTandemShare)
        return "a degenerate repeat of " + period.unit;
    return "";
}

std::string Percent(double share)
{
    char text[16];
    std::snprintf(text, sizeof text, "%.0f%%", 100.0 * share);
    return text;
}

}  // namespace

RepeatVerdict JudgeRepeat(std::string_view consensus, const MotifShares& shares,
                          const std::vector<std::string>& siteContexts)
{
    RepeatVerdict verdict;
    std::map<std::string, int> units;
    int inRepeats = 0;
    for (const std::string& context : siteContexts) {
        const TandemPeriod period = BestTandemPeriod(context);
        if (period.share >= kTandemShare) {
            ++inRepeats;
            ++units[period.unit];
        }
    }
    if (!siteContexts.empty())
        verdict.siteShare = static_cast<double>(inRepeats) / static_cast<double>(siteContexts.size());
    const TandemPeriod own = BestTandemPeriod(consensus);
    const std::string sites = " (" + Percent(verdict.siteShare) + " of its sites lie in a tandem repeat)";
    if (own.share >= kTandemShare) {
        verdict.repeat = true;
        verdict.unit = own.unit;
        verdict.reason = "its consensus is a tandem repeat of " + own.unit + sites;
        return verdict;
    }
    if (inRepeats > 0 && verdict.siteShare >= kRepeatSiteShare) {
        int most = 0;
        for (const auto& [unit, count] : units)
            if (count > most) {
                verdict.unit = unit;
                most = count;
            }
        verdict.repeat = true;
        verdict.reason = "its sites lie in tandem repeats of " + verdict.unit + sites;
        return verdict;
    }
    const std::string weak = WeakRepetitiveMotif(consensus, shares);
    if (!weak.empty()) {
        verdict.repeat = true;
        verdict.unit = weak.starts_with("a degenerate") ? own.unit : weak.substr(0, 2);
        verdict.reason = "a weak motif, " + weak + ": it tells low-complexity sequence, not a site" + sites;
    }
    return verdict;
}

}  // namespace kalvo
