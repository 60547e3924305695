// discover/discovery_files.h: the content of every file a discovery leaves in its output folder, and its text summary.
#pragma once
#include <string>
#include <vector>

#include "discover/discovery.h"

namespace kalvo {

// One output file of a discovery: its name relative to the output folder and its bytes.
struct DiscoveryFile {
    std::string name;
    std::string bytes;
};

// Every file of the folder except runs/ (the restarts write their own files):
// summary.json, sites.tsv, sites.bed, motifs.meme, motifs.jaspar, logo-K.svg and
// logo-K-rc.svg, and index.html, the page that shows them all.
std::vector<DiscoveryFile> ComposeDiscoveryFiles(const Discovery& discovery);

// The version of summary.json's layout, its "schema" member; raised when members are added, change meaning or go.
inline constexpr int kDiscoveryJsonSchema = 4;

// Everything the discovery found, with the settings, the command and every restart's seed.
std::string DiscoverySummaryJson(const Discovery& discovery);

// One line per called site, motifs in rank order, under a header line; tab-separated.
// A site's sequence is named as SequenceNames names it, so a row stays short whatever the header.
std::string SitesTable(const Discovery& discovery);

// BED6 of the called sites, in the order of SitesTable; genome coordinates where a target's name gives them.
std::string SitesBed(const Discovery& discovery);

// All motifs in MEME minimal format: DiscoveryMotifIds and DiscoveryMotifNames
// name them, nsites is the called sites and E their E-value.
std::string DiscoveryMeme(const Discovery& discovery);

// All motifs as JASPAR counts, under ">id name".
std::string DiscoveryJaspar(const Discovery& discovery);

// The one-screen text summary printed at the end of `kalvo discover`.
std::string DiscoveryTextSummary(const Discovery& discovery, const std::string& outputDir);

}  // namespace kalvo
