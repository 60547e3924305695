// discover/known/motif_readers.h: the readers of each motif file format, over a file's lines already read.
// Each gives every motif of the text or a refusal naming the file and line;
// ReadMotifFile (motif_file.h) tells the format and calls the right one.
#pragma once
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "discover/known/known_motif.h"
#include "model/refusal.h"

namespace kalvo {

// The motifs of one file, or why it cannot be read (and then no motif).
struct MotifRead {
    std::vector<KnownMotif> motifs;
    std::optional<Refusal> refusal;
};

// MEME minimal format (also the motif sections of MEME's own text output):
// each MOTIF's letter-probability matrix; nsites= gives the sites.
MotifRead ReadMemeMotifs(const std::vector<std::string>& lines, const std::string& source);

// JASPAR counts: ">ID name" then four rows "A [ 1 2 ... ]" (letters and brackets
// optional, then A, C, G, T in that order). Rows without any header are one bare
// matrix, named after the file's stem.
MotifRead ReadJasparMotifs(const std::vector<std::string>& lines, const std::string& source);

// TRANSFAC matrices: AC, ID, NA, a P0 (or PO) header of letters, numbered rows,
// the CC lines tax_group, tf_family and tf_class, and "//" after each motif.
MotifRead ReadTransfacMotifs(const std::vector<std::string>& lines, const std::string& source);

// HOMER .motif files: ">consensus<TAB>name<TAB>threshold..." then one row of four shares per column.
MotifRead ReadHomerMotifs(const std::vector<std::string>& lines, const std::string& source);

// A Kalvo discovery's summary.json: its ranked motifs with their correlated column pairs.
MotifRead ReadSummaryMotifs(std::string_view text, const std::string& source);

// The latest layout of summary.json this reader knows; a newer one is refused rather than misread.
inline constexpr int kReadableSummarySchema = 4;

}  // namespace kalvo
