// tests/report/formats_test.cpp: each export format read back by a small reader of its own and checked against the report.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <map>
#include <set>
#include <nlohmann/json.hpp>
#include <sstream>

#include "model/run_state.h"
#include "report/formats.h"
#include "temp_files.h"
#include "util/sequence_text.h"
#include "util/text_lines.h"

namespace kalvo {
namespace {

using nlohmann::json;
using Matrix = std::vector<std::vector<double>>;

std::vector<std::string> Words(const std::string& line)
{
    std::istringstream in(line);
    std::vector<std::string> words;
    for (std::string word; in >> word;)
        words.push_back(word);
    return words;
}

std::vector<std::string> Tabs(const std::string& line)
{
    std::vector<std::string> fields(1);
    for (char c : line) {
        if (c == '\t')
            fields.emplace_back();
        else
            fields.back().push_back(c);
    }
    return fields;
}

std::string Fixed(double value, int decimals)
{
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.*f", decimals, value);
    return buffer;
}

// Column counts recounted from the site words, as a tool that reads only the sites would.
Matrix CountsOfSites(const RunSummary& summary)
{
    Matrix counts(static_cast<std::size_t>(summary.width), std::vector<double>(4, 0.0));
    for (const SiteNode& site : summary.sites)
        for (std::size_t c = 0; c < counts.size(); ++c)
            if (IsBase(site.word[c]))
                counts[c][static_cast<std::size_t>(BaseCode(site.word[c]))] += 1;
    return counts;
}

// MEME: the strands line, then w rows of four shares after the matrix line, and a blank line.
Matrix ReadMeme(const std::string& text, std::string& strands, int& nsites)
{
    const std::vector<std::string> lines = SplitLines(text);
    EXPECT_EQ(lines.at(0), "MEME version 4");
    Matrix rows;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].starts_with("strands: "))
            strands = lines[i].substr(9);
        int width = 0;
        if (std::sscanf(lines[i].c_str(), "letter-probability matrix: alength= 4 w= %d nsites= %d E= 0", &width,
                        &nsites) != 2)
            continue;
        for (int r = 0; r < width; ++r) {
            rows.emplace_back();
            for (const std::string& share : Words(lines.at(++i)))
                rows.back().push_back(std::stod(share));
        }
        EXPECT_TRUE(lines.at(i + 1).empty());
    }
    return rows;
}

// JASPAR: ">ID name", then "A [ n n ... ]" to "T [ ... ]"; columns returned as rows.
Matrix ReadJaspar(const std::string& text, std::string& id)
{
    const std::vector<std::string> lines = SplitLines(text);
    EXPECT_EQ(lines.size(), 5u);
    id = Words(lines.at(0).substr(1)).at(0);
    Matrix columns;
    for (std::size_t b = 0; b < 4; ++b) {
        const auto words = Words(lines.at(b + 1));
        EXPECT_EQ(words.at(0) + words.at(1) + words.back(), std::string(1, "ACGT"[b]) + "[]");
        columns.resize(words.size() - 3, std::vector<double>(4));
        for (std::size_t c = 0; c + 3 < words.size(); ++c)
            columns[c][b] = std::stod(words[c + 2]);
    }
    return columns;
}

// TRANSFAC: numbered rows of four counts and a letter between "P0 A C G T" and "XX"; ends with "XX", "//".
Matrix ReadTransfac(const std::string& text, std::string& consensus)
{
    const std::vector<std::string> lines = SplitLines(text);
    EXPECT_EQ(lines.at(lines.size() - 2) + lines.back(), "XX//");
    Matrix rows;
    bool inRows = false;
    for (const std::string& line : lines) {
        const auto words = Words(line);
        if (inRows && words.at(0) == "XX")
            break;
        if (inRows) {
            EXPECT_EQ(std::stoul(words.at(0)), rows.size() + 1);
            rows.push_back({std::stod(words.at(1)), std::stod(words.at(2)), std::stod(words.at(3)), std::stod(words.at(4))});
            consensus += words.at(5);
        }
        inRows = inRows || words == std::vector<std::string>{"P0", "A", "C", "G", "T"};
    }
    return rows;
}

