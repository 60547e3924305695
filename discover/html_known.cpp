// discover/html_known.cpp: aligned logos of a motif and its known matches.
#include "discover/html_known.h"

#include <algorithm>
#include <cmath>

#include "discover/html_figures.h"
#include "discover/known/column_null.h"
#include "discover/motif_naming.h"
#include "util/markup_text.h"

namespace kalvo::html {
namespace {

constexpr double kLogoScale = 0.6;
constexpr double kColumnPixels = 32.0 * kLogoScale;  // the composer's column width, scaled

// One logo, shifted right by `columns` motif columns.
std::string PlacedLogo(const KnownMotif& motif, bool reverse, int columns, const std::string& id)
{
    const std::string margin = std::to_string(static_cast<int>(std::lround(columns * kColumnPixels)));
    return "<div class=\"logo\" style=\"margin-left:" + margin + "px\">" +
           InlineLogo(LogoModel(motif), reverse, kLogoScale, id, "Logo of " + motif.id) + "</div>\n";
}

// What a match is: its id (linked to its JASPAR page when it has one), name, family, class and
// taxon, then how well and where it matches.
std::string MatchLine(const KnownMatch& known)
{
    const KnownMotif& target = known.known;
    const MotifMatch& match = known.match;
    const std::string address = JasparPageAddress(target.id);
    std::string about = address.empty() ? MarkupFromInput(target.id)
                                        : "<a href=\"" + address + "\">" + MarkupFromInput(target.id) + "</a>";
    about += " <b>" + MarkupFromInput(target.name) + "</b>";
    for (const std::string* detail : {&target.family, &target.tfClass, &target.taxon})
        if (!detail->empty())
            about += " &middot; " + MarkupFromInput(*detail);
    return "<p class=\"match\">" + about + "<br><span class=\"muted\">p " + ShortFigure(match.p, 3) + ", E " +
           ShortFigure(match.e, 3) + ", q " + ShortFigure(match.q, 3) + "; strand " +
           (match.reverse ? "&minus;" : "+") + ", offset " + std::to_string(match.offset) + ", " +
           std::to_string(match.overlap) + " columns shared</span></p>\n";
}

}  // namespace

RunSummary LogoModel(const KnownMotif& motif)
{
    RunSummary model;
    model.width = motif.Width();
    model.probs = motif.shares;
    model.numSites = static_cast<int>(std::lround(motif.sites > 0.0 ? motif.sites : kSitesWhenUnknown));
    for (const auto& shares : motif.shares)
        model.consensus += ConsensusLetter(shares);
    return model;
}

std::string AlignedMatchLogos(const KnownMotif& query, const std::vector<KnownMatch>& matches,
                              const std::string& idPrefix, const std::string& noMatch)
{
    int left = 0;  // how far the leftmost match reaches left of the query's first column
    for (const KnownMatch& known : matches)
        left = std::max(left, known.match.offset);
    std::string html = PlacedLogo(query, false, left, idPrefix);
    if (matches.empty())
        html += "<p class=\"muted\">" + noMatch + "</p>\n";
    for (std::size_t m = 0; m < matches.size(); ++m)
        html += MatchLine(matches[m]) + PlacedLogo(matches[m].known, matches[m].match.reverse,
                                                   left - matches[m].match.offset,
                                                   idPrefix + "-" + std::to_string(m + 1));
    return html;
}

}  // namespace kalvo::html
