// discover/known/site_scan.cpp: scanning pieces of sequence for the sites of prepared motifs.
#include "discover/known/site_scan.h"

#include <algorithm>
#include <array>

namespace kalvo {
namespace {

constexpr std::array<std::uint8_t, 256> CodeTable(bool skipLowercase)
{
    std::array<std::uint8_t, 256> table{};
    for (auto& code : table)
        code = 4;
    table['A'] = 0;
    table['C'] = 1;
    table['G'] = 2;
    table['T'] = 3;
    table['U'] = 3;
    if (!skipLowercase) {
        table['a'] = 0;
        table['c'] = 1;
        table['g'] = 2;
        table['t'] = 3;
        table['u'] = 3;
    }
    return table;
}

constexpr std::array<std::uint8_t, 256> kCodes = CodeTable(false);
constexpr std::array<std::uint8_t, 256> kUpperCodes = CodeTable(true);

char Complement(char c)
{
    switch (c) {
    case 'A': return 'T';
    case 'C': return 'G';
    case 'G': return 'C';
    case 'T': case 'U': return 'A';
    case 'a': return 't';
    case 'c': return 'g';
    case 'g': return 'c';
    case 't': case 'u': return 'a';
    default: return c;
    }
}

}  // namespace

std::vector<ScanMotif> PrepareScanMotifs(const std::vector<KnownMotif>& motifs, const SiteScanSettings& settings)
{
    std::vector<ScanMotif> prepared;
    prepared.reserve(motifs.size());
    for (const KnownMotif& motif : motifs) {
        ScanMotif scan{motif.id,
                       motif.name,
                       motif.Width(),
                       MakeGridMotif(motif, settings.background),
                       MakeReverseGridMotif(motif, settings.background),
                       {},
                       {},
                       ScoreDistribution(motif, settings.background),
                       0};
        scan.forwardBlocks = MakeBlockedMotif(scan.forward);
        scan.reverseBlocks = MakeBlockedMotif(scan.reverse);
        scan.threshold = scan.distribution.Threshold(settings.pValue);
        prepared.push_back(std::move(scan));
    }
    return prepared;
}

void ScanCodes(std::string_view residues, bool skipLowercase, std::vector<std::uint8_t>& codes)
{
    const auto& table = skipLowercase ? kUpperCodes : kCodes;
    codes.resize(residues.size());
    for (std::size_t i = 0; i < residues.size(); ++i)
        codes[i] = table[static_cast<unsigned char>(residues[i])];
}

std::string SiteWord(std::string_view residues, bool forward)
{
    std::string word(residues);
    if (!forward) {
        std::reverse(word.begin(), word.end());
        for (char& c : word)
            c = Complement(c);
    }
    return word;
}

// Long by design: the codes, the runs of letters, then one tight loop per motif and strand.
void SiteScanner::Scan(const std::vector<ScanMotif>& motifs, const ScanText& text, const SiteScanSettings& settings,
                       std::vector<SiteHit>& hits, long long& words)
{
    const std::size_t firstHit = hits.size();
    ScanCodes(text.residues, settings.skipLowercase, m_codes);
    const std::size_t length = m_codes.size();
    // Block look-ups may read a block past a word's end: room for it, never a site.
    const std::size_t padding = 2 * static_cast<std::size_t>(kBlockLetters);
    m_codes.resize(length + padding, 4);
    BlockIndexes(m_codes, m_blocks);
    m_run.resize(length);
    int run = 0;
    for (std::size_t i = 0; i < length; ++i) {
        run = m_codes[i] > 3 ? 0 : run + 1;
        m_run[i] = run;
    }
    const long long ownEnd = text.last ? text.start + static_cast<long long>(length) : text.end;
    const int strands = settings.bothStrands ? 2 : 1;
    for (std::size_t m = 0; m < motifs.size(); ++m) {
        const ScanMotif& motif = motifs[m];
        const auto width = static_cast<std::size_t>(motif.width);
        if (width == 0 || length < width)
            continue;
        // Starts this piece owns, among those whose word fits in the text.
        const std::size_t stop =
            std::min(static_cast<std::size_t>(std::max<long long>(ownEnd - text.start, 0)), length - width + 1);
        for (std::size_t s = 0; s < stop; ++s)
            words += m_run[s + width - 1] >= static_cast<int>(width) ? strands : 0;
        if (!motif.CanHaveSite())
            continue;
        const int threshold = motif.threshold;
        for (std::size_t s = 0; s < stop; ++s) {
            const std::uint8_t* codes = m_codes.data() + s;
            const std::uint16_t* blocks = m_blocks.data() + s;
            if (BlockedReaches(motif.forwardBlocks, codes, blocks, threshold)) {
                const int score = GridScore(motif.forward, codes);
                if (score != kNoGridScore && score >= threshold)
                    hits.push_back({text.start + static_cast<long long>(s), static_cast<int>(m), true, score,
                                    motif.distribution.PValue(score)});
            }
            if (settings.bothStrands && BlockedReaches(motif.reverseBlocks, codes, blocks, threshold)) {
                const int score = GridScore(motif.reverse, codes);
                if (score != kNoGridScore && score >= threshold)
                    hits.push_back({text.start + static_cast<long long>(s), static_cast<int>(m), false, score,
                                    motif.distribution.PValue(score)});
            }
        }
    }
    std::sort(hits.begin() + static_cast<std::ptrdiff_t>(firstHit), hits.end(), [](const SiteHit& a, const SiteHit& b) {
        if (a.start != b.start)
            return a.start < b.start;
        if (a.motif != b.motif)
            return a.motif < b.motif;
        return a.forward && !b.forward;
    });
}

}  // namespace kalvo
