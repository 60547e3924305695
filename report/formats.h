// report/formats.h: the reported best state in the file formats other motif tools read.
#pragma once
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

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
    std::int64_t runNumber = 1;  // the run's place in its batch, from 1: part of the motif's name
};

// What the matrix formats call a run's motif. Files of one batch are merged
// (Tomtom, motif databases), so the id is unique within the batch, and the
// name says where the motif came from. Both are single words.
struct MotifLabel {
    std::string id;    // "run3-TGTGACA": the run's number and the consensus
    std::string name;  // "crp0.run3": the input file's stem as one word (FileStemWord) and the run's number
};
MotifLabel RunMotifLabel(const RunSummary& summary, std::int64_t runNumber);

// The version of the JSON document's layout, its "schema" member; raised when members are added, change meaning or go.
inline constexpr int kRunJsonSchema = 2;

// MEME motif format, version 4: background, strands and the matrix of shares.
// No E-value: a run computes none. Without sites the rows are the background
// frequencies, and a comment says so.
std::string MemeMotif(const RunSummary& summary, std::int64_t runNumber = 1);

// JASPAR counts: a ">id name" line, then one "A [ ... ]" row per letter.
std::string JasparCounts(const RunSummary& summary, std::int64_t runNumber = 1);

// TRANSFAC matrix: ID, NA and BF lines, P0 rows of counts with the consensus letter, "XX", "//".
std::string TransfacMatrix(const RunSummary& summary, std::int64_t runNumber = 1);

// BED6, one line per site in report order. A sequence named chrom:start-end
// (bedtools getfasta, samtools faidx) places its sites on that chromosome.
std::string BedSites(const RunSummary& summary);

// Everything the report block says, plus the schema, the parameters, the seed, the version and the motif's label.
std::string JsonReport(const RunSummary& summary, std::string_view programVersion, std::int64_t runNumber = 1);

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

// --- pieces of the formats, shared with the files of a discovery ---

// Fixed-point text with this many decimals, in the C locale whatever the process locale is.
std::string FixedText(double value, int decimals);

// The matrix rows as MEME writes them: shares of the letters counted in each
// column; every row the background (scaled to sum to 1) when there are no sites.
std::vector<std::array<double, 4>> MemeRows(const RunSummary& summary);

// The opening of a MEME file up to a blank line: version, alphabet, strands and
// the background (scaled to sum to 1), with a note in brackets on where it is from.
std::string MemeHeader(const std::array<double, 4>& bgFreq, bool bothStrands, std::string_view backgroundNote);

// One MEME motif after the opening or another motif: "MOTIF id altName", the
// matrix line with nsites and E, the rows of MemeRows, a blank line. altName
// may be empty; so may evalue, and the line then has no "E=" (the format makes it optional).
std::string MemeMatrix(const RunSummary& summary, std::string_view id, std::string_view altName, int nsites,
                       std::string_view evalue);

// JASPAR counts under a ">id name" line.
std::string JasparCounts(const RunSummary& summary, std::string_view id, std::string_view name);

// A site as a BED6 line needs it.
struct BedSite {
    std::string_view header;  // the sequence's header line, with or without '>'
    long long length = 0;     // of the sequence
    int seqIndex = 0;         // 0-based; names the sequence when the header has no first word
    long long pos = 0;        // 0-based leftmost residue in the given sequence
    long long width = 0;
    bool forward = true;      // on the given strand
    std::string_view name;    // the BED name field
    int score = 0;            // 0 to 1000
};

// The BED6 line of a site, in genome coordinates when the header names its interval (HeaderInterval).
std::string BedLine(const BedSite& site);

}  // namespace kalvo
