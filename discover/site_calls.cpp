// discover/site_calls.cpp: site calls of a reported motif, with their context, and their masking.
#include "discover/site_calls.h"

#include <algorithm>
#include <cmath>

#include "discover/motif_measures.h"
#include "util/sequence_text.h"

namespace kalvo {
namespace {

// Weight of an expected false site call against a true one, for reported sites.
constexpr double kReportedFalseCallCost = 1.5;

// The called site of a hit in a target, in motif orientation, with its flanks.
CalledSite SiteOf(int seqIndex, const std::string& sequence, const ScanHit& hit, int width)
{
    CalledSite site;
    site.seqIndex = seqIndex;
    site.start = hit.start;
    site.end = hit.start + width;
    site.forward = hit.forward;
    site.score = hit.score;
    const auto start = static_cast<std::size_t>(hit.start);
    const auto length = static_cast<std::size_t>(width);
    const std::size_t before = std::min<std::size_t>(start, kSiteFlank);
    site.word = sequence.substr(start, length);
    site.leftFlank = sequence.substr(start - before, before);
    site.rightFlank = sequence.substr(std::min(start + length, sequence.size()), kSiteFlank);
    if (!hit.forward) {
        site.word = ReverseComplement(site.word);
        site.leftFlank = ReverseComplement(site.rightFlank);
        site.rightFlank = ReverseComplement(sequence.substr(start - before, before));
    }
    return site;
}

}  // namespace

CallThresholds ReportedThresholds(const ScoringSets& sets, const Candidate& chosen)
{
    // Reported sites lean towards recall: a call pays off while at least one in
    // three calls at its score is expected to be true. Windows far below the
    // sequence-level threshold never matter.
    CallThresholds thresholds = CallThreshold(sets, MotifScanner(chosen.model), chosen.separation.threshold - 6.0,
                                              AllIndexes(sets.targetCodes.size()), kReportedFalseCallCost);
    if (!std::isfinite(thresholds.first))
        thresholds.first = chosen.separation.threshold;
    return thresholds;
}

void CallSitesAndMask(ScoringSets& sets, DiscoveredMotif& motif, const MotifModel& model,
                      const CallThresholds& thresholds)
{
    const MotifScanner scanner(model);
    const bool both = sets.bothStrands;
    const auto width = static_cast<std::ptrdiff_t>(model.width);
    auto mask = [width](std::vector<std::uint8_t>& codes, const ScanHit& hit) {
        std::fill(codes.begin() + hit.start, codes.begin() + hit.start + width, 4);
    };
    for (std::size_t s = 0; s < sets.targetCodes.size(); ++s) {
        for (const ScanHit& hit : CallHits(scanner, sets.targetCodes[s], both, thresholds)) {
            motif.sites.push_back(SiteOf(static_cast<int>(s), sets.targets.sequences[s], hit, model.width));
            mask(sets.targetCodes[s], hit);
        }
    }
    for (auto& codes : sets.controlCodes)
        for (const ScanHit& hit : CallHits(scanner, codes, both, thresholds))
            mask(codes, hit);
}

std::vector<std::string> SiteContexts(const ScoringSets& sets, const MotifModel& model, double threshold,
                                      const std::vector<int>& targets, int flank)
{
    std::vector<std::string> contexts;
    if (!std::isfinite(threshold))
        return contexts;
    const MotifScanner scanner(model);
    const CallThresholds thresholds{threshold, threshold};
    for (int i : targets) {
        const auto index = static_cast<std::size_t>(i);
        const std::string& sequence = sets.targets.sequences[index];
        for (const ScanHit& hit : CallHits(scanner, sets.targetCodes[index], sets.bothStrands, thresholds)) {
            const long long from = std::max(0LL, static_cast<long long>(hit.start) - flank);
            const long long to = std::min(static_cast<long long>(sequence.size()),
                                          static_cast<long long>(hit.start) + model.width + flank);
            std::string context = sequence.substr(static_cast<std::size_t>(from), static_cast<std::size_t>(to - from));
            contexts.push_back(hit.forward ? context : ReverseComplement(context));
        }
    }
    return contexts;
}

}  // namespace kalvo
