// discover/known/fasta_scan.h: a whole FASTA file scanned for the sites of some motifs, streamed:
// read a piece at a time, scanned on all cores, and written as it goes in sequence order,
// so that memory is bounded by the pieces in flight, not by the file.
#pragma once
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "discover/known/known_motif.h"
#include "discover/known/site_scan.h"
#include "model/refusal.h"

namespace kalvo {

enum class SiteFormat { Tsv, Bed, Gff3 };

// Residues per piece a thread scans at a time.
inline constexpr std::size_t kScanPieceResidues = std::size_t{1} << 20;

// What to scan and how to write it.
struct FastaScanRequest {
    std::string fastaPath;             // plain or gzip; "/dev/stdin" for standard input
    std::vector<KnownMotif> motifs;    // each passing CheckPairs
    SiteScanSettings settings;
    SiteFormat format = SiteFormat::Tsv;
    std::optional<double> maxQValue;   // q-values computed and sites kept up to it
    int jobs = 1;
    std::size_t pieceResidues = kScanPieceResidues;  // smaller only to test the seams between pieces
};

// How far the scan has come, and what it found.
struct FastaScanTally {
    long long sequences = 0;
    long long residues = 0;
    long long sites = 0;               // written (with a q-value threshold: found, before the cut)
    long long sitesWritten = 0;
    long long words = 0;               // tests: words scored, strands and motifs counted
    long long longestSequence = 0;
    bool gzip = false;
};

// Called between pieces; false stops the scan, which then ends refused.
using FastaScanProgress = std::function<bool(const FastaScanTally&)>;
// Takes output bytes in order; false when they could not be written (the scan then stops).
using ScanOutput = std::function<bool(std::string_view)>;

// Scans the file and writes the header line(s) and one line per site. With a q-value threshold,
// lines wait in a temporary file and only their p-values in memory (8 bytes a site) until every
// position has been scanned; then they are written with their q-values, those above it left out.
// Refused: an unreadable or malformed FASTA (naming file and line), a failed write, a stop.
Outcome ScanFasta(const FastaScanRequest& request, const ScanOutput& output, FastaScanTally& tally,
                  const FastaScanProgress& progress = {});

// The column line(s) a format starts with ("" for BED).
std::string SiteHeader(SiteFormat format, bool withQValue);

// Benjamini-Hochberg q-values of the given p-values, in their order, out of `tests` tests
// in all (the p-values given being the smallest of them).
std::vector<double> QValuesOutOf(const std::vector<double>& pValues, long long tests);

}  // namespace kalvo
