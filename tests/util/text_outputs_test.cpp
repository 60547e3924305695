// tests/util/text_outputs_test.cpp: UTF-8 checks, JSON text and markup escaping, on the bytes inputs can hold.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "util/json_writer.h"
#include "util/markup_text.h"
#include "util/utf8_text.h"

namespace kalvo {
namespace {

TEST(Utf8SequenceLength, EveryLengthOfWellFormedTextCountsUpToTheLastCodePoint)
{
    EXPECT_EQ(Utf8SequenceLength("A"), 1u);
    EXPECT_EQ(Utf8SequenceLength("\xC3\xA9xyz"), 2u);         // only the first character counts
    EXPECT_EQ(Utf8SequenceLength("\xE2\x82\xAC"), 3u);        // U+20AC
    EXPECT_EQ(Utf8SequenceLength("\xED\x9F\xBF"), 3u);        // U+D7FF, just below the surrogates
    EXPECT_EQ(Utf8SequenceLength("\xEE\x80\x80"), 3u);        // U+E000, just above them
    EXPECT_EQ(Utf8SequenceLength("\xF0\x9F\x98\x80"), 4u);    // U+1F600
    EXPECT_EQ(Utf8SequenceLength("\xF4\x8F\xBF\xBF"), 4u);    // U+10FFFF, the last code point
}

TEST(Utf8SequenceLength, OverlongSurrogateTooLargeCutOffAndStrayBytesAreNotText)
{
    for (const char* bad : {"\xC0\x80", "\xC1\xBF", "\xE0\x80\x80", "\xE0\x9F\xBF", "\xF0\x8F\xBF\xBF",  // overlong
                            "\xED\xA0\x80", "\xED\xBF\xBF",                                          // surrogates
                            "\xF4\x90\x80\x80", "\xF5\x80\x80\x80", "\xFF",                          // past U+10FFFF
                            "\xC3", "\xE2\x82", "\xF0\x9F\x98",                                      // cut off
                            "\xC3\x41", "\xE2\x28\xA1", "\x80", "\xBF"})                             // stray bytes
        EXPECT_EQ(Utf8SequenceLength(bad), 0u) << static_cast<int>(static_cast<unsigned char>(bad[0]));
    EXPECT_EQ(Utf8SequenceLength(""), 0u);
}

TEST(JsonString, ControlCharactersAreEscapedAndBadBytesBecomeReplacementCharacters)
{
    EXPECT_EQ(JsonString("a\"b\\c"), "\"a\\\"b\\\\c\"");
    EXPECT_EQ(JsonString("\t\n\r"), "\"\\t\\n\\r\"");
    EXPECT_EQ(JsonString(std::string("\x00\x01\x1f", 3)), "\"\\u0000\\u0001\\u001f\"");
    EXPECT_EQ(JsonString("\x7f/"), "\"\x7f/\"");                       // valid JSON as it is
    EXPECT_EQ(JsonString("caf\xC3\xA9 \xF0\x9F\x98\x80"), "\"caf\xC3\xA9 \xF0\x9F\x98\x80\"");
    EXPECT_EQ(JsonString("x\xFF\xC3"), "\"x\\ufffd\\ufffd\"");          // a stray byte and a cut-off pair
    EXPECT_EQ(JsonString("\xED\xA0\x80"), "\"\\ufffd\\ufffd\\ufffd\""); // a surrogate: each byte replaced
}

TEST(JsonValues, NumbersReadBackExactlyAndWhatJsonCannotHoldIsNull)
{
    EXPECT_EQ(JsonNumber(0.1), "0.1");
    EXPECT_EQ(JsonNumber(-2.5e-300), "-2.5e-300");
    EXPECT_EQ(std::stod(JsonNumber(1.0 / 3.0)), 1.0 / 3.0);
    EXPECT_EQ(JsonNumber(std::nan("")), "null");
    EXPECT_EQ(JsonNumber(std::numeric_limits<double>::infinity()), "null");
    EXPECT_EQ(JsonStringOrNull(""), "null");
    EXPECT_EQ(JsonStringOrNull("x"), "\"x\"");
}

TEST(JsonLayout, NestedContainersIndentTwoBlanksALevelAndEmptyOnesStayOnOneLine)
{
    const std::string inner = JsonArray({JsonInlineArray({"1", "2"}), JsonInlineObject({})}, "  ");
    EXPECT_EQ(JsonObject({{"a", inner}, {"b", JsonArray({}, "  ")}, {"c", JsonInlineObject({{"x", "1"}}, true)}}, ""),
              "{\n"
              "  \"a\": [\n"
              "    [1, 2],\n"
              "    {}\n"
              "  ],\n"
              "  \"b\": [],\n"
              "  \"c\": { \"x\": 1 }\n"
              "}");
    EXPECT_EQ(JsonObject({}, "  "), "{}");
    EXPECT_EQ(JsonInlineObject({{"k\"", "null"}, {"n", "2"}}), "{\"k\\\"\": null, \"n\": 2}");
}

TEST(MarkupText, MarkupCharactersBecomeReferencesAndOtherBytesStay)
{
    EXPECT_EQ(MarkupEscaped("<a href=\"x\">'&'</a>"), "&lt;a href=&quot;x&quot;&gt;&#39;&amp;&#39;&lt;/a&gt;");
    EXPECT_EQ(MarkupEscaped("ACGT \xFF\t"), "ACGT \xFF\t");
}

TEST(MarkupText, InputTextLosesControlsAndBadBytesAndIsCutByCharacters)
{
    EXPECT_EQ(MarkupFromInput("a\tb\x7f<c>"), "a b &lt;c&gt;");
    EXPECT_EQ(MarkupFromInput("x\xFF\xE2\x82y"), "x\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBDy");
    // A character of several bytes counts once; the ellipsis says that text was left out.
    EXPECT_EQ(MarkupFromInput("\xC3\xA9\xC3\xA9\xC3\xA9", 2), "\xC3\xA9\xC3\xA9\xE2\x80\xA6");
    EXPECT_EQ(MarkupFromInput("abc", 3), "abc");
    EXPECT_EQ(MarkupFromInput("&&&&", 2), "&amp;&amp;\xE2\x80\xA6");  // cut before escaping
    EXPECT_EQ(MarkupFromInput(std::string(100000, 'x'), 5), "xxxxx\xE2\x80\xA6");
}

}  // namespace
}  // namespace kalvo
