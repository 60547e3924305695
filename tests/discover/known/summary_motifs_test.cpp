// tests/discover/known/summary_motifs_test.cpp: a discovery's summary.json read back, pairs included, and the strict JSON under it.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "discover/discover.h"
#include "discover/discovery_files.h"
#include "discover/discovery_names.h"
#include "discover/known/motif_file.h"
#include "discover/planted_set.h"
#include "report/formats.h"
#include "temp_files.h"
#include "util/json_reader.h"

namespace kalvo {
namespace {

using ::testing::HasSubstr;
using testing::TempDir;

// A small discovery of a planted word whose motif has a correlated pair.
Discovery PlantedDiscovery(const TempDir& dir)
{
    DiscoverSettings settings;
    settings.inputPath = dir.Write("in.fa", testing::MakeSet(60, 150, true, 2).fasta);
    settings.outputDir = (dir.path() / "out").string();
    settings.widths = {12};
    settings.restarts = 3;
    settings.iterations = 150;
    settings.motifs = 2;
    settings.jobs = 2;
    settings.seed = 2;
    Discovery discovery;
    const Outcome refusal = RunDiscovery(settings, false, discovery);
    EXPECT_FALSE(refusal) << refusal->message;
    return discovery;
}

// A group's joint counts as the shares of a pair, its columns in increasing order.
KnownPair ExpectedPair(const GroupNode& group)
{
    KnownPair pair;
    const bool swapped = group.positions[0] > group.positions[1];
    pair.first = std::min(group.positions[0], group.positions[1]);
    pair.second = std::max(group.positions[0], group.positions[1]);
    double total = 0.0;
    for (int count : group.counts)
        total += count;
    for (std::size_t a = 0; a < 4; ++a)
        for (std::size_t b = 0; b < 4; ++b)
            pair.shares[swapped ? 4 * b + a : 4 * a + b] = group.counts[4 * a + b] / total;
    return pair;
}

TEST(SummaryMotifs, ARealDiscoveryReadsBackWithItsPairsAndAgreesWithItsMatrixFiles)
{
    const TempDir dir;
    const Discovery discovery = PlantedDiscovery(dir);
    ASSERT_FALSE(discovery.motifs.empty());
    ASSERT_FALSE(discovery.motifs[0].model.groups.empty()) << "the planted set no longer gives a correlated pair";

    const std::string folder = (dir.path() / "out").string();
    const MotifRead read = ReadMotifFile(folder);  // the folder stands for its summary.json
    ASSERT_FALSE(read.refusal) << read.refusal->message;
    const std::vector<std::string> ids = DiscoveryMotifIds(discovery);
    ASSERT_EQ(read.motifs.size(), discovery.motifs.size());
    for (std::size_t i = 0; i < read.motifs.size(); ++i) {
        const KnownMotif& motif = read.motifs[i];
        const DiscoveredMotif& found = discovery.motifs[i];
        EXPECT_EQ(motif.id, ids[i]);
        EXPECT_EQ(motif.name, found.consensus);
        EXPECT_EQ(motif.Width(), found.width);
        EXPECT_EQ(motif.sites, found.model.numSites);
        const auto rows = MemeRows(found.model);
        for (std::size_t c = 0; c < rows.size(); ++c)
            for (std::size_t b = 0; b < 4; ++b)
                EXPECT_NEAR(motif.shares[c][b], rows[c][b], 1e-12);
        ASSERT_EQ(motif.pairs.size(), found.model.groups.size());
        for (std::size_t p = 0; p < motif.pairs.size(); ++p) {
            const KnownPair expected = ExpectedPair(found.model.groups[p]);
            EXPECT_EQ(motif.pairs[p].first, expected.first);
            EXPECT_EQ(motif.pairs[p].second, expected.second);
            for (std::size_t w = 0; w < 16; ++w)
                EXPECT_NEAR(motif.pairs[p].shares[w], expected.shares[w], 1e-12) << "pair " << p << " cell " << w;
        }
    }
    // The same motifs from the folder's MEME and JASPAR files, to their printed digits.
    for (const char* name : {"motifs.meme", "motifs.jaspar"}) {
        const MotifRead matrices = ReadMotifFile(folder + "/" + name);
        ASSERT_FALSE(matrices.refusal) << matrices.refusal->message;
        ASSERT_EQ(matrices.motifs.size(), read.motifs.size()) << name;
        for (std::size_t i = 0; i < read.motifs.size(); ++i) {
            EXPECT_EQ(matrices.motifs[i].id, read.motifs[i].id) << name;
            EXPECT_TRUE(matrices.motifs[i].pairs.empty());
            for (int c = 0; c < read.motifs[i].Width(); ++c)
                for (std::size_t b = 0; b < 4; ++b)
                    EXPECT_NEAR(matrices.motifs[i].shares[c][b], read.motifs[i].shares[c][b], 1e-6) << name;
        }
    }
    EXPECT_EQ(kReadableSummarySchema, kDiscoveryJsonSchema);
}

// A summary as a discovery writes it, cut to what the reader needs.
std::string Summary(const std::string& motifMembers, int schema = 2)
{
    return "{\n  \"schema\": " + std::to_string(schema) + ",\n  \"program\": \"kalvo\",\n  \"motifs\": [\n    {\n" +
           motifMembers + "\n    }\n  ]\n}\n";
}

const std::string kMatrix = "\"id\": \"1-ACG\", \"consensus\": \"ACG\", \"matrix_sites\": 4,\n"
                            "\"matrix\": [[1, 0, 0, 0], [0, 1, 0, 0], [0, 0, 1, 0]]";

TEST(SummaryMotifs, PairColumnsAreOrderedAndTheirLettersFollowThem)
{
    const TempDir dir;
    const MotifRead read = ReadMotifFile(dir.Write(
        "summary.json", Summary(kMatrix + ",\n\"pairs\": [{\"columns\": [3, 1], \"counts\": {\"AC\": 3, \"GT\": 1}}]")));
    ASSERT_FALSE(read.refusal) << read.refusal->message;
    ASSERT_EQ(read.motifs.size(), 1u);
    const KnownMotif& motif = read.motifs[0];
    EXPECT_EQ(motif.name, "ACG");
    EXPECT_EQ(motif.sites, 4.0);
    ASSERT_EQ(motif.pairs.size(), 1u);
    EXPECT_EQ(motif.pairs[0].first, 0);
    EXPECT_EQ(motif.pairs[0].second, 2);
    // "AC" gives A in column 3 and C in column 1: C then A in column order.
    EXPECT_DOUBLE_EQ(motif.pairs[0].shares[4 * 1 + 0], 0.75);
    EXPECT_DOUBLE_EQ(motif.pairs[0].shares[4 * 3 + 2], 0.25);
}

TEST(SummaryMotifs, SummariesThatCannotBeReadAreRefusedWithTheirLine)
{
    const TempDir dir;
    const std::vector<std::pair<std::string, std::vector<std::string>>> cases = {
        {Summary(kMatrix, kReadableSummarySchema + 1), {"line 2:", "newer Kalvo", "reads up to " + std::to_string(kReadableSummarySchema)}},
        {"{\"program\": \"other\", \"motifs\": []}", {"line 1:", "not a Kalvo discovery's summary"}},
        {"{\"program\": \"kalvo\", \"schema\": 2, \"run\": {}}", {"no \"motifs\" list"}},
        {"{\"program\": \"kalvo\", \"motifs\": []}", {"holds no motif"}},
        {Summary(kMatrix + ",\n\"pairs\": [{\"columns\": [1, 4], \"counts\": {\"AC\": 1}}]"),
         {"line 8:", "names a column outside 1 to 3"}},
        {Summary(kMatrix + ",\n\"pairs\": [{\"columns\": [1, 2], \"counts\": {\"AN\": 1}}]"),
         {"line 8:", "\"AN\""}},
        {Summary(kMatrix + ",\n\"pairs\": [{\"columns\": [1, 2], \"counts\": {}}]"), {"has no counts"}},
        {Summary("\"id\": \"m\", \"consensus\": \"A\",\n\"matrix\": [[1, 0, 0]]"), {"line 7:", "not a list of 4"}},
        {Summary("\"id\": \"m\", \"consensus\": \"A\",\n\"counts\": [[1, 0, -1, 0]]"), {"line 7:", "0 or more"}},
        {Summary("\"id\": \"m\", \"consensus\": \"A\"\n"), {"neither a \"matrix\" nor a \"counts\""}},
        {Summary("\"consensus\": \"A\""), {"without its \"id\""}},
        {"{\"program\": \"kalvo\",\n\"motifs\": [1,]}", {"line 2:", "trailing comma"}},
    };
    for (const auto& [text, said] : cases) {
        const MotifRead read = ReadMotifFile(dir.Write("summary.json", text));
        ASSERT_TRUE(read.refusal) << text;
        for (const std::string& fragment : said)
            EXPECT_THAT(read.refusal->message, HasSubstr(fragment)) << text;
    }
}

TEST(JsonReader, ValuesEscapesAndNumbersAsRfc8259HasThem)
{
    const JsonParse parse = ParseJson(" {\"a\": [true, false, null, -0.5e2, 0, \"x\\\"\\u00e9\\ud83d\\ude00\\n\"],\n"
                                      " \"b\": {}, \"c\": [], \"a\": 1} ");
    ASSERT_TRUE(parse.problem.empty()) << parse.problem;
    const JsonValue* a = parse.value.Find("a");
    ASSERT_TRUE(a && a->Is(JsonValue::Kind::Array));  // the first of two members of one name
    ASSERT_EQ(a->items.size(), 6u);
    EXPECT_TRUE(a->items[0].boolean);
    EXPECT_TRUE(a->items[2].Is(JsonValue::Kind::Null));
    EXPECT_EQ(a->items[3].number, -50.0);
    EXPECT_EQ(a->items[5].text, "x\"\xc3\xa9\xf0\x9f\x98\x80\n");
    EXPECT_EQ(parse.value.Find("b")->line, 2);
    EXPECT_EQ(a->Find("x"), nullptr);
}

TEST(JsonReader, MalformedTextIsRefusedAtItsLine)
{
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"", "ends where a value should be"},
        {"{\"a\": 1,}", "trailing comma"},
        {"[1 2]", "expected ',' or ']'"},
        {"{\"a\" 1}", "':' must follow"},
        {"{a: 1}", "quoted key"},
        {"[01]", "starts with 0"},
        {"[1.]", "decimal point"},
        {"[1e]", "exponent"},
        {"[NaN]", "unexpected text"},
        {"[1e999]", "out of range"},
        {"[\"a\nb\"]", "control character"},
        {"[\"\\x\"]", "unknown escape"},
        {"[\"\\ud83d\"]", "surrogate"},
        {"[\"abc", "ends inside a string"},
        {"// note\n{}", "unexpected text"},
        {"{} {}", "text follows"},
        {"[tru]", "unexpected text"},
        {std::string(300, '[') + std::string(300, ']'), "nest deeper than 256"},
    };
    for (const auto& [text, problem] : cases) {
        const JsonParse parse = ParseJson(text);
        EXPECT_THAT(parse.problem, HasSubstr(problem)) << text;
        EXPECT_TRUE(parse.value.Is(JsonValue::Kind::Null)) << text;
    }
    EXPECT_EQ(ParseJson("{\n\n  \"a\": [1,\n  2,,]\n}").line, 4);
}

}  // namespace
}  // namespace kalvo
