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
    for (const auto& entry : fs::recursive_directory_iterator(out))
        if (entry.is_regular_file())
            EXPECT_EQ(ReadBytes(entry.path().string()).find("\xef\xbb\xbf"), std::string::npos) << entry.path();

    // DNA says nothing of U.
    const Invocation dna = Kalvo({"discover", dir.Write("dna.fa", MakeSet(45, 120, true, 5).fasta), "-w", "10",
                                  "--restarts", "1", "-n", "20", "--motifs", "1", "-o", out + "2", "-q"});
    EXPECT_THAT(dna.err, Not(HasSubstr("read as T")));
}

}  // namespace
}  // namespace kalvo::testing
