// discover/html_figures.h: the pictures and the pair table of the page of a discovery.
#pragma once
#include <string>

#include "discover/discovery.h"
#include "report/run_summary.h"

namespace kalvo::html {

// A logo from the logo composer as inline SVG: without its XML declaration and
// namespace (HTML places <svg> in it anyway), scaled, with ids made unique on
// the page by idPrefix; label is plain text for screen readers.
std::string InlineLogo(const RunSummary& model, bool reverse, double scale, const std::string& idPrefix,
                       const std::string& label);

// Width in pixels of a logo as the composer draws it.
double LogoWidth(const RunSummary& model);

// The arc legend: one small arc with a label, and what it means.
std::string ArcLegend();

// How far the sites' centres lie from their sequences' centres.
struct PositionStats {
    int sites = 0;             // sites with a known sequence length
    double medianOffset = 0;   // of |site centre - sequence centre|, bp
    double expectedMedian = 0; // the same if each site lay anywhere in its sequence
};

// Where the sites' centres fall relative to their sequences' centres, as an SVG
// histogram, with the counts expected if every site could lie anywhere in its
// sequence; empty when no site has a known sequence length.
std::string PositionHistogram(const Discovery& discovery, const DiscoveredMotif& motif, PositionStats& stats);

// The pairs' words with their counts against the counts the two columns' letters would give alone.
std::string PairTable(const DiscoveredMotif& motif);

}  // namespace kalvo::html
