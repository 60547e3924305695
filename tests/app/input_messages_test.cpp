// tests/app/input_messages_test.cpp: inputs that are not what they seem, read right or refused with the real cause.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <streambuf>

#include "batch_inputs.h"
#include "cli_invocation.h"
#include "discover/discover.h"
#include "discover/planted_set.h"
#include "discover/scoring_sets.h"

namespace kalvo::testing {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using ::testing::Not;

// Standard input that never ends, of NUL bytes, up to a bound that only a reader that never stops reaches.
class EndlessZeros : public std::streambuf {
public:
    std::size_t Given() const { return m_given; }

protected:
    int_type underflow() override
    {
        if (m_given >= kBound)
            return traits_type::eof();
        std::memset(m_block, 0, sizeof m_block);
        setg(m_block, m_block, m_block + sizeof m_block);
        m_given += sizeof m_block;
        return traits_type::to_int_type(m_block[0]);
    }

private:
    static constexpr std::size_t kBound = std::size_t{64} << 20;
    char m_block[1 << 16];
    std::size_t m_given = 0;
};

Invocation KalvoReadingZeros(const std::vector<std::string>& args, std::size_t& given)
{
    EndlessZeros zeros;
    std::istream in(&zeros);
    std::ostringstream out;
    std::ostringstream err;
    const int status = RunCommandLine(args, out, err, false, StandardInput{&in, false});
    given = zeros.Given();
    return Invocation{status, out.str(), err.str()};
}

std::string RandomSequence(std::size_t length, unsigned seed)
{
    std::string sequence;
    for (std::size_t i = 0; i < length; ++i) {
        seed = seed * 1103515245u + 12345u;
        sequence += "ACGT"[(seed >> 16) % 4];
    }
    return sequence;
}

TEST(BinaryInput, ADeviceOrAPipeOfNulBytesIsRefusedAtItsFirstBlock)
{
    const TempDir dir;
    const std::string out = dir.File("out");
    const std::string report = dir.File("r.txt");
    const std::string binary = "sequence file '/dev/zero' holds a NUL byte (at byte 1): it looks like a binary file";
    const Invocation discover = Kalvo({"discover", "/dev/zero", "-w", "8", "-o", out, "-q"});
    EXPECT_EQ(discover.status, 1);
    EXPECT_THAT(discover.err, HasSubstr(binary));
    const Invocation find = Kalvo({"find", "/dev/zero", "-w", "8", "-o", report, "--seed", "1", "-q"});
    EXPECT_EQ(find.status, 1);
    EXPECT_THAT(find.err, HasSubstr(binary));
    EXPECT_TRUE(fs::is_empty(dir.path()));

    // Standard input is not read to its end, and nothing is saved of it.
    for (const std::vector<std::string>& args : {std::vector<std::string>{"discover", "-", "-w", "8", "-o", out, "-q"},
                                                 std::vector<std::string>{"find", "-", "-w", "8", "-o", report, "-q"}}) {
        std::size_t given = 0;
        const Invocation piped = KalvoReadingZeros(args, given);
        EXPECT_EQ(piped.status, 1) << args[0];
        EXPECT_THAT(piped.err, HasSubstr("standard input holds a NUL byte (at byte 1): it looks like a binary file"));
        EXPECT_LE(given, std::size_t{1} << 20) << args[0];
        EXPECT_TRUE(fs::is_empty(dir.path())) << args[0];
    }
}

TEST(DiscoveryInput, RnaIsReadAsDnaAndAUtf8ByteOrderMarkIsSkipped)
{
    const TempDir dir;
    std::string rna = MakeSet(45, 120, true, 5).fasta;
    long long uracils = 0;
    for (char& letter : rna) {
        if (letter == 'T') {
            letter = uracils % 2 == 0 ? 'U' : 'u';
            ++uracils;
        }
    }
    const std::string fasta = dir.Write("rna.fa", "\xef\xbb\xbf" + rna);
    const std::string out = (dir.path() / "found").string();
    const Invocation discover = Kalvo({"discover", fasta, "-w", "10", "--restarts", "2", "-n", "100", "--motifs",
                                       "1", "-o", out, "-q"});
    ASSERT_EQ(discover.status, 0) << discover.err;
    EXPECT_THAT(discover.err, HasSubstr("kalvo: warning: sequence file '" + fasta + "': " +
                                        std::to_string(uracils) + " U read as T"));
    EXPECT_THAT(discover.out, HasSubstr("GACGTC"));
    // The restarts read DNA, and no file names the first sequence with the mark.
    const std::string round = ReadBytes(out + "/runs/round1.fa");
    EXPECT_EQ(round.substr(0, 3), ">s0");
    EXPECT_EQ(round.find('U'), std::string::npos);
    for (const auto& entry : fs::recursive_directory_iterator(out)) {
        const std::string bytes = entry.is_regular_file() ? ReadBytes(entry.path().string()) : "";
        EXPECT_EQ(bytes.find("\xef\xbb\xbf"), std::string::npos) << entry.path();
    }

    // DNA says nothing of U.
    const Invocation dna = Kalvo({"discover", dir.Write("dna.fa", MakeSet(45, 120, true, 5).fasta), "-w", "10",
                                  "--restarts", "1", "-n", "20", "--motifs", "1", "-o", out + "2", "-q"});
    EXPECT_THAT(dna.err, Not(HasSubstr("read as T")));
}

TEST(DiscoveryInput, SetsWhereNoMotifCouldBeSignificantAreRefusedWithWhatItTakes)
{
    const TempDir dir;
    const std::string out = (dir.path() / "out").string();
    auto discover = [&](std::vector<std::string> args) {
        args.insert(args.begin(), "discover");
        for (const char* word : {"-o", out.c_str(), "-q"})
            args.emplace_back(word);
        const Invocation invocation = Kalvo(args);
        EXPECT_FALSE(fs::exists(out)) << invocation.err;
        return invocation;
    };
    // Shuffled controls: 120 motifs tested (3 widths, 8 restarts, 5 forms); even a motif in
    // every target and no control has a p-value of 1/11 with one target, 1/231 with two.
    const Invocation one = discover({dir.Write("one.fa", ">a\n" + RandomSequence(300, 1) + "\n")});
    EXPECT_EQ(one.status, 1);
    EXPECT_THAT(one.err, HasSubstr("one sequence cannot make a motif significant: give at least 3 sequences"));
    const Invocation two = discover({dir.Write("two.fa", ">a\n" + RandomSequence(300, 1) + "\n>b\n" +
                                                             RandomSequence(300, 2) + "\n")});
    EXPECT_THAT(two.err, HasSubstr("2 sequences cannot make a motif significant: give at least 3 sequences"));
    // Fewer motifs tested need fewer sequences.
    const Invocation fewer = discover({dir.Write("one.fa", ">a\n" + RandomSequence(300, 1) + "\n"), "-w", "8",
                                       "--restarts", "1"});
    EXPECT_THAT(fewer.err, HasSubstr("give at least 2 sequences"));

    // A control of one short sequence: with 18 targets, 4 control sequences are the least
    // that could give E <= 0.05 (1/C(22,4) times 120 tests).
    const std::string targets = dir.Write("targets.fa", MakeSet(18, 100, true, 3).fasta);
    const std::string shortControl = dir.Write("short.fa", ">c\nACGTACGTAC\n");
    const Invocation control = discover({targets, "--control", shortControl});
    EXPECT_EQ(control.status, 1);
    EXPECT_THAT(control.err, HasSubstr("control set '" + shortControl + "' holds 1 sequence (10 residues): too few "
                                       "to test a motif (at least 4 control sequences"));
    // With 45 targets a third is held out, and so is half of the controls: one control leaves
    // none to test on. 15 test targets need 4 test controls, so 8 in the file.
    const std::string many = dir.Write("many.fa", MakeSet(45, 100, true, 3).fasta);
    const std::string oneControl = dir.Write("c1.fa", ">c\n" + RandomSequence(200, 4) + "\n");
    const Invocation heldOut = discover({many, "--control", oneControl});
    EXPECT_THAT(heldOut.err, HasSubstr("control set '" + oneControl + "' holds 1 sequence (200 residues): too few "
                                       "to test a motif (at least 8 control sequences"));
    EXPECT_THAT(heldOut.err, HasSubstr("half"));
}

TEST(DiscoveryInput, FilesWithoutResiduesNameTheirCauseTheFileAndTheWidths)
{
    const TempDir dir;
    const std::string out = (dir.path() / "out").string();
    const std::string targets = dir.Write("targets.fa", MakeSet(18, 100, true, 3).fasta);
    auto refusal = [&](std::vector<std::string> args) {
        args.insert(args.begin(), "discover");
        for (const char* word : {"-o", out.c_str(), "-q"})
            args.emplace_back(word);
        const Invocation invocation = Kalvo(args);
        EXPECT_EQ(invocation.status, 1);
        EXPECT_FALSE(fs::exists(out));
        EXPECT_THAT(invocation.err, Not(HasSubstr("width 1 ")));
        return invocation.err;
    };
    // Old Mac line ends: the whole file is one line, and that line is a header.
    const std::string mac = dir.Write("mac.fa", ">a\r" + RandomSequence(100, 1) + "\r>b\r" + RandomSequence(100, 2) + "\r");
    const std::string crOnly = refusal({mac, "-w", "12"});
    EXPECT_THAT(crOnly, HasSubstr("sequence file '" + mac + "' ends its lines with CR alone"));
    EXPECT_THAT(crOnly, HasSubstr("width 12"));
    const std::string headers = dir.Write("headers.fa", ">a\n>b\n>c\n");
    const std::string onlyHeaders = refusal({headers, "--widths", "8,12"});
    EXPECT_THAT(onlyHeaders, HasSubstr("sequence file '" + headers + "' holds 3 '>' header lines and no residues"));
    EXPECT_THAT(onlyHeaders, HasSubstr("widths 8 and 12"));
    const std::string empty = dir.Write("empty.fa", ">c1\n\n>c2\n\n");
    const std::string emptyControl = refusal({targets, "--control", empty, "-w", "12"});
    EXPECT_THAT(emptyControl, HasSubstr("control set: sequence file '" + empty + "' holds 2 '>' header lines and no "
                                        "residues"));
    EXPECT_THAT(emptyControl, HasSubstr("width 12"));
    // A control whose every sequence is shorter than a width cannot test a motif that wide.
    std::string shortControls;
    for (int c = 0; c < 50; ++c)
        shortControls += ">c" + std::to_string(c) + "\n" + RandomSequence(10, static_cast<unsigned>(c)) + "\n";
    const std::string tooShort = dir.Write("short.fa", shortControls);
    EXPECT_THAT(refusal({targets, "--control", tooShort, "--widths", "8,12"}),
                HasSubstr("control set '" + tooShort + "' has no sequence as long as the motif width 12"));
}

TEST(DiscoveryInput, AWidthThatFitsNoSampledSequenceIsRefusedUpFrontNamingTheUsersFile)
{
    // 60 sequences: those the hold-out keeps for testing are long, those the restarts sample short.
    SequenceTexts texts;
    texts.sequences.resize(60);
    for (std::size_t s = 0; s < texts.sequences.size(); ++s)
        texts.sequences[s] = RandomSequence(30, static_cast<unsigned>(s));
    const TargetSplit split = SplitTargets(texts, 2);  // the split of --seed 1
    for (int s : split.test)
        texts.sequences[static_cast<std::size_t>(s)] = RandomSequence(100, static_cast<unsigned>(s));
    std::string fasta;
    for (std::size_t s = 0; s < texts.sequences.size(); ++s)
        fasta += ">s" + std::to_string(s) + "\n" + texts.sequences[s] + "\n";
    const TempDir dir;
    const std::string input = dir.Write("in.fa", fasta);
    const std::string out = (dir.path() / "out").string();
    const Invocation discover = Kalvo({"discover", input, "-w", "50", "--seed", "1", "-o", out, "-q"});
    EXPECT_EQ(discover.status, 1);
    EXPECT_THAT(discover.err, HasSubstr("motif width 50 is above the length of every sequence the restarts sample "
                                        "from '" + input + "'"));
    EXPECT_THAT(discover.err, Not(HasSubstr("round1.fa")));
    EXPECT_FALSE(fs::exists(out));
}

TEST(FindInput, AReportFileThatIsTheSequenceFileIsNamedAsSuch)
{
    const TinyInputs inputs;
    const std::string fasta = inputs.dir().File("seqs.fa");
    const std::string before = ReadBytes(fasta);
    const Invocation find = Kalvo({"find", fasta, "-w", "6", "-n", "8", "-o", fasta, "--seed", "1", "-q"});
    EXPECT_EQ(find.status, 1);
    EXPECT_THAT(find.err, HasSubstr("the report file '" + fasta + "' is the sequence file"));
    EXPECT_THAT(find.err, Not(HasSubstr("parameter file ''")));
    EXPECT_EQ(ReadBytes(fasta), before);
}

}  // namespace
}  // namespace kalvo::testing
