// tests/discover/known/malformed_motifs_test.cpp: motif files that are refused, each naming the file, the line and the fault.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "discover/known/motif_file.h"
#include "temp_files.h"

namespace kalvo {
namespace {

using ::testing::HasSubstr;
using testing::TempDir;

struct Malformed {
    const char* name;
    std::string text;
    std::vector<std::string> said;  // fragments of the refusal
};

const std::string kMemeHead = "MEME version 4\n\nALPHABET= ACGT\n\n";  // four lines

void ExpectRefused(const TempDir& dir, const Malformed& c)
{
    const std::string path = dir.Write(c.name, c.text);
    const MotifRead read = ReadMotifFile(path);
    ASSERT_TRUE(read.refusal) << c.name << ": read " << read.motifs.size() << " motifs";
    EXPECT_TRUE(read.motifs.empty()) << c.name;
    EXPECT_THAT(read.refusal->message, HasSubstr("'" + path + "'")) << c.name;
    for (const std::string& fragment : c.said)
        EXPECT_THAT(read.refusal->message, HasSubstr(fragment)) << c.name;
}

TEST(MalformedMotifFiles, EmptyOrOfNoKnownFormat)
{
    const TempDir dir;
    for (const Malformed& c : std::vector<Malformed>{
             {"empty.meme", "", {"is empty"}},
             {"blank.jaspar", "\n  \n\t\n", {"is empty"}},
             {"notes.txt", "# my motifs\nA [ 1 2 ]\n",
              {"cannot tell the motif format of", "expected MEME, JASPAR, TRANSFAC, HOMER or a Kalvo summary.json"}},
             {"nul.meme", std::string("MEME version 4\n\0\0\0", 18), {"binary"}},
             {"utf16.meme", std::string("\xff\xfeM\0E\0", 6), {"UTF-16"}},
             {"bad.gz", std::string("\x1f\x8b\x08\x00", 4) + "garbage that does not inflate", {"cannot read motif file"}},
             {"nomotif.meme", kMemeHead + "strands: + -\n", {"holds no motif", "MEME"}},
         })
        ExpectRefused(dir, c);
}

TEST(MalformedMotifFiles, MemeRowsAndMatrices)
{
    const TempDir dir;
    const std::string motif = "MOTIF m\nletter-probability matrix: alength= 4 w= 2 nsites= 2\n";  // lines 5 and 6
    for (const Malformed& c : std::vector<Malformed>{
             {"ragged.meme", kMemeHead + motif + "0.5 0.5 0\n0 1 0 0\n", {"line 7:", "has 3 numbers; each row needs 4"}},
             {"short.meme", kMemeHead + motif + "0.5 0.5 0 0\n\nMOTIF n\n", {"line 6:", "has 1 rows", "w= 2"}},
             {"long.meme", kMemeHead + motif + "1 0 0 0\n0 1 0 0\n0 0 1 0\n", {"line 9:", "more rows than its w= 2"}},
             {"negative.meme", kMemeHead + motif + "1 0 0 0\n0.5 -0.1 0.6 0\n", {"line 8:", "'-0.1' is negative"}},
             {"word.meme", kMemeHead + motif + "1 0 0 0\n0.5 x 0.5 0\n", {"line 8:", "'x' is not a number"}},
             {"letters.meme", kMemeHead + motif + "a 0 0 0\n", {"line 7:", "'a' is not a number"}},
             {"zero.meme", kMemeHead + motif + "1 0 0 0\n0 0 0 0\n", {"line 8:", "column 2 of motif 'm' sums to 0"}},
             {"protein.meme", "MEME version 4\n\nALPHABET= ACDEFGHIKLMNPQRSTVWY\n", {"line 3:", "not DNA"}},
             {"alength.meme", kMemeHead + "MOTIF m\nletter-probability matrix: alength= 20 w= 1\n",
              {"line 6:", "alength= 20"}},
             {"nomatrix.meme", kMemeHead + "MOTIF m\n\nMOTIF n\nletter-probability matrix: w= 1\n1 0 0 0\n",
              {"line 5:", "motif 'm' has no letter-probability matrix"}},
             {"orphan.meme", kMemeHead + "letter-probability matrix: w= 1\n1 0 0 0\n",
              {"line 5:", "without its MOTIF line"}},
             {"twice.meme", kMemeHead + motif + "1 0 0 0\n0 1 0 0\n" + motif + "1 0 0 0\n0 1 0 0\n",
              {"line 9:", "id 'm' is taken already, by the motif of line 5"}},
         })
        ExpectRefused(dir, c);
}

TEST(MalformedMotifFiles, JasparRows)
{
    const TempDir dir;
    for (const Malformed& c : std::vector<Malformed>{
             {"ragged.jaspar", ">m\nA [ 1 2 ]\nC [ 1 ]\nG [ 1 2 ]\nT [ 1 2 ]\n",
              {"line 3:", "row C of motif 'm' has 1 numbers and its first row 2"}},
             {"three.jaspar", ">m\nA [ 1 2 ]\nC [ 1 2 ]\nG [ 1 2 ]\n>n\n", {"line 1:", "motif 'm' has 3 rows"}},
             {"five.pfm", "1 2\n1 2\n1 2\n1 2\n1 2\n", {"line 5:", "a fifth row"}},
             {"twice.jaspar", ">m\nA [ 1 ]\nA [ 1 ]\nG [ 1 ]\nT [ 1 ]\n", {"line 3:", "a second row for A"}},
             {"negative.jaspar", ">m\nA [ 1 ]\nC [ -3 ]\nG [ 1 ]\nT [ 1 ]\n", {"line 3:", "'-3' is negative"}},
             {"word.jaspar", ">m\nA [ 1 ]\nC [ many ]\nG [ 1 ]\nT [ 1 ]\n", {"line 3:", "'many' is not a number"}},
             {"zero.jaspar", ">m\nA [ 1 0 ]\nC [ 1 0 ]\nG [ 1 0 ]\nT [ 1 0 ]\n", {"line 2:", "column 2 of motif 'm'"}},
             {"nocolumns.jaspar", ">m\nA [ ]\nC [ ]\nG [ ]\nT [ ]\n", {"line 1:", "without columns"}},
             {"twice2.jaspar", ">m a\nA [1]\nC [1]\nG [1]\nT [1]\n>m b\nA [1]\nC [1]\nG [1]\nT [1]\n",
              {"line 6:", "'m' is taken already, by the motif of line 1"}},
         })
        ExpectRefused(dir, c);
}

TEST(MalformedMotifFiles, TransfacRowsAndEntries)
{
    const TempDir dir;
    for (const Malformed& c : std::vector<Malformed>{
             {"gap.transfac", "ID m\nP0 A C G T\n01 1 1 1 1\n03 1 1 1 1\n//\n",
              {"line 4:", "row 03 of motif 'm' comes where row 2 should"}},
             {"ragged.transfac", "ID m\nP0 A C G T\n01 1 1 1\n//\n", {"line 3:", "has 3 cells"}},
             {"wide.transfac", "ID m\nP0 A C G T\n01 1 1 1 1 1\n//\n", {"line 3:", "has 5 cells"}},
             {"negative.transfac", "ID m\nP0 A C G T\n01 1 -1 1 1 S\n//\n", {"line 3:", "'-1' is negative"}},
             {"word.transfac", "ID m\nP0 A C G T\n01 1 x 1 1 S\n//\n", {"line 3:", "'x' is not a number"}},
             {"zero.transfac", "AC MA1\nID m\nPO A C G T\n01 0 0 0 0\n//\n", {"line 4:", "column 1 of motif 'MA1' sums to 0"}},
             {"nomatrix.transfac", "AC MA1\nXX\nID m\nXX\n//\n", {"line 1:", "motif 'MA1' has no P0 matrix"}},
             {"early.transfac", "ID m\n01 1 1 1 1\nP0 A C G T\n//\n", {"line 2:", "before the P0 line"}},
             {"letters.transfac", "ID m\nP0 A C G U\n//\n", {"line 2:", "must name A, C, G and T"}},
             {"twice.transfac", "ID m\nP0 A C G T\n01 1 1 1 1\n//\nID m\nP0 A C G T\n01 1 1 1 1\n//\n",
              {"line 5:", "by the motif of line 1"}},
         })
        ExpectRefused(dir, c);
}

TEST(MalformedMotifFiles, HomerRows)
{
    const TempDir dir;
    for (const Malformed& c : std::vector<Malformed>{
             {"ragged.motif", ">AC\tm\t5.0\n0.5 0.5 0 0\n0.5 0.5\n", {"line 3:", "has 2 cells; each row needs 4"}},
             {"negative.motif", ">AC\tm\t5.0\n0.5 0.5 0 0\n0.5 0.6 -0.1 0\n", {"line 3:", "'-0.1' is negative"}},
             {"word.motif", ">AC\tm\t5.0\n0.5 0.5 nan 0\n", {"line 2:", "'nan' is not a number"}},
             {"norows.motif", ">AC\tm\t5.0\n>GT\tn\t5.0\n1 0 0 0\n", {"line 1:", "motif 'm' has a matrix without columns"}},
             {"twice.motif", ">A\tm\t5.0\n1 0 0 0\n>A\tm\t5.0\n1 0 0 0\n", {"line 3:", "by the motif of line 1"}},
         })
        ExpectRefused(dir, c);
}

TEST(MalformedMotifFiles, PathsThatAreNoMotifFile)
{
    const TempDir dir;
    const MotifRead missing = ReadMotifFile(dir.File("missing.meme"));
    ASSERT_TRUE(missing.refusal);
    EXPECT_THAT(missing.refusal->message, HasSubstr("cannot open motif file"));
    EXPECT_THAT(missing.refusal->message, HasSubstr("No such file"));
    const MotifRead folder = ReadMotifFile(dir.path().string());
    ASSERT_TRUE(folder.refusal);
    EXPECT_THAT(folder.refusal->message, HasSubstr("is a folder without a summary.json"));
}

}  // namespace
}  // namespace kalvo