// A seeded CRP run whose best state holds correlated pairs, and its report block split into parts.
class ExportOfARun : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        testing::TempDir dir;
        std::filesystem::copy_file("golden/crp2/crp0.fa", dir.path() / "crp0.fa");
        CMotifSampler run;
        ASSERT_FALSE(run.LoadParametersText("-i\n" + dir.File("crp0.fa") + "\n-o\n" + dir.File("out.txt") +
                                                "\n-w\n22\n-n\n150\n-s\n0.5\n-e\n",
                                            "p"));
        ASSERT_FALSE(run.Run(1001));
        s_summary = SummarizeRun(run);
        std::string part = "matrix";
        for (const std::string& line : SplitLines(testing::ReadBytes(dir.File("out.txt")))) {
            if (line == "Correlated positions:" || line == "Putative sites:")
                part = line;
            else if (line.starts_with("Joint Loglikelihood: ") || line.starts_with("Estimated Prior: "))
                s_report["scores"].push_back(line);
            else if (!line.empty() && (part != "matrix" || (Tabs(line).size() == 6 && line[0] != '\t')))
                s_report[part].push_back(line);
        }
    }
    static const std::vector<std::string>& Report(const std::string& part) { return s_report[part]; }
    static inline RunSummary s_summary;
    static inline std::map<std::string, std::vector<std::string>> s_report;
};

TEST_F(ExportOfARun, MatricesCountTheSitesAndMemeRowsSumToOne)
{
    const Matrix counts = CountsOfSites(s_summary);
    const auto sites = static_cast<double>(s_summary.sites.size());
    std::string strands;
    int nsites = -1;
    const Matrix meme = ReadMeme(MemeMotif(s_summary), strands, nsites);
    EXPECT_EQ(strands, "+ -");
    EXPECT_EQ(nsites, static_cast<int>(sites));
    ASSERT_EQ(meme.size(), counts.size());
    for (std::size_t c = 0; c < meme.size(); ++c) {
        EXPECT_NEAR(meme[c][0] + meme[c][1] + meme[c][2] + meme[c][3], 1.0, 1e-5);
        for (std::size_t b = 0; b < 4; ++b)
            EXPECT_NEAR(meme[c][b], counts[c][b] / sites, 5e-7);
    }
    std::string id;
    std::string consensus;
    EXPECT_EQ(ReadJaspar(JasparCounts(s_summary), id), counts);
    EXPECT_EQ(ReadTransfac(TransfacMatrix(s_summary), consensus), counts);
    EXPECT_EQ(id, "run1-" + s_summary.consensus);
    EXPECT_EQ(consensus, s_summary.consensus);
}

TEST_F(ExportOfARun, BedLinesAreTheReportedSitesWithTheBestScoring1000)
{
    const auto& printed = Report("Putative sites:");
    const std::vector<std::string> bed = SplitLines(BedSites(s_summary));
    ASSERT_EQ(bed.size(), printed.size());
    int best = 0;
    for (std::size_t i = 0; i < bed.size(); ++i) {
        const auto site = Tabs(printed[i]);  // header, segN, f/r, pos, word, score, ""
        const auto f = Tabs(bed[i]);
        ASSERT_EQ(f.size(), 6u);
        const long long start = std::stoll(site[3]);
        EXPECT_EQ(f[0] + " " + f[1] + " " + f[2] + " " + f[3] + " " + f[5],
                  Words(site[0].substr(1)).at(0) + " " + std::to_string(start) + " " +
                      std::to_string(start + s_summary.width) + " " + site[4] + " " + (site[2] == "f" ? "+" : "-"));
        EXPECT_LE(std::stoi(f[4]), 1000);
        best = std::max(best, std::stoi(f[4]));
    }
    EXPECT_EQ(best, 1000);
}

