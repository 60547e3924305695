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

// The motif names every file uses, in rank order: the motifs' ids made safe for
// the matrix formats (no blanks, never empty) and distinct.
std::vector<std::string> DiscoveryMotifIds(const Discovery& discovery);

// Where each motif came from, in rank order, as the matrix formats' second
// name: the input file's stem and the rank, "peaks.rank1".
std::vector<std::string> DiscoveryMotifNames(const Discovery& discovery);

// The length of target seqIndex, 0 for an index the discovery does not know.
long long TargetLength(const Discovery& discovery, int seqIndex);

// The logo file of the motif at `position` in rank order, or of its reverse
// complement: named by position, so that two motifs never share a file.
std::string LogoName(std::size_t position, bool reverse);

// The shell command, run in the output folder, that repeats a restart.
std::string RepeatCommand(const RestartRecord& restart);

// The version of summary.json's layout, its "schema" member; raised when members are added, change meaning or go.
inline constexpr int kDiscoveryJsonSchema = 2;

// Everything the discovery found, with the settings, the command and every restart's seed.
std::string DiscoverySummaryJson(const Discovery& discovery);

// One line per called site, motifs in rank order, under a header line; tab-separated.
std::string SitesTable(const Discovery& discovery);

// BED6 of the called sites, in the order of SitesTable; genome coordinates where a target's name gives them.
std::string SitesBed(const Discovery& discovery);

// All motifs in MEME minimal format: id and name as above, nsites the called sites and E their E-value.
std::string DiscoveryMeme(const Discovery& discovery);

// All motifs as JASPAR counts, under ">id name".
std::string DiscoveryJaspar(const Discovery& discovery);

// The `kalvo discover` command that repeats the discovery (the output folder aside), shell-quoted.
std::string DiscoverCommand(const DiscoverSettings& settings);

// The one-screen text summary printed at the end of `kalvo discover`.
std::string DiscoveryTextSummary(const Discovery& discovery, const std::string& outputDir);

}  // namespace kalvo
