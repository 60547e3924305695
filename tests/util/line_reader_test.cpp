// tests/util/line_reader_test.cpp: reading a file line by line gives the lines of the whole text.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "temp_files.h"
#include "util/text_lines.h"

namespace kalvo {
namespace {

using Lines = std::vector<std::string>;
using testing::TempDir;

Lines ReadLines(const std::string& path)
{
    LineReader reader(path);
    EXPECT_TRUE(reader.IsOpen()) << path;
    Lines lines;
    std::string line;
    while (reader.Next(line))
        lines.push_back(line);
    EXPECT_FALSE(reader.Failed());
    return lines;
}

TEST(LineReader, GivesTheLinesOfSplitLinesForEveryLineEnd)
{
    TempDir dir;
    const std::string texts[] = {
        "", "\n", "\r", "\r\n", "a", "a\n", "a\r", "a\r\n", "a\nb", "a\r\nb\r", "a\rb\n", "a\r\r\n", "\ra\n",
        " a \n\r\n\nb", "a\n\r", "a\n\n", std::string("n\0ul\n\0", 6), ">s1\r\nACGT\r\nTT\r\n",
    };
    for (const std::string& text : texts)
        EXPECT_EQ(ReadLines(dir.Write("t.txt", text)), SplitLines(text)) << "text of " << text.size() << " bytes";
}

TEST(LineReader, LinesLongerThanItsBufferAndLineEndsAcrossItsEdgeReadWhole)
{
    TempDir dir;
    // Line ends placed on every side of the reader's 64 KiB reads.
    for (std::size_t length : {65534u, 65535u, 65536u, 65537u, 131071u}) {
        for (const char* end : {"\n", "\r\n", "\r"}) {
            const std::string text = std::string(length, 'A') + end + "CG" + end;
            EXPECT_EQ(ReadLines(dir.Write("t.txt", text)), SplitLines(text)) << length << " " << end[0];
        }
    }
    const std::string tenMegabytes(10u << 20, 'G');
    EXPECT_EQ(ReadLines(dir.Write("big.txt", ">x\n" + tenMegabytes + "\r\n")), (Lines{">x", tenMegabytes}));
}

TEST(LineReader, AFolderAMissingFileAndANameWithANulDoNotOpen)
{
    TempDir dir;
    dir.Write("real", "text\n");
    EXPECT_FALSE(LineReader(dir.path().string()).IsOpen());
    EXPECT_FALSE(LineReader(dir.File("absent")).IsOpen());
    EXPECT_FALSE(LineReader("").IsOpen());
    // Cut at the NUL, the name would open "real".
    const std::string withNul = dir.File("real") + std::string(1, '\0') + ".fa";
    EXPECT_FALSE(LineReader(withNul).IsOpen());
    EXPECT_FALSE(ReadWholeFile(withNul));
    EXPECT_EQ(DescribeOpenFailure(withNul), "the file name holds a NUL byte");
}

}  // namespace
}  // namespace kalvo
