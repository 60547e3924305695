// tests/util/fasta_stream_test.cpp: FASTA read a piece at a time: pieces, names, line ends, gzip, comments.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "gzip_text.h"
#include "temp_files.h"
#include "util/fasta_stream.h"

namespace kalvo {
namespace {

using testing::GzipMembers;
using testing::TempDir;

// Every piece of a file as "record name start residues first last", in order.
std::vector<std::string> Pieces(const std::string& path, std::size_t pieceResidues)
{
    FastaStream stream(path, pieceResidues);
    std::vector<std::string> pieces;
    FastaPiece piece;
    while (stream.Next(piece))
        pieces.push_back(std::to_string(piece.record) + " " + piece.name + " " + std::to_string(piece.start) + " " +
                         piece.residues + (piece.first ? " first" : "") + (piece.last ? " last" : ""));
    EXPECT_FALSE(stream.Problem()) << *stream.Problem();
    return pieces;
}

TEST(FastaStream, SequencesComeInPiecesWithTheirNamesWhateverTheLineEndsOrCompression)
{
    const TempDir dir;
    const std::string text = ">chr1 first one\r\nACGTA\r\ncgtN\r\n;a comment\r\n>empty\r\n>  chr2\tx\nAC GT\n\nA-*.\n";
    const std::vector<std::string> expected = {"0 chr1 0 ACGT first",  "0 chr1 4 Acgt",       "0 chr1 8 N last",
                                               "1 empty 0  first last", "2 chr2 0 ACGT first", "2 chr2 4 A-*.",
                                               "2 chr2 8  last"};
    EXPECT_EQ(Pieces(dir.Write("plain.fa", text), 4), expected);
    EXPECT_EQ(Pieces(dir.Write("packed.fa.gz", GzipMembers(text, 7)), 4), expected);
    // One piece per sequence when the pieces are long enough; a piece that fills up at the
    // sequence's end is followed by an empty last one.
    EXPECT_EQ(Pieces(dir.Write("plain.fa", text), 100),
              (std::vector<std::string>{"0 chr1 0 ACGTAcgtN first last", "1 empty 0  first last",
                                        "2 chr2 0 ACGTA-*. first last"}));
    EXPECT_EQ(Pieces(dir.Write("exact.fa", ">s\nACGT\n"), 4),
              (std::vector<std::string>{"0 s 0 ACGT first", "0 s 4  last"}));
}

TEST(FastaStream, AFileThatIsNotFastaStopsTheReadingWithTheLine)
{
    const TempDir dir;
    const std::string path = dir.Write("bad.fa", ">s\nACGT\nAC#T\n");
    FastaStream stream(path, 100);
    FastaPiece piece;
    while (stream.Next(piece)) {
    }
    ASSERT_TRUE(stream.Problem());
    EXPECT_EQ(*stream.Problem(), "sequence file '" + path + "' line 3 holds '#', which is not a sequence letter");
    const FastaStream missing((dir.path() / "missing.fa").string(), 100);
    ASSERT_TRUE(missing.OpenProblem());
    EXPECT_THAT(*missing.OpenProblem(), ::testing::HasSubstr("missing.fa"));
}

}  // namespace
}  // namespace kalvo
