// tests/util/numbers_and_lines_test.cpp: leading numbers and line ends, as every input file reads them.
#include <gtest/gtest.h>

#include <climits>
#include <filesystem>
#include <iterator>
#include <limits>
#include <string>
#include <vector>

#include "temp_files.h"
#include "util/append_file.h"
#include "util/number_text.h"
#include "util/text_lines.h"

namespace kalvo {
namespace {

using Lines = std::vector<std::string>;

TEST(ParseLeadingInt, ReadsLikeAtoiAndSaturates)
{
    EXPECT_EQ(ParseLeadingInt("  -17xyz"), -17);
    EXPECT_EQ(ParseLeadingInt("\t+8"), 8);
    EXPECT_EQ(ParseLeadingInt("3.9"), 3);
    for (const char* none : {"", "abc", "- 5", "0x10"})
        EXPECT_EQ(ParseLeadingInt(none), 0) << none;
    EXPECT_EQ(ParseLeadingInt("99999999999999999999"), INT_MAX);
    EXPECT_EQ(ParseLeadingInt("-99999999999999999999"), INT_MIN);
}

TEST(ParseLeadingReal, ReadsTheLongestLeadingDecimalNumber)
{
    EXPECT_EQ(ParseLeadingReal("0.1"), 0.1);
    EXPECT_EQ(ParseLeadingReal(" -2.5e2x"), -250.0);
    EXPECT_EQ(ParseLeadingReal("+.5"), 0.5);
    EXPECT_EQ(ParseLeadingReal("5."), 5.0);
    EXPECT_EQ(ParseLeadingReal("2.5E-3"), 0.0025);
    EXPECT_EQ(ParseLeadingReal("1e+"), 1.0);
    EXPECT_EQ(ParseLeadingReal("1,5"), 1.0);
}

TEST(ParseLeadingReal, InfinityNanHexadecimalAndTextReadZero)
{
    for (const char* zero : {"inf", "-inf", "INFINITY", "nan", "0x10", "0x1p3", "", ".", "-", "e5"})
        EXPECT_EQ(ParseLeadingReal(zero), 0.0) << zero;
}

TEST(SplitLines, LfCrLfAndAFinalCrEndLines)
{
    EXPECT_EQ(SplitLines("a\nb\n"), (Lines{"a", "b"}));
    EXPECT_EQ(SplitLines("a\r\nb\nc"), (Lines{"a", "b", "c"}));
    EXPECT_EQ(SplitLines("a\r\nb\r"), (Lines{"a", "b"}));
    EXPECT_EQ(SplitLines(" a \n\r\n\nb"), (Lines{" a ", "", "", "b"}));
    EXPECT_EQ(SplitLines(""), Lines{});
}

TEST(SplitLines, OtherCrsAreOrdinaryCharacters)
{
    EXPECT_EQ(SplitLines("a\rb\n"), (Lines{"a\rb"}));
    EXPECT_EQ(SplitLines("a\r\r\n"), (Lines{"a\r"}));
    EXPECT_EQ(SplitLines("\ra\n"), (Lines{"\ra"}));
}

}  // namespace
}  // namespace kalvo

namespace kalvo {
namespace {

TEST(NumberText, NumbersBeyondTheDoubleRangeReadAsInfinityOrZeroWithOrWithoutExponent)
{
    EXPECT_EQ(ParseLeadingReal(std::string(400, '9')), std::numeric_limits<double>::infinity());
    EXPECT_EQ(ParseLeadingReal("-" + std::string(400, '9') + ".5"), -std::numeric_limits<double>::infinity());
    EXPECT_EQ(ParseLeadingReal("0." + std::string(400, '0') + "1"), 0.0);
    EXPECT_EQ(ParseLeadingReal("1e999"), std::numeric_limits<double>::infinity());
    EXPECT_EQ(ParseLeadingReal("1e-999"), 0.0);
}

TEST(ReplaceWholeFile, ReplacesTheBytesAndLeavesNoTemporaryFileBehind)
{
    testing::TempDir dir;
    const std::string path = dir.Write("out.json", "old");
    EXPECT_FALSE(ReplaceWhole(path, "new bytes"));
    EXPECT_EQ(testing::ReadBytes(path), "new bytes");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), std::filesystem::directory_iterator()), 1);
    EXPECT_TRUE(ReplaceWhole(dir.path().string(), "x"));  // a folder is never replaced
}

TEST(WholeNumbers, OnlyTextTheLeadingParseReadsWholeCountsAsWhole)
{
    for (const char* whole : {"8", " 8", "8 ", "-3", "+12", "2147483647", "-2147483648"})
        EXPECT_TRUE(ReadsWholeAsInt(whole)) << whole;
    for (const char* loose : {"8.5", "1e3", "lots", "", " ", "8x", "2147483648", "-2147483649", "99999999999"})
        EXPECT_FALSE(ReadsWholeAsInt(loose)) << loose;
    for (const char* whole : {"1", "0.5", ".5", "1e-3", " 2.0 ", "-1E+2"})
        EXPECT_TRUE(ReadsWholeAsReal(whole)) << whole;
    for (const char* loose : {"0.5x", "nan", "inf", "", "1e", "1e999", "0x10"})
        EXPECT_FALSE(ReadsWholeAsReal(loose)) << loose;
}

}  // namespace
}  // namespace kalvo
