// tests/model/parameter_file_test.cpp: keys, values and defaults of the parameter file, the files it refuses, and its writer.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <string_view>

#include "model/parameter_text.h"
#include "model/run_state.h"
#include "temp_files.h"

namespace kalvo {
namespace {

using ::testing::HasSubstr;

class ParameterFile : public ::testing::Test {
protected:
    // The fields the parameter file sets, in one line, after reading `text` as "run.par".
    std::string Fields(std::string_view text)
    {
        CMotifSampler run;
        return Fields(run, text);
    }
    std::string Fields(CMotifSampler& run, std::string_view text)
    {
        const Outcome refusal = run.LoadParameters(dir.Write("run.par", text));
        if (refusal)
            return "refused: " + refusal->message;
        std::ostringstream out;
        out << "i=" << run.m_inputPath << " o=" << run.m_outputPath << " b=" << run.m_backgroundPath
            << " w=" << run.m_width << " n=" << run.m_iterations << " m=" << run.m_depMoves << " c=" << run.m_corrLevel
            << " e=" << run.m_oneSitePerSeq << " r=" << run.m_bothStrands << " s=" << run.m_pseudo[0] << ','
            << run.m_pseudo[1] << ',' << run.m_pseudo[2] << ',' << run.m_pseudo[3] << '/' << run.m_pseudoTotal
            << " A=" << run.m_seedMotif << " k=" << run.m_maskLowComplexity << ',' << run.m_maskThreshold << ','
            << run.m_maskWindow << " odds=" << run.m_priorOdds;
        return out.str();
    }
    Outcome Refusal(std::string_view text) { return CMotifSampler().LoadParameters(dir.Write("run.par", text)); }

