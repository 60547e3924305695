// discover/known/site_scan.h: every site of some motifs in sequences, each with its exact p-value,
// found a piece of sequence at a time so that a genome is scanned in bounded memory.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "discover/known/known_motif.h"
#include "discover/known/score_distribution.h"

namespace kalvo {

// What makes a word a site.
struct SiteScanSettings {
    double pValue = 1e-4;       // a word is a site when its score's p-value on its strand is at most this
    BaseShares background{0.25, 0.25, 0.25, 0.25};
    bool bothStrands = true;
    bool skipLowercase = false; // soft-masked letters end words, as N does
};

// A motif ready to scan: its grid scores on both strands, their distribution, the site threshold.
struct ScanMotif {
    std::string id;
    std::string name;
    int width = 0;
    GridMotif forward;          // scores a word as it stands
    GridMotif reverse;          // scores its reverse complement
    BlockedMotif forwardBlocks;
    BlockedMotif reverseBlocks;
    ScoreDistribution distribution;
    int threshold = 0;          // the least grid score of a site

    // Whether any word can be a site at the p-value.
    bool CanHaveSite() const { return threshold <= distribution.BestScore(); }
};

// The motifs prepared for the settings; each motif's pairs must pass CheckPairs.
std::vector<ScanMotif> PrepareScanMotifs(const std::vector<KnownMotif>& motifs, const SiteScanSettings& settings);

// One site: where, on which strand, how well.
struct SiteHit {
    long long start = 0;   // 0-based leftmost position in its sequence
    int motif = 0;         // index among the scan motifs
    bool forward = true;   // '+': the word as the sequence has it matches the motif
    int score = 0;         // grid score (kScoreGridStep nats a step)
    double p = 1.0;        // of the score on one strand
};

// A piece of a sequence as the scan takes it: the residues the previous piece of the same
// sequence ended with (up to the widest motif's width - 1), then the piece's own.
struct ScanText {
    std::string_view residues;
    long long start = 0;   // position of residues[0] in the sequence
    long long end = 0;     // words start before this, except those that reach past the last residue
    // Whether the sequence ends with the text: otherwise the words of its last width - 1
    // residues belong to the next piece, which starts with them.
    bool last = false;
};

// The words of each piece that start in [start, end) (or in [start, sequence end) for a last
// piece), scored by every motif on the strands asked for. Keeps its buffers between pieces, so
// a scan allocates nothing per position; one scanner per thread.
class SiteScanner {
public:
    // Sites of the text, by position, then motif, then strand (+ first). Adds to `words` the
    // words scored (strands counted), the number of tests a q-value needs.
    void Scan(const std::vector<ScanMotif>& motifs, const ScanText& text, const SiteScanSettings& settings,
              std::vector<SiteHit>& hits, long long& words);

private:
    std::vector<std::uint8_t> m_codes;
    std::vector<std::uint16_t> m_blocks;
    std::vector<int> m_run;  // letters A, C, G, T in a row ending at each position
};

// Letter codes as the scan reads them: A 0, C 1, G 2, T 3 (U as T), anything else 4; lower case
// as upper case, or as 4 when soft-masked letters are skipped.
void ScanCodes(std::string_view residues, bool skipLowercase, std::vector<std::uint8_t>& codes);

// The word of a site as the motif reads it: the residues, reverse-complemented on the
// minus strand, letter case kept.
std::string SiteWord(std::string_view residues, bool forward);

}  // namespace kalvo