TEST_F(ExportOfARun, JsonParsesAndPrintsAsTheReportDoes)
{
    const json doc = json::parse(JsonReport(s_summary, "9.8.7"));
    EXPECT_EQ(doc["schema"], kRunJsonSchema);
    EXPECT_EQ(doc["version"], "9.8.7");
    EXPECT_EQ(doc["seed"], 1001);
    EXPECT_EQ(doc["parameters"]["width"], 22);
    EXPECT_EQ(doc["parameters"]["pseudocount"], 0.5);
    EXPECT_EQ(doc["parameters"]["oneSitePerSequence"], true);
    EXPECT_EQ(doc["sequences"].size(), 18u);
    EXPECT_EQ(doc["numSites"], Report("Putative sites:").size());

    std::vector<std::string> matrix;
    for (const json& column : doc["motif"]["columns"]) {
        std::string row = std::to_string(column["column"].get<int>()) + "\t";
        for (const json& share : column["probabilities"])
            row += Fixed(share.get<double>(), 2) + "\t";
        matrix.push_back(row + column["consensus"].get<std::string>());
    }
    EXPECT_EQ(matrix, Report("matrix"));

    std::vector<std::string> groups;
    for (const json& group : doc["correlatedPositions"]) {
        std::string head;
        for (const json& column : group["columns"])
            head += std::to_string(column.get<int>()) + ",";
        groups.push_back(head + "logBF=" + Fixed(group["logBF"].get<double>(), 6));
        for (const json& word : group["words"])
            groups.push_back(word["word"].get<std::string>() + "\t" + std::to_string(word["count"].get<int>()) + "\t" +
                             Fixed(word["probability"].get<double>(), 6));
    }
    EXPECT_GE(doc["correlatedPositions"].size(), 1u);
    EXPECT_EQ(groups, Report("Correlated positions:"));

    EXPECT_EQ(Report("scores"), (std::vector<std::string>{
                                    "Joint Loglikelihood: " + Fixed(doc["jointLogLikelihood"].get<double>(), 6),
                                    "Estimated Prior: " + Fixed(doc["estimatedPrior"].get<double>(), 6)}));
    std::vector<std::string> sites;
    for (const json& site : doc["sites"])
        sites.push_back(site["header"].get<std::string>() + "\tseg" + std::to_string(site["segment"].get<int>()) +
                        "\t" + (site["strand"] == "+" ? "f" : "r") + "\t" + std::to_string(site["position"].get<int>()) +
                        "\t" + site["word"].get<std::string>() + "\t" + Fixed(site["logScore"].get<double>(), 6) + "\t");
    EXPECT_EQ(sites, Report("Putative sites:"));
}

// --- hand-made summaries for the edge cases ---

RunSummary Summary(const std::vector<std::string>& headers, const std::vector<long long>& lengths)
{
    RunSummary summary;
    summary.width = 4;
    for (const std::string& header : headers)
        summary.seqNames.Add(header);
    summary.seqLengths = lengths;
    summary.bgFreq = {0.6, 0.4, 0.4, 0.6};  // a background file need not sum to 1
    summary.counts.assign(4, std::array<int, 4>{});
    summary.consensus = "AAAA";
    return summary;
}

void AddSite(RunSummary& summary, int seq, int pos, bool forward, const std::string& word, double score)
{
    summary.sites.push_back(SiteNode{seq, 1, word, forward, pos, score, 0.0});
}

TEST(MemeWithoutSites, RowsAreTheBackgroundAndACommentSaysSo)
{
    RunSummary summary = Summary({">a"}, {20});
    summary.bothStrands = false;
    std::string strands;
    int nsites = -1;
    const std::string text = MemeMotif(summary);
    EXPECT_EQ(ReadMeme(text, strands, nsites), Matrix(4, {0.3, 0.2, 0.2, 0.3}));
    EXPECT_EQ(strands, "+");
    EXPECT_EQ(nsites, 0);
    EXPECT_THAT(text, ::testing::HasSubstr("\n# no sites were found"));
}

