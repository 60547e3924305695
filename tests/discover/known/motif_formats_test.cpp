// tests/discover/known/motif_formats_test.cpp: each motif file format read from a small hand-made file.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "discover/known/motif_file.h"
#include "gzip_text.h"
#include "util/text_lines.h"
#include "temp_files.h"

namespace kalvo {
namespace {

using ::testing::ElementsAre;
using testing::TempDir;

// Reads a file written with the given bytes; a refusal fails the test.
std::vector<KnownMotif> Read(const TempDir& dir, const std::string& name, std::string_view bytes)
{
    const MotifRead read = ReadMotifFile(dir.Write(name, bytes));
    EXPECT_FALSE(read.refusal) << read.refusal->message;
    return read.motifs;
}

std::vector<std::string> Ids(const std::vector<KnownMotif>& motifs)
{
    std::vector<std::string> ids;
    for (const KnownMotif& motif : motifs)
        ids.push_back(motif.id);
    return ids;
}

void ExpectShares(const KnownMotif& motif, const std::vector<std::array<double, 4>>& shares)
{
    ASSERT_EQ(motif.shares.size(), shares.size()) << motif.id;
    for (std::size_t c = 0; c < shares.size(); ++c)
        for (std::size_t b = 0; b < 4; ++b)
            EXPECT_NEAR(motif.shares[c][b], shares[c][b], 1e-9) << motif.id << " column " << c << " letter " << b;
}

// The same two columns as counts of 20 sites and as shares.
const std::vector<std::array<double, 4>> kTwoColumns = {{0.2, 0.8, 0.0, 0.0}, {0.95, 0.0, 0.05, 0.0}};

constexpr const char* kMeme = R"(MEME version 4

ALPHABET= ACGT

strands: + -

Background letter frequencies
A 0.3 C 0.2 G 0.2 T 0.3

MOTIF crp CRP_ecoli
letter-probability matrix: alength= 4 w= 2 nsites= 20 E= 4.1e-009
 0.200000  0.800000  0.000000  0.000000
 0.950000  0.000000  0.050000  0.000000

URL http://example.org/crp

MOTIF lexA
letter-probability matrix: alength= 4 w= 3 nsites= 12 E= 0
  0.25 0.25 0.25 0.25
  1 0 0 0
  0 0 0 1
log-odds matrix: alength= 4 w= 3 E= 0
 -1.2 0.3 0.1 -2.0
 1.2 -0.3 0.1 -2.0
 0.2 0.3 0.1 -2.0
)";

TEST(MemeFiles, EveryMotifWithItsNameSitesAndRowsWhateverFollowsTheMatrix)
{
    const TempDir dir;
    const std::vector<KnownMotif> motifs = Read(dir, "known.meme", kMeme);
    ASSERT_THAT(Ids(motifs), ElementsAre("crp", "lexA"));
    EXPECT_EQ(motifs[0].name, "CRP_ecoli");
    EXPECT_EQ(motifs[1].name, "lexA");  // no name: the id
    EXPECT_DOUBLE_EQ(motifs[0].sites, 20.0);
    EXPECT_DOUBLE_EQ(motifs[1].sites, 12.0);
    ExpectShares(motifs[0], kTwoColumns);
    ExpectShares(motifs[1], {{0.25, 0.25, 0.25, 0.25}, {1, 0, 0, 0}, {0, 0, 0, 1}});
    EXPECT_EQ(motifs[0].source, dir.File("known.meme"));
}

TEST(MemeFiles, MemeTextOutputWithItsBannerFirstIsStillMeme)
{
    const TempDir dir;
    const std::string text = "********************************************************************************\n"
                             "MEME - Motif discovery tool\n"
                             "********************************************************************************\n"
                             "MEME version 5.5.5 (Release date: ...)\n\n"
                             "MOTIF TGTGA MEME-1\twidth =   2  sites =  20  llr = 20  E-value = 1e-5\n"
                             "--------------------------------------------------------------------------------\n"
                             "letter-probability matrix: alength= 4 w= 2 nsites= 20 E= 1e-5\n"
                             "0.2 0.8 0 0\n0.95 0 0.05 0\n"
                             "--------------------------------------------------------------------------------\n";
    const std::vector<KnownMotif> motifs = Read(dir, "meme.txt", text);
    ASSERT_EQ(motifs.size(), 1u);
    EXPECT_EQ(motifs[0].id, "TGTGA");
    EXPECT_EQ(motifs[0].name, "MEME-1");
    ExpectShares(motifs[0], kTwoColumns);
}

TEST(JasparFiles, HeadedMatricesWithOrWithoutBracketsAndLetters)
{
    const TempDir dir;
    const std::vector<KnownMotif> motifs = Read(dir, "known.jaspar",
                                                ">MA0004.1\tArnt\n"
                                                "A  [     4     19 ]\n"
                                                "C  [    16      0 ]\n"
                                                "G  [     0      1 ]\n"
                                                "T  [     0      0 ]\n"
                                                "\n"
                                                ">plain\n"
                                                "4 19\n16 0\n0 1\n0 0\n"
                                                ">reordered two words\n"
                                                "T [0 0]\nG [0 1]\nC [16 0]\nA [4 19]\n");
    ASSERT_THAT(Ids(motifs), ElementsAre("MA0004.1", "plain", "reordered"));
    EXPECT_EQ(motifs[0].name, "Arnt");
    EXPECT_EQ(motifs[1].name, "plain");
    EXPECT_EQ(motifs[2].name, "two words");
    for (const KnownMotif& motif : motifs) {
        ExpectShares(motif, kTwoColumns);
        EXPECT_DOUBLE_EQ(motif.sites, 20.0) << motif.id;
    }
}

TEST(JasparFiles, ABarePfmIsNamedAfterItsFile)
{
    const TempDir dir;
    for (const char* name : {"MA0004.1.pfm", "MA0004.1.pfm.gz"}) {
        const std::string text = "  4 19\n 16  0\n  0  1\n  0  0\n";
        const std::string bytes = std::string_view(name).ends_with(".gz") ? testing::GzipMember(text) : text;
        const std::vector<KnownMotif> motifs = Read(dir, name, bytes);
        ASSERT_EQ(motifs.size(), 1u) << name;
        EXPECT_EQ(motifs[0].id, "MA0004.1");  // the stem drops ".gz" and the last extension only
        ExpectShares(motifs[0], kTwoColumns);
    }
}

TEST(TransfacFiles, JasparStyleEntriesKeepFamilyClassAndTaxon)
{
    const TempDir dir;
    const std::vector<KnownMotif> motifs = Read(dir, "known.txt",
                                                "AC MA0004.1\nXX\nID Arnt\nXX\nDE MA0004.1 Arnt ; From JASPAR\n"
                                                "PO\tA\tC\tG\tT\n01\t4.0\t16.0\t0.0\t0.0\n02\t19.0\t0.0\t1.0\t0.0\nXX\n"
                                                "CC tax_group:vertebrates\nCC tf_family:PAS domain factors\n"
                                                "CC tf_class:Basic helix-loop-helix factors (bHLH)\n"
                                                "CC pubmed_ids:7592839\nXX\n//\n"
                                                "ID  run1-CA\nXX\nNA  crp0.run1\nXX\nBF  kalvo\nXX\n"
                                                "P0      T      G      C      A\n"
                                                "01      0      0     16      4      C\n"
                                                "02      0      1      0     19      A\n"
                                                "XX\n//\n");
    ASSERT_THAT(Ids(motifs), ElementsAre("MA0004.1", "run1-CA"));
    EXPECT_EQ(motifs[0].name, "Arnt");
    EXPECT_EQ(motifs[0].taxon, "vertebrates");
    EXPECT_EQ(motifs[0].family, "PAS domain factors");
    EXPECT_EQ(motifs[0].tfClass, "Basic helix-loop-helix factors (bHLH)");
    EXPECT_EQ(motifs[1].name, "crp0.run1");
    EXPECT_TRUE(motifs[1].taxon.empty());
    for (const KnownMotif& motif : motifs) {
        ExpectShares(motif, kTwoColumns);
        EXPECT_DOUBLE_EQ(motif.sites, 20.0);
    }
}

TEST(TransfacFiles, AReleaseHeaderIsNoMotifAndTheLastSlashesMayBeMissing)
{
    const TempDir dir;
    const std::vector<KnownMotif> motifs = Read(dir, "matrix.dat",
                                                "VV  TRANSFAC MATRIX TABLE, Release 2.2\nXX\n//\n"
                                                "AC  M00001\nXX\nID  V$MYOD_01\nNA  MyoD\nP0  A C G T\n"
                                                "01  0.2 0.8 0 0 S\n02  0.95 0 0.05 0 A\n");
    ASSERT_EQ(motifs.size(), 1u);
    EXPECT_EQ(motifs[0].id, "M00001");
    EXPECT_EQ(motifs[0].name, "MyoD");
    EXPECT_EQ(motifs[0].sites, 0.0);  // shares: no site count
    ExpectShares(motifs[0], kTwoColumns);
}

TEST(HomerFiles, TheNameFieldIsTheIdAndRowsAreShares)
{
    const TempDir dir;
    const std::vector<KnownMotif> motifs =
        Read(dir, "homerResults.motif",
             ">CA\t1-CA,BestGuess:CRP\t6.2\t-23791.5\t0\tT:17311.0(44.36%),B:2181.5(8.54%),P:1e-10317\n"
             "0.200\t0.800\t0.000\t0.000\n0.950\t0.000\t0.050\t0.000\n"
             ">AAC\tCTCF(Zf)/CD4+-CTCF-ChIP-Seq/Homer\t8.0\n0.25 0.25 0.25 0.25\n1 0 0 0\n0 1 0 0\n");
    ASSERT_THAT(Ids(motifs), ElementsAre("1-CA,BestGuess:CRP", "CTCF(Zf)/CD4+-CTCF-ChIP-Seq/Homer"));
    ExpectShares(motifs[0], kTwoColumns);
    EXPECT_EQ(motifs[1].Width(), 3);
    EXPECT_EQ(motifs[0].sites, 0.0);
}

// Counts and shares of one matrix, in each format, give the same shares: a reader that
// forgot to divide, or divided rows instead of columns, would differ.
TEST(MotifFiles, CountsAndSharesOfOneMatrixGiveTheSameSharesInEveryFormat)
{
    const TempDir dir;
    const std::vector<std::pair<std::string, std::string>> files = {
        {"a.meme", "MEME version 4\n\nMOTIF m\nletter-probability matrix: alength= 4 w= 2\n4 16 0 0\n19 0 1 0\n"},
        {"b.meme", "MEME version 4\n\nMOTIF m\nletter-probability matrix: alength= 4 w= 2\n.2 .8 0 0\n.95 0 .05 0\n"},
        {"c.jaspar", ">m\nA [ .2 .95 ]\nC [ .8 0 ]\nG [ 0 .05 ]\nT [ 0 0 ]\n"},
        {"d.transfac", "ID m\nP0 A C G T\n01 8 32 0 0\n02 38 0 2 0\n//\n"},
        {"e.motif", ">CA\tm\t5.0\n4 16 0 0\n19 0 1 0\n"},
    };
    for (const auto& [name, text] : files) {
        const std::vector<KnownMotif> motifs = Read(dir, name, text);
        ASSERT_EQ(motifs.size(), 1u) << name;
        ExpectShares(motifs[0], kTwoColumns);
    }
    EXPECT_DOUBLE_EQ(Read(dir, "a.meme", files[0].second)[0].sites, 20.0);
    EXPECT_DOUBLE_EQ(Read(dir, "d.transfac", files[3].second)[0].sites, 40.0);
    EXPECT_DOUBLE_EQ(Read(dir, "b.meme", files[1].second)[0].sites, 0.0);
}

// The content decides, not the name: each format under a misleading extension, with CR LF line ends.
TEST(MotifFiles, TheFormatIsToldByContentWhateverTheNameAndLineEnds)
{
    const std::vector<std::pair<std::string, MotifFormat>> texts = {
        {"\n\nMEME version 4\r\n\r\nMOTIF m\r\n", MotifFormat::Meme},
        {">m x\r\nA [ 1 ]\r\n", MotifFormat::Jaspar},
        {"1 2\r\n3 4\r\n", MotifFormat::Jaspar},
        {"A: 1 2\n", MotifFormat::Jaspar},
        {"AC MA1\r\n", MotifFormat::Transfac},
        {"ID m\n", MotifFormat::Transfac},
        {">ACGT\tname\t6.5\r\n", MotifFormat::Homer},
        {"  {\"program\": \"kalvo\"}", MotifFormat::KalvoSummary},
    };
    for (const auto& [text, format] : texts) {
        EXPECT_EQ(DetectMotifFormat(SplitLines(text)), format) << text;
    }
    EXPECT_FALSE(DetectMotifFormat({"# a comment", "A [ 1 ]"}));
    EXPECT_FALSE(DetectMotifFormat({"", "  "}));
}

}  // namespace
}  // namespace kalvo
