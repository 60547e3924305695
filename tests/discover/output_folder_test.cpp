// tests/discover/output_folder_test.cpp: the output folder of a discovery: what it refuses, the saved
// standard input, and what it removes after a failure (only what the discovery made).
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "discover/discover.h"
#include "discover/planted_set.h"
#include "temp_files.h"

namespace kalvo {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using testing::MakeSet;
using testing::ReadBytes;
using testing::TempDir;

std::string RefusalText(const Outcome& outcome) { return outcome ? outcome->message : "(not refused)"; }

TEST(OutputFolder, RefusesAFileAndAFolderThatHoldsFilesUnlessForced)
{
    const TempDir dir;
    const std::string input = dir.Write("in.fa", ">s\nACGT\n");
    const std::string file = dir.Write("afile", "mine");
    const std::string notAFolder = "output folder '" + file + "' is a file, not a folder";
    OutputFolder onFile(file);
    EXPECT_EQ(RefusalText(onFile.Claim(input, std::nullopt, true)), notAFolder);
    std::string copy;
    EXPECT_EQ(RefusalText(onFile.SaveInput(">s\nACGT\n", false, copy)), notAFolder);
    EXPECT_EQ(ReadBytes(file), "mine");

    const std::string full = dir.File("full");
    fs::create_directory(full);
    const std::string notes = dir.Write("full/notes.txt", "mine");
    OutputFolder used(full);
    EXPECT_EQ(RefusalText(used.Claim(input, std::nullopt, false)),
              "output folder '" + full +
                  "' already holds files: name another with --output-dir, or replace them with --force");
    EXPECT_FALSE(used.Written());
    EXPECT_FALSE(fs::exists(full + "/runs"));
    ASSERT_FALSE(used.Claim(input, std::nullopt, true));
    EXPECT_TRUE(used.Written());
    EXPECT_TRUE(fs::is_directory(full + "/runs"));
    EXPECT_EQ(ReadBytes(notes), "mine");

    // A whole discovery into the used folder is refused the same way and leaves it as it was.
    DiscoverSettings settings;
    settings.inputPath = dir.Write("set.fa", MakeSet(10, 30, false, 1).fasta);
    settings.outputDir = dir.File("other");
    fs::create_directory(settings.outputDir);
    const std::string keep = dir.Write("other/notes.txt", "mine");
    Discovery discovery;
    EXPECT_THAT(RefusalText(RunDiscovery(settings, false, discovery)), HasSubstr("already holds files"));
    EXPECT_EQ(std::distance(fs::directory_iterator(settings.outputDir), fs::directory_iterator()), 1);
    EXPECT_EQ(ReadBytes(keep), "mine");
}

TEST(OutputFolder, AllowsTheSavedInputButNeverAFolderThatHoldsAnInput)
{
    const TempDir dir;
    // The saved copy of standard input, when it is the input, is not a file of another discovery.
    const std::string folder = dir.File("stdin.kalvo");
    fs::create_directory(folder);
    const std::string saved = dir.Write("stdin.kalvo/input.fa", ">s\nACGT\n");
    EXPECT_FALSE(OutputFolder(folder).Claim(saved, std::nullopt, false));

    // The same name holding another discovery's input is a file like any other.
    const std::string elsewhere = dir.Write("elsewhere.fa", ">s\nACGT\n");
    const std::string again = dir.File("again");
    fs::create_directory(again);
    dir.Write("again/input.fa", ">s\nACGT\n");
    EXPECT_THAT(RefusalText(OutputFolder(again).Claim(elsewhere, std::nullopt, false)),
                HasSubstr("already holds files"));

    // Force never lets a discovery overwrite its own input or control, however deep inside.
    const std::string holder = dir.File("holder");
    fs::create_directories(holder + "/runs");
    const std::string input = dir.Write("holder/in.fa", ">s\nACGT\n");
    const std::string control = dir.Write("holder/runs/control.fa", ">c\nACGT\n");
    EXPECT_EQ(RefusalText(OutputFolder(holder).Claim(input, std::nullopt, true)),
              "output folder '" + holder + "' holds the input file '" + input +
                  "', which the discovery would overwrite: name another folder");
    EXPECT_THAT(RefusalText(OutputFolder(holder).Claim(elsewhere, control, true)),
                HasSubstr("holds the input file '" + control + "'"));
}

TEST(OutputFolder, SavesStandardInputOnceAndRefusesAnotherFileOfThatName)
{
    const TempDir dir;
    const std::string folder = dir.File("a/b.kalvo");
    OutputFolder first(folder);
    std::string copy;
    ASSERT_FALSE(first.SaveInput(">s\nACGT\n", false, copy));
    EXPECT_EQ(copy, folder + "/input.fa");
    EXPECT_EQ(ReadBytes(copy), ">s\nACGT\n");

    // The same bytes again: the copy is reused, and it is not this discovery's to remove.
    OutputFolder second(folder);
    std::string reused;
    ASSERT_FALSE(second.SaveInput(">s\nACGT\n", false, reused));
    EXPECT_EQ(reused, copy);
    EXPECT_TRUE(second.RemoveUnfinished());
    EXPECT_EQ(ReadBytes(copy), ">s\nACGT\n");

    OutputFolder other(folder);
    EXPECT_EQ(RefusalText(other.SaveInput(">t\nTTTT\n", false, reused)),
              "output folder '" + folder +
                  "' already holds 'input.fa', the saved input of another discovery: "
                  "name another folder with --output-dir");
    EXPECT_EQ(ReadBytes(copy), ">s\nACGT\n");
    ASSERT_FALSE(other.SaveInput("\x1f\x8b gzip", true, reused));
    EXPECT_EQ(reused, folder + "/input.fa.gz");
}

TEST(OutputFolder, RemovesOnlyWhatThisDiscoveryMadeAfterAFailure)
{
    const TempDir dir;
    // Refused before writing: the saved input and the folder made for it go.
    const std::string fresh = dir.File("fresh");
    OutputFolder saved(fresh);
    std::string copy;
    ASSERT_FALSE(saved.SaveInput(">s\nACGT\n", false, copy));
    EXPECT_TRUE(saved.RemoveUnfinished());
    EXPECT_FALSE(fs::exists(fresh));

    // In a folder that held the user's files, only the saved input goes.
    const std::string kept = dir.File("kept");
    fs::create_directory(kept);
    const std::string notes = dir.Write("kept/notes.txt", "mine");
    OutputFolder beside(kept);
    ASSERT_FALSE(beside.SaveInput(">s\nACGT\n", false, copy));
    EXPECT_TRUE(beside.RemoveUnfinished());
    EXPECT_FALSE(fs::exists(copy));
    EXPECT_EQ(ReadBytes(notes), "mine");

    // Once written into with --force, the files it held before stay, and so does what was written.
    OutputFolder forced(kept);
    ASSERT_FALSE(forced.Claim(dir.Write("in.fa", ">s\nACGT\n"), std::nullopt, true));
    ASSERT_FALSE(forced.Write("runs/round1.fa", ">s\nACGT\n"));
    EXPECT_FALSE(forced.RemoveUnfinished());
    EXPECT_EQ(ReadBytes(notes), "mine");
    EXPECT_TRUE(fs::exists(kept + "/runs/round1.fa"));

    // A folder this discovery made goes whole, with everything written into it.
    const std::string made = dir.File("made");
    OutputFolder mine(made);
    ASSERT_FALSE(mine.Claim(dir.File("in.fa"), std::nullopt, false));
    ASSERT_FALSE(mine.Write("runs/round1.fa", ">s\nACGT\n"));
    EXPECT_TRUE(mine.RemoveUnfinished());
    EXPECT_FALSE(fs::exists(made));
}

TEST(OutputFolder, TellsWhetherARefusedDiscoveryWroteAnything)
{
    const TempDir dir;
    DiscoverSettings settings;
    settings.inputPath = dir.Write("in.fa", MakeSet(10, 30, false, 1).fasta);
    settings.outputDir = dir.File("out");
    settings.widths = {31};  // above every sequence
    OutputFolder refused(settings.outputDir);
    Discovery discovery;
    EXPECT_THAT(RefusalText(RunDiscovery(settings, false, refused, discovery)), HasSubstr("motif width 31"));
    EXPECT_FALSE(refused.Written());
    EXPECT_FALSE(fs::exists(settings.outputDir));

    // Cancelled once its restarts run: it has written, and its new folder can be removed whole.
    settings.widths = {6};
    settings.iterations = 1000000;
    OutputFolder cancelled(settings.outputDir);
    const auto stop = [](const DiscoverProgress&) { return false; };
    EXPECT_THAT(RefusalText(RunDiscovery(settings, false, cancelled, discovery, stop)), HasSubstr("cancelled"));
    EXPECT_TRUE(cancelled.Written());
    EXPECT_TRUE(fs::exists(settings.outputDir + "/runs/round1.fa"));
    EXPECT_TRUE(cancelled.RemoveUnfinished());
    EXPECT_FALSE(fs::exists(settings.outputDir));
}

}  // namespace
}  // namespace kalvo