// The "MOTIF id name" line, the ">id name" line, and the ID and NA lines, as "id name" each.
std::vector<std::string> MatrixLabels(const RunSummary& summary, std::int64_t runNumber)
{
    ExportOptions options;
    options.runNumber = runNumber;
    std::vector<std::string> labels;
    for (const std::string& line : SplitLines(ComposeExport(ExportFormat::Meme, summary, options)))
        if (line.starts_with("MOTIF "))
            labels.push_back(line.substr(6));
    labels.push_back(SplitLines(ComposeExport(ExportFormat::Jaspar, summary, options)).at(0).substr(1));
    const std::vector<std::string> transfac = SplitLines(ComposeExport(ExportFormat::Transfac, summary, options));
    labels.push_back(transfac.at(0).substr(4) + " " + transfac.at(2).substr(4));
    const json doc = json::parse(ComposeExport(ExportFormat::Json, summary, options));
    labels.push_back(doc["motif"]["id"].get<std::string>() + " " + doc["motif"]["name"].get<std::string>());
    return labels;
}

TEST(MotifNames, EveryFormatNamesARunByItsNumberInTheBatchAndItsInputFile)
{
    RunSummary summary = Summary({">a"}, {20});
    summary.inputPath = "data/my peaks;v2.fa.gz";
    std::set<std::string> ids;
    for (std::int64_t run = 1; run <= 3; ++run) {
        const std::string label = "run" + std::to_string(run) + "-AAAA my_peaks_v2.run" + std::to_string(run);
        EXPECT_EQ(MatrixLabels(summary, run), std::vector<std::string>(4, label));
        ids.insert(Words(label).at(0));
    }
    EXPECT_EQ(ids.size(), 3u);  // merged files of one batch keep the runs apart
}

TEST(MemeEValue, ARunWritesNoEValueForItComputesNone)
{
    RunSummary summary = Summary({">a"}, {20});
    summary.numSites = 1;
    summary.counts = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}};
    const std::string text = MemeMotif(summary, 2);
    EXPECT_THAT(text, ::testing::HasSubstr("\nletter-probability matrix: alength= 4 w= 4 nsites= 1\n"));
    EXPECT_THAT(text, ::testing::Not(::testing::HasSubstr("E=")));
}

TEST(BedCoordinates, IntervalNamesOfBedtoolsAndSamtoolsAreToldApartByTheLength)
{
    EXPECT_EQ(HeaderInterval(">chr2:1000-1010", 10)->start, 1000);            // bedtools: 0-based start
    EXPECT_EQ(HeaderInterval(">chr2:1001-1010 text", 10)->start, 1000);       // samtools: 1-based
    EXPECT_EQ(HeaderInterval(">p7::HLA-A*01:01:5-15(+)", 10)->chrom, "HLA-A*01:01");
    EXPECT_FALSE(HeaderInterval(">chr2:1000-1010", 12));                      // another sequence's interval
    EXPECT_FALSE(HeaderInterval(">chr2:10a-20", 10));
    EXPECT_FALSE(HeaderInterval(">:0-10", 10));
}

TEST(BedCoordinates, SitesReadTheGenomeWhereTheirLinesPutThem)
{
    const std::string genome = "GGGGGGGGGGACGTTTGCAAGCATCCAGGGGGGGGGG";
    const std::string plus = genome.substr(10, 16);                      // chr9:10-26
    const std::string minus = ReverseComplement(genome.substr(12, 14));  // chr9:12-26(-)
    RunSummary summary = Summary({">chr9:10-26", ">chr9:12-26(-) peak", ">free text"}, {16, 14, 9});
    AddSite(summary, 0, 3, true, plus.substr(3, 4), 4.0);
    AddSite(summary, 0, 6, false, ReverseComplement(plus.substr(6, 4)), 2.0);
    AddSite(summary, 1, 2, true, minus.substr(2, 4), 1.0);
    AddSite(summary, 1, 7, false, ReverseComplement(minus.substr(7, 4)), -1.0);
    AddSite(summary, 2, 5, false, "ACGT", 3.0);
    const std::vector<std::string> bed = SplitLines(BedSites(summary));
    ASSERT_EQ(bed.size(), 5u);
    for (std::size_t i = 0; i < 4; ++i) {
        const auto f = Tabs(bed[i]);
        const std::string onGenome = genome.substr(std::stoul(f[1]), 4);
        // A site's word is in motif orientation, so it reads the genome on the line's strand.
        EXPECT_EQ(f[0], "chr9");
        EXPECT_EQ(f[5] == "+" ? onGenome : ReverseComplement(onGenome), summary.sites[i].word) << bed[i];
    }
    EXPECT_EQ(Tabs(bed[2])[5] + Tabs(bed[3])[5], "-+");
    EXPECT_EQ(bed[4], "free\t5\t9\tACGT\t750\t-");
    EXPECT_EQ(Tabs(bed[1])[4] + " " + Tabs(bed[3])[4], "500 0");  // no better than the background: 0
}

