// tests/discover/output_folder_test.cpp: the output folder of a discovery: what it refuses, the saved
// standard input, the commit that keeps the user's files, and what is left after a failure (nothing).
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <set>

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

// The folder's own entries and the hidden ones beside it, by name.
std::set<std::string> Entries(const fs::path& folder)
{
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.insert(entry.path().filename().string());
    return names;
}

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
    const std::string nowhere = dir.File("nowhere");
    fs::create_symlink(dir.File("gone"), nowhere);
    EXPECT_EQ(RefusalText(OutputFolder(nowhere).Claim(input, std::nullopt, true)),
              "output folder '" + nowhere + "' is a link that leads nowhere");
    fs::remove(nowhere);

    const std::string full = dir.File("full");
    fs::create_directory(full);
    const std::string notes = dir.Write("full/notes.txt", "mine");
    OutputFolder used(full);
    EXPECT_EQ(RefusalText(used.Claim(input, std::nullopt, false)),
              "output folder '" + full +
                  "' already holds files: name another with --output-dir, or replace them with --force");
    // Claimed with --force, it is written beside its place: the folder itself is untouched until the commit.
    ASSERT_FALSE(used.Claim(input, std::nullopt, true));
    EXPECT_TRUE(fs::is_directory(used.PathOf("runs")));
    EXPECT_EQ(Entries(full), std::set<std::string>{"notes.txt"});
    used.Abandon();
    EXPECT_EQ(Entries(dir.path()), (std::set<std::string>{"in.fa", "afile", "full"}));
    EXPECT_EQ(ReadBytes(notes), "mine");

    // A whole discovery into the used folder is refused the same way and leaves it as it was.
    DiscoverSettings settings;
    settings.inputPath = dir.Write("set.fa", MakeSet(10, 30, false, 1).fasta);
    settings.outputDir = dir.File("other");
    fs::create_directory(settings.outputDir);
    const std::string keep = dir.Write("other/notes.txt", "mine");
    Discovery discovery;
    EXPECT_THAT(RefusalText(RunDiscovery(settings, false, discovery)), HasSubstr("already holds files"));
    EXPECT_EQ(Entries(settings.outputDir), std::set<std::string>{"notes.txt"});
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
    EXPECT_EQ(copy, folder + "/input.fa");  // its name in the finished folder
    EXPECT_FALSE(fs::exists(copy));
    EXPECT_EQ(ReadBytes(first.Readable(copy)), ">s\nACGT\n");
    EXPECT_EQ(first.Readable(dir.File("other.fa")), dir.File("other.fa"));
    ASSERT_FALSE(first.Commit());
    EXPECT_EQ(ReadBytes(copy), ">s\nACGT\n");

    // The same bytes again: a copy of its own, and the one there is left alone when it is abandoned.
    OutputFolder second(folder);
    std::string reused;
    ASSERT_FALSE(second.SaveInput(">s\nACGT\n", false, reused));
    EXPECT_EQ(reused, copy);
    second.Abandon();
    EXPECT_EQ(ReadBytes(copy), ">s\nACGT\n");

    OutputFolder other(folder);
    EXPECT_EQ(RefusalText(other.SaveInput(">t\nTTTT\n", false, reused)),
              "output folder '" + folder +
                  "' already holds 'input.fa', the saved input of another discovery: "
                  "name another folder with --output-dir");
    EXPECT_EQ(ReadBytes(copy), ">s\nACGT\n");
    ASSERT_FALSE(other.SaveInput("\x1f\x8b gzip", true, reused));
    EXPECT_EQ(reused, folder + "/input.fa.gz");
    other.Abandon();
    EXPECT_EQ(Entries(dir.File("a")), std::set<std::string>{"b.kalvo"});
    EXPECT_EQ(Entries(folder), std::set<std::string>{"input.fa"});
}

TEST(OutputFolder, AnAbandonedFolderLeavesNothingAndTheFolderAsItWas)
{
    const TempDir dir;
    // Refused before writing: the saved input and the partial folder made for it go.
    const std::string fresh = dir.File("fresh");
    {
        OutputFolder saved(fresh);
        std::string copy;
        ASSERT_FALSE(saved.SaveInput(">s\nACGT\n", false, copy));
    }
    EXPECT_EQ(Entries(dir.path()), std::set<std::string>{});

    // Written with --force and abandoned: the folder keeps exactly what it held.
    const std::string kept = dir.File("kept");
    fs::create_directory(kept);
    const std::string notes = dir.Write("kept/notes.txt", "mine");
    dir.Write("kept/summary.json", "{}");
    OutputFolder forced(kept);
    ASSERT_FALSE(forced.Claim(dir.Write("in.fa", ">s\nACGT\n"), std::nullopt, true));
    ASSERT_FALSE(forced.Write("runs/round1.fa", ">s\nACGT\n"));
    ASSERT_FALSE(forced.Write("summary.json", "{\"new\": 1}"));
    forced.Abandon();
    EXPECT_EQ(Entries(kept), (std::set<std::string>{"notes.txt", "summary.json"}));
    EXPECT_EQ(ReadBytes(kept + "/summary.json"), "{}");
    EXPECT_EQ(Entries(dir.path()), (std::set<std::string>{"kept", "in.fa"}));

    // Refused, and cancelled once its restarts run: no folder, and nothing beside it.
    DiscoverSettings settings;
    settings.inputPath = dir.Write("set.fa", MakeSet(10, 30, false, 1).fasta);
    settings.outputDir = dir.File("out");
    settings.widths = {31};  // above every sequence
    Discovery discovery;
    EXPECT_THAT(RefusalText(RunDiscovery(settings, false, discovery)), HasSubstr("motif width 31"));
    settings.widths = {6};
    settings.iterations = 1000000;
    bool ran = false;
    const auto stop = [&](const DiscoverProgress&) {
        ran = fs::exists(settings.outputDir) || ran;
        return false;
    };
    EXPECT_EQ(RefusalText(RunDiscovery(settings, false, discovery, stop)), "discovery cancelled");
    EXPECT_FALSE(ran);
    EXPECT_EQ(Entries(dir.path()), (std::set<std::string>{"kept", "in.fa", "set.fa"}));
}

