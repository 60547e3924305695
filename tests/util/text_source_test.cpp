// tests/util/text_source_test.cpp: gzip files read as their text, faults in them, and what non-text looks like.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "gzip_text.h"
#include "temp_files.h"
#include "util/text_lines.h"
#include "util/text_source.h"

namespace kalvo {
namespace {

using testing::GzipMember;
using testing::GzipMembers;
using testing::TempDir;

struct ReadBack {
    std::vector<std::string> lines;
    std::vector<long long> starts;  // LineStart of each line
    bool gzip = false;
    TextFault fault = TextFault::None;
    std::string faultText;
};

ReadBack ReadAll(const std::string& path)
{
    LineReader reader(path);
    EXPECT_TRUE(reader.IsOpen()) << path;
    ReadBack back;
    std::string line;
    while (reader.Next(line)) {
        back.lines.push_back(line);
        back.starts.push_back(reader.LineStart());
    }
    back.gzip = reader.IsGzip();
    back.fault = reader.Fault();
    back.faultText = reader.FaultText();
    EXPECT_EQ(reader.Failed(), back.fault != TextFault::None);
    return back;
}

// Where each line of SplitLines begins in the text: at 0 and after every LF.
std::vector<long long> LineStarts(const std::string& text)
{
    std::vector<long long> starts;
    const std::size_t lines = SplitLines(text).size();
    long long at = 0;
    while (starts.size() < lines) {
        starts.push_back(at);
        at = static_cast<long long>(text.find('\n', static_cast<std::size_t>(at))) + 1;
    }
    return starts;
}

// About 300 KB of FASTA with every line end, so that both the compressed and
// the decompressed bytes cross the reader's 64 KiB chunks many times.
std::string LongFasta()
{
    std::string text;
    for (int s = 0; s < 2000; ++s) {
        text += ">seq" + std::to_string(s) + (s % 3 == 0 ? "\r\n" : "\n");
        for (int line = 0; line < 2; ++line)
            text += std::string(60 + s % 17, "ACGT"[(s + line) % 4]) + "acgtN" + (s % 5 == 0 ? "\r\n" : "\n");
    }
    return text + "TT\r";
}

TEST(GzipText, GivesTheLinesOfTheDecompressedTextForOneMemberOrMany)
{
    TempDir dir;
    const std::string long_ = LongFasta();
    const std::vector<std::string> texts = {"", "\n", ">s\r\nACGT\r\nTT\r", ">a\nAC\rGT\n>b\nGG", long_};
    for (const std::string& text : texts) {
        // One member; a member per few bytes; bgzip's blocks with its empty end-of-file member.
        const std::vector<std::string> files = {GzipMember(text), GzipMembers(text, 3),
                                                GzipMembers(text, 65280) + GzipMember("")};
        for (const std::string& gz : files) {
            const ReadBack back = ReadAll(dir.Write("t.fa.gz", gz));
            EXPECT_EQ(back.gzip, !gz.empty());  // no text in members of 3 bytes: no member at all
            EXPECT_EQ(back.fault, TextFault::None) << back.faultText;
            EXPECT_EQ(back.lines, SplitLines(text)) << text.size() << " bytes in " << gz.size();
            EXPECT_EQ(back.starts, LineStarts(text)) << text.size() << " bytes in " << gz.size();
        }
        const ReadBack plain = ReadAll(dir.Write("t.fa", text));
        EXPECT_FALSE(plain.gzip);
        EXPECT_EQ(plain.starts, LineStarts(text));
    }
}

TEST(GzipText, TheFirstBytesDecideNotTheName)
{
    TempDir dir;
    const std::string text = ">s\nACGT\n";
    const ReadBack gzipNamedPlain = ReadAll(dir.Write("seqs.fa", GzipMember(text)));
    EXPECT_TRUE(gzipNamedPlain.gzip);
    EXPECT_EQ(gzipNamedPlain.lines, SplitLines(text));
    const ReadBack plainNamedGzip = ReadAll(dir.Write("seqs.fa.gz", text));
    EXPECT_FALSE(plainNamedGzip.gzip);
    EXPECT_EQ(plainNamedGzip.lines, SplitLines(text));
    // A lone first magic byte is not gzip.
    EXPECT_EQ(ReadAll(dir.Write("one.fa", "\x1f")).lines, std::vector<std::string>{"\x1f"});
}

TEST(GzipText, ReadsFromAPipeThatCannotSeek)
{
    TempDir dir;
    const std::string text = LongFasta();
    for (const std::string& bytes : {GzipMembers(text, 40000), text}) {
        const std::string fifo = dir.File("pipe");
        ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
        // The writer hands the bytes over in small pieces, as a process would.
        std::thread writer([&] {
            std::ofstream out(fifo, std::ios::binary);
            for (std::size_t at = 0; at < bytes.size(); at += 1000) {
                const std::size_t piece = std::min<std::size_t>(1000, bytes.size() - at);
                out.write(bytes.data() + at, static_cast<std::streamsize>(piece));
                out.flush();
            }
        });
        const ReadBack back = ReadAll(fifo);
        writer.join();
        EXPECT_EQ(back.gzip, bytes != text);
        EXPECT_EQ(back.fault, TextFault::None) << back.faultText;
        EXPECT_EQ(back.lines, SplitLines(text));
        std::filesystem::remove(fifo);
    }
}

TEST(GzipText, EveryCutThroughAMemberIsCutShort)
{
    TempDir dir;
    const std::string gz = GzipMember(">s\nACGTACGTTTGACA\n>t\nGGGCCA\n");
    for (std::size_t length = 2; length < gz.size(); ++length) {
        const ReadBack back = ReadAll(dir.Write("cut.fa.gz", gz.substr(0, length)));
        EXPECT_EQ(back.fault, TextFault::GzipCutShort) << length << " of " << gz.size() << " bytes";
        EXPECT_EQ(back.faultText, "the gzip data is cut short (the file ends inside it)");
    }
    // Of several members, a cut inside the last is cut short too; a cut right
    // after a whole member leaves a shorter gzip file, which nothing tells apart.
    const std::string first = GzipMember(">s\nAC\n");
    const std::string members = first + GzipMember("GT\n");
    EXPECT_EQ(ReadAll(dir.Write("two.fa.gz", members.substr(0, members.size() - 1))).fault, TextFault::GzipCutShort);
    EXPECT_EQ(ReadAll(dir.Write("two.fa.gz", first)).fault, TextFault::None);
}

TEST(GzipText, CorruptDataAndBytesAfterTheLastMemberAreFaults)
{
    TempDir dir;
    const std::string text = LongFasta();
    std::string flipped = GzipMember(text);
    flipped[flipped.size() / 2] = static_cast<char>(flipped[flipped.size() / 2] ^ 0x55);
    const ReadBack badData = ReadAll(dir.Write("flipped.fa.gz", flipped));
    EXPECT_EQ(badData.fault, TextFault::GzipCorrupt);
    EXPECT_EQ(badData.faultText.rfind("the gzip data is corrupt (", 0), 0u) << badData.faultText;

    // The trailer holds the CRC-32 of the text and then its length.
    std::string badCrc = GzipMember(">s\nACGT\n");
    badCrc[badCrc.size() - 8] = static_cast<char>(badCrc[badCrc.size() - 8] ^ 1);
    const ReadBack crc = ReadAll(dir.Write("crc.fa.gz", badCrc));
    EXPECT_EQ(crc.fault, TextFault::GzipCorrupt);
    EXPECT_EQ(crc.faultText, "the gzip data is corrupt (incorrect data check)");

    for (const std::string& tail : {std::string("junk\n"), std::string(4, '\0'), std::string("\x1f")}) {
        const ReadBack trailing = ReadAll(dir.Write("tail.fa.gz", GzipMember(">s\nACGT\n") + tail));
        EXPECT_NE(trailing.fault, TextFault::None) << tail.size();
        EXPECT_EQ(trailing.lines, (std::vector<std::string>{">s", "ACGT"}));
    }
    const ReadBack junk = ReadAll(dir.Write("junk.fa.gz", GzipMember(">s\nACGT\n") + "junk"));
    EXPECT_EQ(junk.fault, TextFault::GzipTrailing);
    EXPECT_EQ(junk.faultText, "the gzip data is followed by bytes that are not gzip data");
}

TEST(ForeignText, ByteOrderMarksAndOtherCompressionsAreNamedAndTextIsNot)
{
    using namespace std::string_literals;
    const std::string save = "; save it as plain ASCII or UTF-8";
    const std::string decompress = "; decompress it first (sequence files are read as plain or gzip-compressed text)";
    EXPECT_EQ(ForeignTextKind("\xff\xfe>\0s\0"s), "UTF-16 text (it starts with a byte order mark)" + save);
    EXPECT_EQ(ForeignTextKind("\xfe\xff\0>\0s"s), "UTF-16 text (it starts with a byte order mark)" + save);
    EXPECT_EQ(ForeignTextKind("\xff\xfe\0\0>\0\0\0"s), "UTF-32 text (it starts with a byte order mark)" + save);
    EXPECT_EQ(ForeignTextKind("\0\0\xfe\xff\0\0\0>"s), "UTF-32 text (it starts with a byte order mark)" + save);
    EXPECT_EQ(ForeignTextKind("\xfd" "7zXZ\0\0\x04"s), "xz-compressed data" + decompress);
    EXPECT_EQ(ForeignTextKind("BZh91AY&SY"s), "bzip2-compressed data" + decompress);
    EXPECT_EQ(ForeignTextKind("\x28\xb5\x2f\xfd\x24"s), "zstd-compressed data" + decompress);
    EXPECT_EQ(ForeignTextKind("PK\x03\x04\x14\0"s), "a zip archive" + decompress);
    // Text, a UTF-8 byte order mark included, and a header that only starts like bzip2.
    for (const std::string& text : {">s1\nACGT"s, "\xef\xbb\xbf>s1\n"s, ""s, "\xff"s, "BZh9 peaks\n"s, "\0>s"s})
        EXPECT_FALSE(ForeignTextKind(text)) << text;
}

TEST(NonText, RefusedAtTheFirstSignOnlyWhenAskedWithTheTextBeforeItStillHandedOn)
{
    using namespace std::string_literals;
    TempDir dir;
    auto lines = [](const std::string& path, TextCheck check, std::string& faultText) {
        LineReader reader(path, check);
        std::vector<std::string> read;
        std::string line;
        while (reader.Next(line))
            read.push_back(line);
        faultText = reader.FaultText();
        return read;
    };
    std::string fault;
    const std::string nul = dir.Write("nul.fa", ">s\nACGT\nAC\0GT\n>t\n"s);
    EXPECT_EQ(lines(nul, TextCheck::RefuseBinary, fault), (std::vector<std::string>{">s", "ACGT"}));
    EXPECT_EQ(fault, "holds a NUL byte (at byte 11)");
    EXPECT_EQ(lines(nul, TextCheck::None, fault).size(), 4u);
    EXPECT_EQ(fault, "");
    // A device that never ends, and never holds a line end, ends at once.
    EXPECT_TRUE(lines("/dev/zero", TextCheck::RefuseBinary, fault).empty());
    EXPECT_EQ(fault, "holds a NUL byte (at byte 1)");
    // UTF-16 holds NUL bytes, but is named as what it is; a UTF-8 mark is text.
    EXPECT_TRUE(lines(dir.Write("wide.fa", "\xff\xfe>\0s\0"s), TextCheck::RefuseBinary, fault).empty());
    EXPECT_EQ(fault, "looks like UTF-16 text (it starts with a byte order mark); save it as plain ASCII or UTF-8");
    EXPECT_EQ(lines(dir.Write("utf8.fa", "\xef\xbb\xbf>s\n"s), TextCheck::RefuseBinary, fault).size(), 1u);
    EXPECT_EQ(fault, "");
}

}  // namespace
}  // namespace kalvo
