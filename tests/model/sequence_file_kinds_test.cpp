// tests/model/sequence_file_kinds_test.cpp: gzip sequence files, files that are not text, and blanks in sequence lines.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "gzip_text.h"
#include "model/run_state.h"
#include "temp_files.h"

namespace kalvo {
namespace {

using namespace std::string_literals;
using testing::GzipMember;
using testing::GzipMembers;
using testing::TempDir;

constexpr std::string_view kFasta = ">s1 first\nACGTacgt\nTTGA\n>s2\r\nGGCCNNA\r\n>s3\n\n>s4\nacgtACGTTT";

// What reading a file leaves in a run, as one comparable value.
struct Read {
    std::string refusal;  // empty: read
    std::vector<std::string> names{};
    std::vector<std::string> sequences{};
    long long totalLength = 0;
    std::vector<std::string> warnings{};
    bool operator==(const Read&) const = default;
};

void PrintTo(const Read& read, std::ostream* os)
{
    *os << "refusal \"" << read.refusal << "\", " << read.sequences.size() << " sequences, " << read.totalLength
        << " residues, warnings:";
    for (const std::string& warning : read.warnings)
        *os << " \"" << warning << "\"";
}

Read ReadFile(const std::string& path)
{
    CMotifSampler run;
    run.m_inputPath = path;
    run.m_width = 2;
    run.m_priorOdds = 500.0;
    Read read;
    if (const Outcome refusal = run.ReadSequences())
        read.refusal = refusal->message;
    for (std::size_t s = 0; s < run.m_seqs.size(); ++s) {
        read.names.emplace_back(run.m_seqs.Header(s));
        read.sequences.emplace_back(run.m_seqs[s]);
    }
    read.totalLength = run.m_totalLength;
    read.warnings = run.m_warnings;
    return read;
}

// UTF-16 (little- or big-endian) of ASCII text, without a byte order mark.
std::string Utf16(std::string_view ascii, bool bigEndian)
{
    std::string out;
    for (char c : ascii) {
        out += bigEndian ? '\0' : c;
        out += bigEndian ? c : '\0';
    }
    return out;
}

TEST(GzipSequenceFile, ReadsAsThePlainFileWhateverItsNameOrMembers)
{
    TempDir dir;
    const Read plain = ReadFile(dir.Write("seqs.fa", kFasta));
    ASSERT_EQ(plain.refusal, "");
    ASSERT_EQ(plain.sequences.size(), 4u);
    EXPECT_EQ(ReadFile(dir.Write("seqs.fa.gz", GzipMember(kFasta))), plain);
    EXPECT_EQ(ReadFile(dir.Write("seqs.fa", GzipMember(kFasta))), plain);
    EXPECT_EQ(ReadFile(dir.Write("seqs.fa.bgz", GzipMembers(kFasta, 5) + GzipMember(""))), plain);
}

TEST(GzipSequenceFile, CorruptOrCutShortIsRefusedNamingTheFileAndKeepsNothing)
{
    TempDir dir;
    const std::string gz = GzipMember(std::string(kFasta) + std::string(3000, 'A'));
    const std::string cut = dir.Write("cut.fa.gz", gz.substr(0, gz.size() - 3));
    EXPECT_EQ(ReadFile(cut),
              Read{"cannot read sequence file '" + cut + "': the gzip data is cut short (the file ends inside it)"});

    std::string crc = gz;
    crc[crc.size() - 6] = static_cast<char>(crc[crc.size() - 6] ^ 0x10);
    const std::string bad = dir.Write("crc.fa.gz", crc);
    EXPECT_EQ(ReadFile(bad),
              Read{"cannot read sequence file '" + bad + "': the gzip data is corrupt (incorrect data check)"});

    const std::string tail = dir.Write("tail.fa.gz", gz + "\n");
    EXPECT_EQ(ReadFile(tail), Read{"cannot read sequence file '" + tail +
                                   "': the gzip data is followed by bytes that are not gzip data"});
}

TEST(NonTextSequenceFile, Utf16AndUtf32ByteOrderMarksAreRefusedAndUtf8IsRead)
{
    TempDir dir;
    const std::string fasta = ">s\nACGT\n";
    const std::string utf32le = "\xff\xfe\0\0"s + Utf16(Utf16(fasta, false), false);
    const std::string utf32be = "\0\0\xfe\xff"s + Utf16(Utf16(fasta, true), true);
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"\xff\xfe"s + Utf16(fasta, false), "UTF-16"},
        {"\xfe\xff"s + Utf16(fasta, true), "UTF-16"},
        {utf32le, "UTF-32"},
        {utf32be, "UTF-32"},
    };
    for (const auto& [bytes, encoding] : cases) {
        for (const std::string& file : {dir.Write("wide.fa", bytes), dir.Write("wide.fa.gz", GzipMember(bytes))})
            EXPECT_EQ(ReadFile(file), Read{"sequence file '" + file + "' looks like " + encoding + " text (it starts "
                                           "with a byte order mark); save it as plain ASCII or UTF-8"});
    }
    // A UTF-8 byte order mark is text: the first line is still a header.
    const Read utf8 = ReadFile(dir.Write("utf8.fa", "\xef\xbb\xbf>s\nACGT\n"));
    EXPECT_EQ(utf8.refusal, "");
    EXPECT_EQ(utf8.sequences, std::vector<std::string>{"ACGT"});
}

