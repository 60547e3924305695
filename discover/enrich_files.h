// discover/enrich_files.h: the files of a known-motif enrichment (enrich.tsv, summary.json, index.html)
// and the text summary a front end shows, all composed from one finished result.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "discover/known/enrichment.h"

namespace kalvo {

// Rows on the page when no cut is asked for: enough to see the families that lead.
inline constexpr int kEnrichPageRows = 50;

// Which rows the files show: the best `top` (0: all) of those with q at most maxQValue (if given).
struct EnrichCut {
    int top = 0;
    std::optional<double> maxQValue;
};

// What was enriched, how, and with what outcome, as every file records it.
struct EnrichRecord {
    std::string inputPath;
    std::optional<std::string> controlPath;  // none: shuffled targets
    int controlCopies = 0;                   // shuffled copies of each target, when shuffled
    std::uint32_t seed = 1;
    std::vector<std::string> databaseFiles;  // the motif files read
    std::vector<std::string> databaseChoice; // the motif files the user named (--db); none: the bundled collection
    std::vector<std::string> taxa;
    std::optional<std::string> backgroundPath;  // none: the targets' own base shares
    EnrichSettings settings;
    EnrichCut cut;
    std::string programVersion;
    std::vector<std::string> warnings;
};

// The rows the cut keeps, as indexes into result.rows, best first.
std::vector<std::size_t> KeptRows(const EnrichmentResult& result, const EnrichCut& cut);

// The command that repeats the enrichment (jobs and the folder left out: they change no result).
std::string EnrichCommand(const EnrichRecord& record);

// enrich.tsv: a header row, then one row per kept motif.
std::string EnrichTable(const EnrichRecord& record, const std::vector<KnownMotif>& motifs,
                        const EnrichmentResult& result);

// summary.json: settings, command, counts and the kept rows.
std::string EnrichSummaryJson(const EnrichRecord& record, const std::vector<KnownMotif>& motifs,
                              const EnrichmentResult& result);

// index.html: one self-contained page, a row per motif (at most kEnrichPageRows unless a cut is
// given) with its logo and a bar of the two shares.
std::string EnrichPage(const EnrichRecord& record, const std::vector<KnownMotif>& motifs,
                       const EnrichmentResult& result);

// The one-screen summary: the sets, the top ten rows and where the files are.
std::string EnrichTextSummary(const EnrichRecord& record, const std::vector<KnownMotif>& motifs,
                              const EnrichmentResult& result, const std::string& folder);

// One row of summary.json's rows (rank from 1), indented as JsonObject; a discovery's summary.json holds them too.
std::string EnrichRowJson(const KnownMotif& motif, const MotifEnrichment& row, int targets, int controls,
                          std::size_t rank, const std::string& indent);

// One row of the page's table (#, id linked to JASPAR, names, logo, bar of the two shares, p, E, q);
// the logo's ids start with logoPrefix, so that a page with other logos keeps its ids unique.
std::string EnrichPageRow(const KnownMotif& motif, const MotifEnrichment& row, int targets, int controls,
                          std::size_t rank, const std::string& logoPrefix);

// The table head that goes with EnrichPageRow.
inline constexpr const char* kEnrichPageHead =
    "<tr><th>#</th><th>id</th><th>name</th><th>logo</th><th>sequences with a site</th><th>p</th><th>E</th>"
    "<th>q</th></tr>\n";

// The style rules of the share bars, for the page's style sheet.
inline constexpr const char* kShareBarStyle =
    ".bar{width:12em;height:.6em;background:#eee;margin:.15em 0}.bar span{display:block;height:100%}\n";

// "peaks.fa" gives "peaks.enrich", "-" gives "stdin.enrich".
std::string DefaultEnrichOutputDir(const std::string& inputPath);

}  // namespace kalvo
