// discover/known/known_motif.h: a motif as motif files and databases carry it, the common
// currency of the readers, the database, motif comparison and score p-values.
#pragma once
#include <array>
#include <string>
#include <vector>

namespace kalvo {

// Two dependent columns of a motif found by discovery: their joint letter shares.
struct KnownPair {
    int first = 0;                    // 0-based column, first < second
    int second = 0;
    std::array<double, 16> shares{};  // joint shares of letter pairs, 4·(first's letter) + second's, summing to 1
};

struct KnownMotif {
    std::string id;                   // unique within its file or database: "MA0139.2", "1-TGTGACA"
    std::string name;                 // factor or motif name: "CTCF"; the id when the file gives none
    std::string family;               // transcription-factor family, e.g. "C2H2 zinc finger factors"; may be empty
    std::string tfClass;              // class, e.g. "C2H2 zinc finger factors"; may be empty
    std::string taxon;                // "vertebrates", "plants", ...; may be empty
    std::vector<std::array<double, 4>> shares;  // per column, A, C, G, T, each row summing to 1
    double sites = 0.0;               // sites the matrix was counted from; 0 when the file gave shares only
    std::vector<KnownPair> pairs;     // correlated column pairs (discovery motifs only)
    std::string source;               // the file it was read from, for messages

    int Width() const { return static_cast<int>(shares.size()); }
};

}  // namespace kalvo