TEST(BedFields, BlanksTabsAndControlsInNamesAndWordsNeverSplitALine)
{
    // Sequence lines may hold blanks and tabs, which then reach the site words;
    // a header's first word may hold a CR or another control character.
    RunSummary summary =
        Summary({">chr\x0b" "1\rx:0-10", ">seq\x01" "a desc", ">\tlead", ">chr2:0-10"}, {10, 10, 10, 10});
    AddSite(summary, 0, 1, true, "AC\tG", 2.0);
    AddSite(summary, 1, 2, false, "A C ", 1.0);
    AddSite(summary, 2, 3, true, "ACG\x7f", 1.0);
    AddSite(summary, 3, 4, true, "ACGT", 1.0);
    const std::vector<std::string> bed = SplitLines(BedSites(summary));
    ASSERT_EQ(bed.size(), 4u);
    for (const std::string& line : bed) {
        EXPECT_EQ(Tabs(line).size(), 6u) << line;
        EXPECT_EQ(Words(line).size(), 6u) << line;
        for (char c : line)
            EXPECT_TRUE(c == '\t' || (static_cast<unsigned char>(c) > 0x20 && c != 0x7f)) << line;
    }
    EXPECT_EQ(bed[0], "chr_1_x\t1\t5\tAC_G\t1000\t+");
    EXPECT_EQ(bed[1], "seq_a\t2\t6\tA_C_\t500\t-");
    EXPECT_EQ(bed[2], "seq3\t3\t7\tACG_\t500\t+");  // no first word: named by its place
    EXPECT_EQ(bed[3], "chr2\t4\t8\tACGT\t500\t+");   // clean fields stay as they are
}

TEST(JsonText, HeadersWithQuotesControlsAndStrayBytesStillParse)
{
    RunSummary summary = Summary({">a \"q\"\tb\\ \x01 caf\xc3\xa9", ">bad \xff\xc3 end"}, {10, 10});
    summary.bestLogLik = std::nan("");
    const json doc = json::parse(JsonReport(summary, "1.0.0"));
    EXPECT_EQ(doc["sequences"][0]["header"], ">a \"q\"\tb\\ \x01 caf\xc3\xa9");
    EXPECT_EQ(doc["sequences"][1]["header"], ">bad \xef\xbf\xbd\xef\xbf\xbd end");
    EXPECT_TRUE(doc["jointLogLikelihood"].is_null());
}

TEST(SiteHeaders, EachSiteIsNamedByTheHeaderOfItsOwnSequence)
{
    RunSummary summary = Summary({">a one", ">b two", ">c three"}, {10, 10, 10});
    AddSite(summary, 2, 1, true, "ACGT", 2.0);
    AddSite(summary, 0, 3, false, "TTGA", 1.0);
    AddSite(summary, 5, 0, true, "CCCC", 1.0);  // a sequence the summary does not hold
    const std::vector<std::string> bed = SplitLines(BedSites(summary));
    ASSERT_EQ(bed.size(), 3u);
    EXPECT_EQ(Tabs(bed[0]).at(0), "c");
    EXPECT_EQ(Tabs(bed[1]).at(0), "a");
    EXPECT_EQ(Tabs(bed[2]).at(0), "seq6");
    const json doc = json::parse(JsonReport(summary, "1.0.0"));
    ASSERT_EQ(doc["sites"].size(), 3u);
    EXPECT_EQ(doc["sites"][0]["header"], ">c three");
    EXPECT_EQ(doc["sites"][1]["header"], ">a one");
    EXPECT_EQ(doc["sites"][2]["header"], "");
    EXPECT_EQ(doc["sequences"][1]["header"], ">b two");
    EXPECT_EQ(doc["sequences"][2]["sites"], 1);
}

}  // namespace
}  // namespace kalvo
