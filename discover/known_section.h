// discover/known_section.h: the "known motifs" section of a discovery: which of the known motifs its
// motifs are named after are enriched in its targets against its controls, as `kalvo enrich` counts them,
// and that section as the terminal, summary.json and the page show it.
#pragma once
#include <functional>
#include <string>
#include <vector>

#include "discover/discovery.h"
#include "discover/scoring_sets.h"
#include "model/refusal.h"

namespace kalvo {

// A known motif is listed as enriched up to this q-value, as the names are given.
inline constexpr double kKnownEnrichedQValue = 0.05;
// Enriched known motifs the terminal shows; summary.json and the page show up to kEnrichPageRows.
inline constexpr int kKnownTerminalRows = 5;

// Tests every known motif on every target against every control (the known motifs were fitted to
// none of them, so no target need be held out), with enrich's default site p-value and background,
// `jobs` motifs at a time. Refused only when `stillWanted` turns false (a cancelled discovery);
// when no known motif can be counted, the section says why in its note.
Outcome EnrichKnownMotifs(const std::vector<KnownMotif>& known, const ScoringSets& sets, int jobs,
                          const std::function<bool()>& stillWanted, KnownEnrichment& section);

// Marks each motif whose best known match is among the enriched known motifs.
void MarkEnrichedMatches(Discovery& discovery);

// The section's lines for the terminal, after the motif table; empty when there is no section.
std::string KnownSectionText(const Discovery& discovery);

// summary.json's known_enrichment member: null when there is no section.
std::string KnownSectionJson(const Discovery& discovery);

// The page's section "Known motifs in these sequences"; empty when there is no section.
std::string KnownSectionHtml(const Discovery& discovery);

// Where the page's section is, for links to it.
inline constexpr const char* kKnownSectionAnchor = "known-enriched";

}  // namespace kalvo