    testing::TempDir dir;
};

TEST_F(ParameterFile, TypicalFileSetsItsValuesAndLeavesTheDefaults)
{
    EXPECT_EQ(Fields("-i\nseqs.fa\n-o\nout.txt\n-w\n8\n-n\n100\n-s\n0.5\n"),
              "i=seqs.fa o=out.txt b=$%// w=8 n=100 m=3 c=2 e=0 r=1 s=0.5,0.5,0.5,0.5/2 A=%%%% k=0,0.9,12 odds=-5");
}

TEST_F(ParameterFile, EveryKeySetsItsField)
{
    CMotifSampler before;
    before.m_maskThreshold = 0.5;
    before.m_maskWindow = 5;
    EXPECT_EQ(Fields(before, "-i\na.fa\n-o\nb.txt\n-b\nbg.txt\n-w\n6\n-n\n50\n-m\n4\n-c\n1\n-e\n-r\n0\n"
                             "-s\n2.5\n-A\nACGTAC\n-k\n"),
              "i=a.fa o=b.txt b=bg.txt w=6 n=50 m=4 c=1 e=1 r=0 s=2.5,2.5,2.5,2.5/10 A=ACGTAC k=1,0.9,12 odds=-5");
}

TEST_F(ParameterFile, DefaultsAreSetAgainBeforeTheFirstLineAndNoPseudocountMeansOne)
{
    CMotifSampler before;
    before.m_priorOdds = 55.0;
    before.m_bothStrands = false;
    before.m_oneSitePerSeq = true;
    before.m_corrLevel = before.m_depMoves = 9;
    before.m_seedMotif = "TTTT";
    EXPECT_EQ(Fields(before, "-w\n8\n"), "i= o= b=$%// w=8 n=0 m=3 c=2 e=0 r=1 s=1,1,1,1/4 A=%%%% k=0,0.9,12 odds=-5");
}

TEST_F(ParameterFile, RepeatedKeysTakeTheLastValue)
{
    EXPECT_EQ(Fields("-w\n5\n-i\na.fa\n-s\n0.5\n-w\n7\n-i\nb.fa\n-s\n3\n-e\n-e\n"),
              "i=b.fa o= b=$%// w=7 n=0 m=3 c=2 e=1 r=1 s=3,3,3,3/12 A=%%%% k=0,0.9,12 odds=-5");
}

TEST_F(ParameterFile, ValueLineThatLooksLikeAKeyIsTheValue)
{
    EXPECT_EQ(Fields("-w\n4\n-o\n-i\n-A\n-k\n"),
              "i= o=-i b=$%// w=4 n=0 m=3 c=2 e=0 r=1 s=1,1,1,1/4 A=-k k=0,0.9,12 odds=-5");
}

TEST_F(ParameterFile, FlagKeysTakeNoValueLineAndAnUnknownNextLineIsSkipped)
{
    EXPECT_EQ(Fields("-e\n-w\n5\n-k\n-n\n9\n"),
              "i= o= b=$%// w=5 n=9 m=3 c=2 e=1 r=1 s=1,1,1,1/4 A=%%%% k=1,0.9,12 odds=-5");
    EXPECT_EQ(Fields("-w\n3\n-e\n1\n-k\n12\n"),
              "i= o= b=$%// w=3 n=0 m=3 c=2 e=1 r=1 s=1,1,1,1/4 A=%%%% k=1,0.9,12 odds=-5");
}

TEST_F(ParameterFile, StrandKeyClearsBothStrandsOnlyForExactlyZero)
{
    EXPECT_THAT(Fields("-w\n4\n-r\n0\n"), HasSubstr(" r=0 "));
    EXPECT_THAT(Fields("-w\n4\n-r\n0\n-r\n1\n"), HasSubstr(" r=0 "));
    for (const char* text : {"-w\n4\n-r\n1\n", "-w\n4\n-r\n00\n", "-w\n4\n-r\n0 \n", "-w\n4\n-r\n 0\n", "-w\n4\n-r\n"})
        EXPECT_THAT(Fields(text), HasSubstr(" r=1 ")) << text;
}

TEST_F(ParameterFile, RepeatCountIsSkippedWithItsValueUnlessThatIsAKey)
{
    EXPECT_THAT(Fields("-w\n4\n-n\n7\n-N\n9\n"), HasSubstr(" w=4 n=7 "));
    EXPECT_THAT(Fields("-N\n-w\n6\n"), HasSubstr(" w=6 n=0 "));
}

TEST_F(ParameterFile, UnknownLinesMisspelledKeysAndBlanksAreSkipped)
{
    EXPECT_THAT(Fields("# widths\n\n-W\n9\n-w \n9\n -w\n9\n-w\n3\n"), HasSubstr(" w=3 n=0 "));
}

TEST_F(ParameterFile, NumbersAreTheLeadingPartOfTheLine)
{
    EXPECT_THAT(Fields("-w\n 12abc\n-n\n+40 iterations\n-m\nx\n-c\n-3\n-s\n.25e1\n"),
                HasSubstr(" w=12 n=40 m=0 c=-3 e=0 r=1 s=2.5,2.5,2.5,2.5/10 "));
}

TEST_F(ParameterFile, KeyOnTheLastLineGetsAnEmptyValue)
{
    EXPECT_THAT(Fields("-w\n4\n-b\nbg.txt\n-b\n"), HasSubstr(" b= w=4 "));
    EXPECT_THAT(Fields("-w\n4\n-i\nx.fa\n-i"), HasSubstr("i= o="));
    EXPECT_THAT(Fields("-w\n4\n-A"), HasSubstr(" A= k="));
    EXPECT_THAT(Fields("-w\n4\n-n\n5\n-n"), HasSubstr(" n=0 "));
}

TEST_F(ParameterFile, CrLfAndAFinalCrEndLinesButOtherCrsStay)
{
    EXPECT_EQ(Fields("-i\r\nseqs.fa\r\n-w\r\n8\r\n-r\r\n0\r\n-o\r\nout\r.txt\r\n-A\r\nACGT\r"),
              "i=seqs.fa o=out\r.txt b=$%// w=8 n=0 m=3 c=2 e=0 r=0 s=1,1,1,1/4 A=ACGT k=0,0.9,12 odds=-5");
    EXPECT_THAT(Fields("-w\n8\n-r\n0\r\r\n"), HasSubstr(" r=1 "));
}

TEST_F(ParameterFile, RefusesAMissingFileOrAFolderAndNamesIt)
{
    CMotifSampler run;
    Outcome refusal = run.LoadParameters(dir.File("absent.par"));
    ASSERT_TRUE(refusal);
    EXPECT_THAT(refusal->message, HasSubstr("absent.par"));
    std::filesystem::create_directory(dir.path() / "params.d");
    refusal = run.LoadParameters(dir.File("params.d"));
    ASSERT_TRUE(refusal);
    EXPECT_THAT(refusal->message, HasSubstr("params.d"));
}

TEST_F(ParameterFile, RefusesAWidthBelowOneAndNamesTheFile)
{
    for (const char* text : {"-w\n0\n", "-w\n-3\n", "-i\nseqs.fa\n", "-w\n", "-w\nwide\n"}) {
        const Outcome refusal = Refusal(text);
        ASSERT_TRUE(refusal) << text;
        EXPECT_THAT(refusal->message, HasSubstr("run.par"));
        EXPECT_THAT(refusal->message, HasSubstr("motif width must be at least 1"));
    }
}

TEST_F(ParameterFile, RefusesAPseudocountOutsideZeroToOneThousandAndNamesTheFile)
{
    for (const char* value : {"0", "-0.5", "abc", "inf", "nan", "0x10", "1000.001", "1e4", "1e400", ""}) {
        const Outcome refusal = Refusal("-w\n4\n-s\n" + std::string(value));
        ASSERT_TRUE(refusal) << value;
        EXPECT_THAT(refusal->message, HasSubstr("run.par"));
    }
    EXPECT_THAT(Fields("-w\n4\n-s\n1000\n"), HasSubstr(" s=1000,1000,1000,1000/4000 "));
    EXPECT_THAT(Fields("-w\n4\n-s\n0.001\n"), HasSubstr(" s=0.001,0.001,0.001,0.001/0.004 "));
}

TEST_F(ParameterFile, RefusesCountsThatWouldRunForMonthsAndNamesTheKey)
{
    EXPECT_THAT(Fields("-w\n4\n-n\n1000000\n-m\n1000000\n"), HasSubstr(" n=1000000 m=1000000 "));
    EXPECT_EQ(Fields("-w\n4\n-n\n1000001\n"),
              "refused: parameter file '" + dir.File("run.par") + "': iterations \"-n\" must be at most 1000000 (\"-n\" gives 1000001)");
    EXPECT_EQ(Fields("-w\n4\n-m\n2147483647\n"),
              "refused: parameter file '" + dir.File("run.par") +
                  "': correlated moves per iteration \"-m\" must be at most 1000000 (\"-m\" gives 2147483647)");
    // Without correlated columns no move is made, so the count does not matter.
    EXPECT_THAT(Fields("-w\n4\n-m\n2147483647\n-c\n1\n"), HasSubstr(" m=2147483647 c=1 "));
}

TEST_F(ParameterFile, WrittenFilesReadBackAsTheValuesTheyWereWrittenFrom)
{
    ParameterFileValues values;
    values.inputPath = "my seqs.fa";
    values.outputPath = "out.txt";
    values.backgroundPath = "bg.txt";
    values.width = "6";
    values.iterations = "50";
    values.moves = "4";
    values.correlation = "1";
    values.oneSite = true;
    values.givenStrand = true;
    values.pseudocount = "2.5";
    values.seedWord = "ACGTAC";
    values.mask = true;
    values.repeats = "3";
    const std::string text = ParameterFileText(values);
    EXPECT_EQ(text, "-i\nmy seqs.fa\n-o\nout.txt\n-b\nbg.txt\n-w\n6\n-n\n50\n-m\n4\n-c\n1\n-e\n-r\n0\n-s\n2.5\n"
                    "-A\nACGTAC\n-k\n-N\n3\n");
    EXPECT_EQ(Fields(text),
              "i=my seqs.fa o=out.txt b=bg.txt w=6 n=50 m=4 c=1 e=1 r=0 s=2.5,2.5,2.5,2.5/10 A=ACGTAC k=1,0.9,12 odds=-5");
}

TEST_F(ParameterFile, TheWriterWritesOnlyKeysThatAreSetAndLeavesTheirTextToTheReader)
{
    EXPECT_EQ(ParameterFileText({}), "");
    ParameterFileValues values = CorrelatedRunValues("in.fa", "r.txt", 12, 200);
    EXPECT_EQ(ParameterFileText(values), "-i\nin.fa\n-o\nr.txt\n-w\n12\n-n\n200\n-m\n3\n-c\n2\n-s\n1\n");
    values.width = "8x";  // a user's text as typed: the reader reads it and says so
    CMotifSampler run;
    EXPECT_THAT(Fields(run, ParameterFileText(values)), HasSubstr(" w=8 n=200 m=3 c=2 e=0 r=1 s=1,1,1,1/4 "));
    ASSERT_EQ(run.m_warnings.size(), 1u);
    EXPECT_THAT(run.m_warnings[0], HasSubstr("\"-w\" value \"8x\" is not a whole number"));
}

}  // namespace
}  // namespace kalvo