TEST(OutputFolder, CommitPutsTheNewFolderInPlaceWithTheUsersEntriesAndNoneOfKalvos)
{
    const TempDir dir;
    const std::string folder = dir.File("out");
    fs::create_directories(folder + "/runs");
    dir.Write("out/runs/r1-w8-9.txt", "earlier");
    dir.Write("out/logo-3.svg", "earlier");
    dir.Write("out/notes.txt", "mine");
    fs::create_directory(folder + "/mine");
    dir.Write("out/mine/data.txt", "mine too");
    const std::string input = dir.Write("in.fa", ">s\nACGT\n");
    fs::permissions(folder, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec);

    OutputFolder replacing(folder);
    ASSERT_FALSE(replacing.Claim(input, std::nullopt, true));
    ASSERT_FALSE(replacing.Write("runs/round1.fa", ">s\nACGT\n"));
    ASSERT_FALSE(replacing.Write("summary.json", "{}"));
    ASSERT_FALSE(replacing.Commit());
    EXPECT_EQ(Entries(folder), (std::set<std::string>{"runs", "summary.json", "notes.txt", "mine"}));
    EXPECT_EQ(Entries(folder + "/runs"), std::set<std::string>{"round1.fa"});
    EXPECT_EQ(ReadBytes(folder + "/mine/data.txt"), "mine too");
    EXPECT_EQ(fs::status(folder).permissions() & fs::perms::all,
              fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec);
    EXPECT_EQ(Entries(dir.path()), (std::set<std::string>{"out", "in.fa"}));
    replacing.Abandon();  // after the commit: nothing to do
    EXPECT_TRUE(fs::exists(folder + "/summary.json"));
}

TEST(OutputFolder, APartialFolderOfAKilledDiscoveryIsClearedAndTheUsersFilesItCarriedGoBack)
{
    const TempDir dir;
    const std::string folder = dir.File("out");
    fs::create_directory(folder);
    dir.Write("out/summary.json", "{}");
    // Killed while it moved the user's files into its new folder.
    const std::string partial = dir.File(".out.kalvo-partial-99999999");
    fs::create_directories(partial + "/runs");
    dir.Write(".out.kalvo-partial-99999999/INCOMPLETE.txt", "unfinished\n");
    dir.Write(".out.kalvo-partial-99999999/runs/round1.fa", ">s\nACGT\n");
    dir.Write(".out.kalvo-partial-99999999/notes.txt", "mine");
    // Another folder's partial folder is not this one's to touch.
    fs::create_directory(dir.File(".other.kalvo-partial-99999999"));

    OutputFolder next(folder);
    ASSERT_FALSE(next.Claim(dir.Write("in.fa", ">s\nACGT\n"), std::nullopt, true));
    next.Abandon();
    EXPECT_EQ(Entries(folder), (std::set<std::string>{"summary.json", "notes.txt"}));
    EXPECT_EQ(ReadBytes(folder + "/notes.txt"), "mine");
    EXPECT_EQ(Entries(dir.path()), (std::set<std::string>{"out", "in.fa", ".other.kalvo-partial-99999999"}));
}

TEST(OutputFolder, AFolderMarkedUnfinishedIsRefusedSayingSo)
{
    const TempDir dir;
    const std::string folder = dir.File("out");
    fs::create_directory(folder);
    dir.Write("out/INCOMPLETE.txt", "unfinished\n");
    dir.Write("out/summary.json", "{}");
    EXPECT_EQ(RefusalText(OutputFolder(folder).Claim(dir.Write("in.fa", ">s\nACGT\n"), std::nullopt, false)),
              "output folder '" + folder +
                  "' holds the files of an unfinished discovery (it has INCOMPLETE.txt): delete it, or replace it "
                  "with --force");
}

TEST(OutputFolder, EveryFileADiscoveryWritesHasOneOfKalvosNames)
{
    // What a forced discovery keeps of an earlier folder depends on these names.
    const TempDir dir;
    DiscoverSettings settings;
    settings.inputPath = dir.Write("set.fa", MakeSet(45, 120, true, 5).fasta);
    settings.outputDir = dir.File("out");
    settings.widths = {10};
    settings.restarts = 2;
    settings.iterations = 100;
    settings.motifs = 1;
    Discovery discovery;
    ASSERT_FALSE(RunDiscovery(settings, false, discovery));
    ASSERT_FALSE(discovery.motifs.empty());
    for (const std::string& name : Entries(settings.outputDir))
        EXPECT_TRUE(IsDiscoveryEntryName(name)) << name;
    for (const char* name : {"notes.txt", "logo.svg", "runs2", "index.htm"})
        EXPECT_FALSE(IsDiscoveryEntryName(name)) << name;
}

}  // namespace
}  // namespace kalvo