TEST(NonTextSequenceFile, ANulByteAnywhereIsRefusedWithItsPlace)
{
    TempDir dir;
    const std::string late = ">s\n" + std::string(200000, 'A') + "\n>t\nAC\0GT\n"s;  // the NUL is byte 200010
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"\0>s\nACGT\n"s, "1"},
        {">s\0x\nACGT\n"s, "3"},
        {">s\r\nAC\r\nGT\0\n"s, "11"},
        {Utf16(">s\nACGT\n", false), "2"},  // UTF-16 without its mark
        {late, "200010"},
    };
    for (const auto& [bytes, place] : cases) {
        const std::string plain = dir.Write("nul.fa", bytes);
        EXPECT_EQ(ReadFile(plain), Read{"sequence file '" + plain + "' holds a NUL byte (at byte " + place +
                                        "): it looks like a binary file, not FASTA text"});
        const std::string gz = dir.Write("nul.fa.gz", GzipMember(bytes));
        EXPECT_EQ(ReadFile(gz), Read{"sequence file '" + gz + "' holds a NUL byte (at byte " + place +
                                     " of its decompressed text): it looks like a binary file, not FASTA text"});
    }
}

TEST(NonTextSequenceFile, OtherCompressedFormatsAreNamed)
{
    TempDir dir;
    const std::string xz = dir.Write("seqs.fa.xz", "\xfd" "7zXZ\0\0\x04\xe6\xd6\xb4\x46"s);
    EXPECT_EQ(ReadFile(xz), Read{"sequence file '" + xz + "' looks like xz-compressed data; decompress it first "
                                 "(sequence files are read as plain or gzip-compressed text)"});
    const std::string bz2 = dir.Write("seqs.fa.bz2", "BZh91AY&SY\x9a\x12>\n"s);
    EXPECT_THAT(ReadFile(bz2).refusal, ::testing::HasSubstr("'" + bz2 + "' looks like bzip2-compressed data"));
}

TEST(BlanksInSequenceLines, AreKeptAsReadAndToldOncePerFile)
{
    TempDir dir;
    // Blanks in headers and in lines before the first header are not sequence; they are not counted.
    const std::string many = dir.Write("many.fa", "x y\n>s 1\nAC GT\n\tAC\nACGT\n>t\tdesc\nGG \r\nTT\n");
    const Read read = ReadFile(many);
    EXPECT_EQ(read.refusal, "");
    EXPECT_EQ(read.sequences, (std::vector<std::string>{"AC GT\tACACGT", "GG TT"}));
    EXPECT_EQ(read.totalLength, 17);
    EXPECT_EQ(read.warnings, std::vector<std::string>{"sequence file '" + many +
                                                      "': 3 sequence lines hold blanks or tabs (the first is line 3); "
                                                      "they are kept as read and count as non-bases, like N"});

    const std::string one = dir.Write("one.fa.gz", GzipMember(">s\nACGT\nAC\tGT\n"));
    EXPECT_EQ(ReadFile(one).warnings,
              std::vector<std::string>{"sequence file '" + one +
                                       "': sequence line 3 holds blanks or tabs; they are kept as read and count as "
                                       "non-bases, like N"});
    EXPECT_EQ(ReadFile(dir.Write("clean.fa", ">s a\tb\nACGT\n")).warnings, std::vector<std::string>{});

    // One run that reads two files tells of each.
    CMotifSampler run;
    run.m_width = 2;
    for (const std::string& file : {many, one, many}) {
        run.m_inputPath = file;
        ASSERT_FALSE(run.ReadSequences());
    }
    ASSERT_EQ(run.m_warnings.size(), 3u);
    EXPECT_EQ(run.m_warnings[0], run.m_warnings[2]);
}

}  // namespace
}  // namespace kalvo
