// report/formats.h: the reported best state in the file formats other motif tools read.
#pragma once
#include <optional>
#include <string>
#include <string_view>

#include "report/run_summary.h"

namespace kalvo {

enum class ExportFormat { Meme, Jaspar, Transfac, Bed, Json, Svg };

// Every format, in the order in which a run writes them.
inline constexpr ExportFormat kExportFormats[] = {ExportFormat::Meme, ExportFormat::Jaspar, ExportFormat::Transfac,
                                                  ExportFormat::Bed,  ExportFormat::Json,   ExportFormat::Svg};

// The name the user picks a format by: "meme", "jaspar", "transfac", "bed", "json", "svg".
std::string_view ExportFormatName(ExportFormat format);
std::optional<ExportFormat> ExportFormatByName(std::string_view name);

// What ends the file name of a format: ".meme", ..., ".logo.svg".
std::string_view ExportFormatSuffix(ExportFormat format);

struct ExportOptions {
    bool logoReverse = false;    // the logo shows the motif as seen on the other strand
    std::string programVersion;  // recorded in the JSON document
};

// MEME motif format, version 4: background, strands and the matrix of shares.
// Without sites the rows are the background frequencies, and a comment says so.
std::string MemeMotif(const RunSummary& summary);

// JASPAR counts: a ">ID name" line, then one "A [ ... ]" row per letter.
std::string JasparCounts(const RunSummary& summary);

// TRANSFAC matrix: ID and BF lines, P0 rows of counts with the consensus letter, "XX", "//".
std::string TransfacMatrix(const RunSummary& summary);

// BED6, one line per site in report order. A sequence named chrom:start-end
// (bedtools getfasta, samtools faidx) places its sites on that chromosome.
std::string BedSites(const RunSummary& summary);

// Everything the report block says, plus the parameters, the seed and the version.
std::string JsonReport(const RunSummary& summary, std::string_view programVersion);

// The file content of one format.
std::string ComposeExport(ExportFormat format, const RunSummary& summary, const ExportOptions& options);

// Where a site of a sequence lies on a genome, from the sequence's header line.
struct GenomeInterval {
    std::string chrom;
    long long start = 0;   // 0-based
    bool reversed = false; // the sequence is the reverse complement of the interval
};

// The interval a header names as chrom:start-end, with an optional "(+)" or
// "(-)" and an optional "name::" before it. Coordinates count only when they
// span exactly the sequence: end - start is its length when start is 0-based
// (bedtools), end - start + 1 when both ends are 1-based (samtools).
std::optional<GenomeInterval> HeaderInterval(std::string_view header, long long length);

// BED score of a site: its log score as a share of the best site's, 0 to 1000;
// a site that scores no better than the background gets 0.
int BedScore(double logScore, double bestLogScore);

}  // namespace kalvo
