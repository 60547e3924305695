// discover/html_known.h: a motif's logo with the logos of the known motifs it matches aligned
// under it, column for column, as both `kalvo match --html` and a discovery's page show them.
#pragma once
#include <string>
#include <vector>

#include "discover/known/motif_comparison.h"
#include "report/run_summary.h"

namespace kalvo::html {

// A known motif as the logo composer takes it.
RunSummary LogoModel(const KnownMotif& motif);

// The query's logo, then for each match a line saying what it is (names, family, p, E, q,
// strand, offset; a link to its JASPAR page for a JASPAR id) above its logo, drawn on the
// strand it matched and shifted under the columns it shares. `noMatch` (page text) stands
// in for the matches when there are none. Ids on the page start with idPrefix.
std::string AlignedMatchLogos(const KnownMotif& query, const std::vector<KnownMatch>& matches,
                              const std::string& idPrefix, const std::string& noMatch);

// The style rules the aligned logos need, for the page's style sheet.
inline constexpr const char* kAlignedLogoStyle = ".match{margin:.8em 0 .2em}.logo{line-height:0}\n";

}  // namespace kalvo::html
