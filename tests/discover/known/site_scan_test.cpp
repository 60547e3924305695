// tests/discover/known/site_scan_test.cpp: a streamed scan of a FASTA file against a brute-force
// scorer written here: every position and strand, p-values by enumerating every word, through
// N runs, lower case, sequence ends and the seams between pieces and threads.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <sstream>

#include "discover/known/fasta_scan.h"
#include "temp_files.h"

namespace kalvo {
namespace {

using ::testing::HasSubstr;
using testing::TempDir;

KnownMotif SharpMotif(const std::string& id, const std::string& word, unsigned seed)
{
    std::mt19937 random(seed);
    std::uniform_real_distribution<double> noise(0.0, 0.2);
    KnownMotif motif;
    motif.id = id;
    motif.name = id + "_name";
    for (char letter : word) {
        std::array<double, 4> column{};
        double total = 0.0;
        for (std::size_t b = 0; b < 4; ++b)
            total += column[b] = ("ACGT"[b] == letter ? 0.7 : 0.0) + noise(random);
        for (double& share : column)
            share /= total;
        motif.shares.push_back(column);
    }
    return motif;
}

// A motif whose columns 1 and 3 go together: (C, G), or (G, C) less often, hardly one alone.
KnownMotif PairedMotif()
{
    KnownMotif motif = SharpMotif("P1", "ACAGT", 3);
    KnownPair pair;
    pair.first = 1;
    pair.second = 3;
    pair.shares.fill(0.01);
    pair.shares[4 * 1 + 2] = 0.8;  // C then G
    pair.shares[4 * 2 + 1] = 0.15;  // G then C
    double total = 0.0;
    for (double share : pair.shares)
        total += share;
    for (double& share : pair.shares)
        share /= total;
    motif.pairs.push_back(pair);
    return motif;
}

int Code(char c, bool skipLowercase)
{
    const char upper = skipLowercase ? c : static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    switch (upper) {
    case 'A': return 0;
    case 'C': return 1;
    case 'G': return 2;
    case 'T': return 3;
    default: return 4;
    }
}

// A site as the brute force sees it and as the scan writes it.
struct Site {
    std::string motif;
    std::string sequence;
    long long start = 0;  // 1-based
    char strand = '+';
    double p = 0.0;
    std::string word;
    bool operator==(const Site& other) const
    {
        return motif == other.motif && sequence == other.sequence && start == other.start && strand == other.strand &&
               std::abs(p - other.p) <= 0.005 * p && word == other.word;
    }
};

std::ostream& operator<<(std::ostream& out, const Site& site)
{
    return out << site.motif << " " << site.sequence << ":" << site.start << site.strand << " p " << site.p << " "
               << site.word;
}

// Every site, found by scoring every word of every sequence on both strands and taking its
// p-value from all 4^width words enumerated under the background.
std::vector<Site> BruteForceSites(const std::vector<KnownMotif>& motifs,
                                  const std::vector<std::pair<std::string, std::string>>& sequences,
                                  const SiteScanSettings& settings)
{
    std::vector<Site> sites;
    for (const auto& [name, residues] : sequences) {
        for (std::size_t s = 0; s < residues.size(); ++s) {
            for (const KnownMotif& known : motifs) {
                const GridMotif forward = MakeGridMotif(known, settings.background);
                const GridMotif reverse = MakeReverseGridMotif(known, settings.background);
                const auto width = static_cast<std::size_t>(known.Width());
                if (s + width > residues.size())
                    continue;
                std::vector<std::uint8_t> codes;
                for (std::size_t j = 0; j < width; ++j)
                    codes.push_back(static_cast<std::uint8_t>(Code(residues[s + j], settings.skipLowercase)));
                // p of a score: the background weight of every word that scores as well.
                auto pOf = [&](int score) {
                    double p = 0.0;
                    std::vector<std::uint8_t> word(width, 0);
                    for (long long n = 0; n < (1LL << (2 * width)); ++n) {
                        double weight = 1.0;
                        for (std::size_t j = 0; j < width; ++j) {
                            word[j] = static_cast<std::uint8_t>((n >> (2 * j)) & 3);
                            weight *= settings.background[word[j]];
                        }
                        if (GridScore(forward, word.data()) >= score)
                            p += weight;
                    }
                    return p;
                };
                for (const bool plus : {true, false}) {
                    if (!plus && !settings.bothStrands)
                        continue;
                    const int score = GridScore(plus ? forward : reverse, codes.data());
                    if (score == kNoGridScore)
                        continue;
                    const double p = pOf(score);
                    if (p > settings.pValue)
                        continue;
                    std::string word = residues.substr(s, width);
                    if (!plus) {
                        std::reverse(word.begin(), word.end());
                        for (char& c : word) {
                            const char* from = "ACGTacgt";
                            const char* to = "TGCAtgca";
                            if (const char* at = std::strchr(from, c); at && c != '\0')
                                c = to[at - from];
                        }
                    }
                    sites.push_back({known.id, name, static_cast<long long>(s) + 1, plus ? '+' : '-', p, word});
                }
            }
        }
    }
    return sites;
}

std::vector<Site> ParsedTsv(const std::string& tsv)
{
    std::vector<Site> sites;
    std::istringstream lines(tsv);
    std::string line;
    std::getline(lines, line);  // the header
    while (std::getline(lines, line)) {
        std::vector<std::string> cells;
        std::istringstream fields(line);
        for (std::string cell; std::getline(fields, cell, '\t');)
            cells.push_back(cell);
        if (cells.size() != 9)
            ADD_FAILURE() << "a row without nine columns: " << line;
        else
            sites.push_back({cells[0], cells[2], std::stoll(cells[3]), cells[5][0], std::stod(cells[7]), cells[8]});
    }
    return sites;
}

// Random letters with runs of N, soft-masked stretches and sequences of every awkward length.
std::vector<std::pair<std::string, std::string>> AwkwardSequences(unsigned seed)
{
    std::mt19937 random(seed);
    std::vector<std::pair<std::string, std::string>> sequences;
    for (int k = 0; k < 6; ++k) {
        const int lengths[] = {300, 0, 3, 5, 1000, 127};
        std::string residues;
        for (int i = 0; i < lengths[k]; ++i)
            residues += "ACGT"[random() % 4];
        if (residues.size() > 100) {
            residues.replace(20, 30, std::string(30, 'N'));
            for (std::size_t i = 60; i < 90; ++i)
                residues[i] = static_cast<char>(std::tolower(static_cast<unsigned char>(residues[i])));
            residues[residues.size() - 2] = 'n';
        }
        // The motifs' own words, on both strands and at the very ends, so that there are sites.
        if (residues.size() >= 300) {
            residues.replace(0, 5, "ACAGT");
            residues.replace(residues.size() - 5, 5, "ACTGT");
            residues.replace(150, 6, "TTGACA");
            residues.replace(200, 6, "tgtcaa");
        }
        sequences.emplace_back("s" + std::to_string(k), residues);
    }
    return sequences;
}

std::string Fasta(const std::vector<std::pair<std::string, std::string>>& sequences)
{
    std::string text;
    for (const auto& [name, residues] : sequences) {
        text += ">" + name + " description\n";
        for (std::size_t i = 0; i < residues.size(); i += 60)
            text += residues.substr(i, 60) + "\n";
    }
    return text;
}

std::string ScanToText(const FastaScanRequest& request, FastaScanTally* tallyOut = nullptr)
{
    std::string out;
    FastaScanTally tally;
    const Outcome refusal = ScanFasta(request, [&](std::string_view bytes) {
        out += bytes;
        return true;
    }, tally);
    EXPECT_FALSE(refusal) << refusal->message;
    if (tallyOut)
        *tallyOut = tally;
    return out;
}

TEST(SiteScan, EverySiteOfABruteForceScanWhateverThePiecesAndThreads)
{
    const TempDir dir;
    const auto sequences = AwkwardSequences(11);
    FastaScanRequest request;
    request.fastaPath = dir.Write("awkward.fa", Fasta(sequences));
    request.motifs = {SharpMotif("M1", "TTGACA", 1), PairedMotif()};
    request.settings.pValue = 2e-3;
    request.settings.background = {0.3, 0.2, 0.2, 0.3};
    for (const bool skipLowercase : {false, true}) {
        for (const bool bothStrands : {true, false}) {
            request.settings.skipLowercase = skipLowercase;
            request.settings.bothStrands = bothStrands;
            const std::vector<Site> expected = BruteForceSites(request.motifs, sequences, request.settings);
            ASSERT_GE(expected.size(), 5u);
            EXPECT_TRUE(std::any_of(expected.begin(), expected.end(), [](const Site& site) { return site.motif == "P1"; }))
                << "the motif with a pair has no site to check";
            std::string first;
            for (const std::size_t piece : {std::size_t{1}, std::size_t{4}, std::size_t{61}, kScanPieceResidues}) {
                for (const int jobs : {1, 3}) {
                    request.pieceResidues = piece;
                    request.jobs = jobs;
                    const std::string text = ScanToText(request);
                    EXPECT_EQ(ParsedTsv(text), expected) << "piece " << piece << ", jobs " << jobs << ", lower case "
                                                         << (skipLowercase ? "skipped" : "scanned");
                    if (first.empty())
                        first = text;
                    EXPECT_EQ(text, first) << "the bytes depend on the pieces or the threads";
                }
            }
        }
    }
}

TEST(SiteScan, FormatsPlaceTheSameSiteWhereEachFormatCounts)
{
    const TempDir dir;
    FastaScanRequest request;
    request.fastaPath = dir.Write("one.fa", ">chrX\nCCCCCCCCCCTTGACACCCCCCCCCC\n");
    request.motifs = {SharpMotif("M1", "TTGACA", 1)};
    request.settings.pValue = 1e-3;
    request.settings.bothStrands = false;
    const std::string tsv = ScanToText(request);
    EXPECT_THAT(tsv, HasSubstr("M1\tM1_name\tchrX\t11\t16\t+\t"));
    request.format = SiteFormat::Bed;
    EXPECT_THAT(ScanToText(request), ::testing::StartsWith("chrX\t10\t16\tM1\t"));
    request.format = SiteFormat::Gff3;
    const std::string gff = ScanToText(request);
    EXPECT_THAT(gff, ::testing::StartsWith("##gff-version 3\nchrX\tkalvo\tTF_binding_site\t11\t16\t"));
    EXPECT_THAT(gff, HasSubstr("\t+\t.\tName=M1_name;motif_id=M1;pvalue="));
    EXPECT_THAT(gff, HasSubstr(";sequence=TTGACA\n"));
}

TEST(SiteScan, QValuesCountEveryWordScannedAndCutAtTheThreshold)
{
    // Worked Benjamini-Hochberg: p 0.01, 0.02, 0.5 out of 10 tests give q 0.1, 0.1, 1.
    const std::vector<double> q = QValuesOutOf({0.02, 0.5, 0.01}, 10);
    ASSERT_EQ(q.size(), 3u);
    EXPECT_DOUBLE_EQ(q[0], 0.1);
    EXPECT_DOUBLE_EQ(q[1], 1.0);
    EXPECT_DOUBLE_EQ(q[2], 0.1);

    const TempDir dir;
    FastaScanRequest request;
    request.fastaPath = dir.Write("awkward.fa", Fasta(AwkwardSequences(5)));
    request.motifs = {SharpMotif("M1", "TTGACA", 1)};
    request.settings.pValue = 1e-2;
    FastaScanTally all;
    const std::vector<Site> sites = ParsedTsv(ScanToText(request, &all));
    request.maxQValue = 1.0;
    FastaScanTally tally;
    const std::string withQ = ScanToText(request, &tally);
    EXPECT_THAT(withQ, ::testing::StartsWith("motif_id\tmotif_name\tsequence\tstart\tend\tstrand\tscore\tp_value\tq_value\t"));
    EXPECT_EQ(tally.sitesWritten, static_cast<long long>(sites.size()));
    EXPECT_EQ(tally.words, all.words);
    // Each row's q-value is BH over every word scanned, both strands counted.
    std::vector<double> pValues;
    for (const Site& site : sites)
        pValues.push_back(site.p);
    const std::vector<double> expected = QValuesOutOf(pValues, all.words);
    std::istringstream lines(withQ);
    std::string line;
    std::getline(lines, line);
    for (std::size_t k = 0; std::getline(lines, line); ++k) {
        std::vector<std::string> cells;
        std::istringstream fields(line);
        for (std::string cell; std::getline(fields, cell, '\t');)
            cells.push_back(cell);
        ASSERT_EQ(cells.size(), 10u);
        EXPECT_NEAR(std::stod(cells[8]), expected[k], 0.01 * expected[k]);  // from p-values shown to 3 digits
    }
    request.maxQValue = 0.0;
    EXPECT_EQ(ScanToText(request, &tally), SiteHeader(SiteFormat::Tsv, true));
    EXPECT_EQ(tally.sitesWritten, 0);
}

TEST(SiteScan, AFastaThatCannotBeReadIsRefusedNamingFileAndLine)
{
    const TempDir dir;
    FastaScanRequest request;
    request.motifs = {SharpMotif("M1", "TTGACA", 1)};
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"ACGT\n>s\nACGT\n", "does not start with a '>' header line (line 1)"},
        {">s\nACGT\nAC3T\n", "line 3 holds '3', which is not a sequence letter"},
        {"", "holds no sequence"},
        {std::string(">s\nAC\0GT\n", 9), "NUL byte"},
    };
    for (const auto& [text, message] : cases) {
        request.fastaPath = dir.Write("bad.fa", text);
        FastaScanTally tally;
        const Outcome refusal = ScanFasta(request, [](std::string_view) { return true; }, tally);
        ASSERT_TRUE(refusal) << message;
        EXPECT_THAT(refusal->message, HasSubstr("bad.fa"));
        EXPECT_THAT(refusal->message, HasSubstr(message));
    }
    request.fastaPath = (dir.path() / "missing.fa").string();
    FastaScanTally tally;
    const Outcome missing = ScanFasta(request, [](std::string_view) { return true; }, tally);
    ASSERT_TRUE(missing);
    EXPECT_THAT(missing->message, HasSubstr("missing.fa"));
}

}  // namespace
}  // namespace kalvo
