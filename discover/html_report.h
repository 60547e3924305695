// discover/html_report.h: index.html of a discovery folder, the results as one page a browser opens from disk.
// The page is self-contained (inline SVG and CSS, a small optional script for
// sorting tables, nothing fetched from anywhere) and depends on the discovery
// alone, so the same discovery always gives the same bytes.
#pragma once
#include <string>

#include "discover/discovery.h"

namespace kalvo {

// Site rows a motif's table shows at most; sites.tsv always holds them all.
inline constexpr int kHtmlSiteRows = 500;

// The whole page: inputs and the command that repeats the discovery, the motifs
// ranked by E-value with their logos and correlated pairs, each motif's sites and
// where they lie in the sequences, every restart, and links to the other files.
std::string DiscoveryHtml(const Discovery& discovery);

}  // namespace kalvo
