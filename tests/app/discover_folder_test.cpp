// tests/app/discover_folder_test.cpp: a discovery's output folder is whole or absent, as a user meets it:
// the program interrupted or killed, a full disk, --force over an earlier folder, two writers at once.
#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <set>
#include <thread>

#include <nlohmann/json.hpp>

#include "cli_invocation.h"
#include "discover/output_folder.h"
#include "discover/planted_set.h"
#include "temp_files.h"

namespace kalvo::testing {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;

// Starts the built `kalvo` in `dir`, its streams going to dir/NAME.out and dir/NAME.err.
pid_t StartKalvo(const fs::path& dir, const std::vector<std::string>& args, const std::string& name)
{
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (::chdir(dir.c_str()) != 0)
            ::_exit(126);
        ::dup2(::open((name + ".out").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), STDOUT_FILENO);
        ::dup2(::open((name + ".err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), STDERR_FILENO);
        std::vector<char*> argv{const_cast<char*>(KALVO_PROGRAM)};
        for (const std::string& arg : args)
            argv.push_back(const_cast<char*>(arg.c_str()));
        argv.push_back(nullptr);
        ::execv(KALVO_PROGRAM, argv.data());
        ::_exit(127);
    }
    return pid;
}

int WaitFor(pid_t pid)
{
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return status;
}

int ExitStatus(int status) { return WIFEXITED(status) ? WEXITSTATUS(status) : -1; }

bool Eventually(const std::function<bool()>& condition, double seconds = 60)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (std::chrono::steady_clock::now() < end) {
        if (condition())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return false;
}

// The entries of a folder by name.
std::set<std::string> Entries(const fs::path& folder)
{
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.insert(entry.path().filename().string());
    return names;
}

// Every regular file under a folder with its bytes, by its path inside the folder.
std::map<std::string, std::string> Contents(const fs::path& folder)
{
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(folder))
        if (entry.is_regular_file())
            files[fs::relative(entry.path(), folder).string()] = ReadBytes(entry.path().string());
    return files;
}

// The partial folders of `out` in `parent`: what a discovery is writing, or what a killed one left.
std::vector<fs::path> Partials(const fs::path& parent, const std::string& out)
{
    std::vector<fs::path> found;
    for (const auto& entry : fs::directory_iterator(parent))
        if (entry.path().filename().string().starts_with("." + out + ".kalvo-partial-"))
            found.push_back(entry.path());
    return found;
}

// Long enough at one job to be stopped while its first restart runs; a second or two to the end.
const std::vector<std::string> kSlowDiscovery = {"discover", "set.fa", "-w",      "8",  "--restarts", "2", "--motifs",
                                                 "1",       "-n",     "2500", "-j", "1",          "-o", "out", "-q"};

// Starts the slow discovery in `dir` and waits until its first restart runs in the partial folder.
pid_t StartAndWaitForARestart(const TempDir& dir, const std::string& name)
{
    const pid_t pid = StartKalvo(dir.path(), kSlowDiscovery, name);
    const bool running = Eventually([&] {
        const std::vector<fs::path> partials = Partials(dir.path(), "out");
        return !partials.empty() && fs::exists(partials.front() / "runs/r1-w8-1.params");
    });
    EXPECT_TRUE(running) << ReadBytes(dir.File(name + ".err"));
    return pid;
}

TEST(InterruptedDiscovery, CtrlCAndSigtermLeaveNothingAndTheSameCommandThenRuns)
{
    for (const int signal : {SIGINT, SIGTERM}) {
        SCOPED_TRACE(signal == SIGINT ? "SIGINT" : "SIGTERM");
        const TempDir dir;
        dir.Write("set.fa", MakeSet(300, 200, true, 3).fasta);
        const pid_t pid = StartAndWaitForARestart(dir, "first");
        ::kill(pid, signal);
        EXPECT_EQ(ExitStatus(WaitFor(pid)), 128 + signal);
        EXPECT_EQ(ReadBytes(dir.File("first.err")), "kalvo: discover interrupted; nothing was written\n");
        // No folder, no partial folder, no lock file.
        EXPECT_EQ(Entries(dir.path()), (std::set<std::string>{"set.fa", "first.out", "first.err"}));

        EXPECT_EQ(ExitStatus(WaitFor(StartKalvo(dir.path(), kSlowDiscovery, "second"))), 0)
            << ReadBytes(dir.File("second.err"));
        EXPECT_TRUE(fs::exists(dir.File("out/summary.json")));
        EXPECT_EQ(Entries(dir.path()).size(), 6u);  // the two runs' streams, the input and the folder
    }
}

TEST(InterruptedDiscovery, AKilledDiscoveryLeavesAtMostAMarkedPartialFolderThatTheNextOneClears)
{
    const TempDir dir;
    dir.Write("set.fa", MakeSet(300, 200, true, 3).fasta);
    const pid_t pid = StartAndWaitForARestart(dir, "first");
    ::kill(pid, SIGKILL);
    WaitFor(pid);
    EXPECT_FALSE(fs::exists(dir.File("out")));
    const std::vector<fs::path> partials = Partials(dir.path(), "out");
    ASSERT_LE(partials.size(), 1u);
    for (const fs::path& partial : partials) {
        const std::string mark = ReadBytes((partial / "INCOMPLETE.txt").string());
        EXPECT_THAT(mark,
                    HasSubstr("unfinished output of kalvo discover into 'out', by process " + std::to_string(pid)));
        EXPECT_THAT(mark, HasSubstr("can be deleted"));
        EXPECT_EQ(std::count(mark.begin(), mark.end(), '\n'), 1);
    }

    EXPECT_EQ(ExitStatus(WaitFor(StartKalvo(dir.path(), kSlowDiscovery, "second"))), 0)
        << ReadBytes(dir.File("second.err"));
    EXPECT_TRUE(fs::exists(dir.File("out/summary.json")));
    EXPECT_FALSE(fs::exists(dir.File("out/INCOMPLETE.txt")));
    // The partial folder of the killed process went, and no lock file is left.
    EXPECT_EQ(Entries(dir.path()), (std::set<std::string>{"set.fa", "first.out", "first.err", "second.out",
                                                          "second.err", "out"}));
}

TEST(FullDisk, ADiscoveryThatRunsOutOfSpaceIsRefusedAndTheEarlierFolderStaysWhole)
{
    const TempDir dir;
    const std::string disk = dir.File("disk");
    fs::create_directory(disk);
    if (::mount("tmpfs", disk.c_str(), "tmpfs", 0, "size=300k") != 0)
        GTEST_SKIP() << "a small file system cannot be mounted here (root with the right to mount is needed): "
                     << std::strerror(errno);
    struct Unmount {
        std::string path;
        ~Unmount() { ::umount2(path.c_str(), MNT_DETACH); }
    } const unmount{disk};
    const std::string out = disk + "/out";
    const Invocation small = Kalvo({"discover", dir.Write("small.fa", MakeSet(30, 100, true, 7).fasta), "-w", "10",
                                    "--restarts", "1", "--motifs", "1", "-n", "50", "-o", out, "-q", "--no-match"});
    ASSERT_EQ(small.status, 0) << small.err;
    const auto before = Contents(out);

    const Invocation large = Kalvo({"discover", dir.Write("large.fa", MakeSet(600, 300, true, 8).fasta), "--widths",
                                    "8,12", "--restarts", "3", "--motifs", "1", "-n", "20", "-o", out, "--force",
                                    "-q", "--no-match"});
    EXPECT_EQ(large.status, 1);
    EXPECT_THAT(large.err, HasSubstr("of output folder '" + out + "': "));
    EXPECT_THAT(large.err, HasSubstr("No space left on device"));
    EXPECT_EQ(Contents(out), before);
    EXPECT_EQ(Entries(disk), std::set<std::string>{"out"});
}

TEST(ForcedDiscovery, ReplacesKalvosFilesKeepsTheUsersAndWritesThroughNoLink)
{
    const TempDir dir;
    const std::string fasta = dir.Write("set.fa", MakeSet(45, 120, true, 5).fasta);
    const std::string out = dir.File("found");
    const Invocation first = Kalvo({"discover", fasta, "--widths", "8,12", "--restarts", "2", "--motifs", "1", "-n",
                                    "100", "-o", out, "-q"});
    ASSERT_EQ(first.status, 0) << first.err;
    ASSERT_TRUE(fs::exists(out + "/runs/r1-w12-2.txt"));
    dir.Write("found/notes.txt", "mine\n");
    const std::string outside = dir.Write("outside.json", "not Kalvo's\n");
    fs::remove(out + "/summary.json");
    fs::create_symlink(outside, out + "/summary.json");
    fs::create_symlink(outside, out + "/shortcut.json");

    const Invocation second = Kalvo({"discover", fasta, "-w", "10", "--restarts", "1", "--motifs", "1", "-n", "100",
                                     "-o", out, "--force", "-q"});
    ASSERT_EQ(second.status, 0) << second.err;
    EXPECT_EQ(ReadBytes(out + "/notes.txt"), "mine\n");
    EXPECT_EQ(ReadBytes(outside), "not Kalvo's\n");
    EXPECT_FALSE(fs::is_symlink(out + "/summary.json"));
    ASSERT_TRUE(fs::is_symlink(out + "/shortcut.json"));  // carried as a link
    EXPECT_EQ(fs::read_symlink(out + "/shortcut.json"), outside);

    // runs/ holds this discovery's files and nothing of the earlier one.
    const auto summary = nlohmann::json::parse(ReadBytes(out + "/summary.json"));
    std::set<std::string> listed = {"round1.fa"};
    for (const auto& restart : summary["restarts"]) {
        listed.insert(fs::path(restart["parameter_file"].get<std::string>()).filename().string());
        listed.insert(fs::path(restart["report_file"].get<std::string>()).filename().string());
    }
    EXPECT_EQ(Entries(out + "/runs"), listed);
    EXPECT_EQ(Entries(dir.path()), (std::set<std::string>{"set.fa", "found", "outside.json"}));

    // A restart, repeated in the folder that took the new one's place, appends the same block again.
    const auto& restart = summary["restarts"][0];
    const std::string report = out + "/" + restart["report_file"].get<std::string>();
    const std::string block = ReadBytes(report);
    const pid_t repeat = StartKalvo(out, {"run", restart["parameter_file"].get<std::string>(), "--seed",
                                          std::to_string(restart["seed"].get<std::uint32_t>()), "-q"},
                                    "../repeat");
    EXPECT_EQ(ExitStatus(WaitFor(repeat)), 0) << ReadBytes(dir.File("repeat.err"));
    EXPECT_EQ(ReadBytes(report), block + block);
}

TEST(ForcedDiscovery, TheWorkingFolderAsOutputStaysTheSameFolder)
{
    // A shell in the folder keeps seeing its files: the folder is filled, never swapped for another.
    const TempDir dir;
    dir.Write("set.fa", MakeSet(45, 120, true, 5).fasta);
    const fs::path work = dir.path() / "work";
    fs::create_directory(work);
    struct stat before {};
    ASSERT_EQ(::stat(work.c_str(), &before), 0);
    const auto discover = [&](const std::string& width, const std::string& name) {
        return ExitStatus(WaitFor(StartKalvo(work, {"discover", "../set.fa", "-w", width, "--restarts", "2", "--motifs",
                                                    "1", "-n", "100", "-o", ".", "--force", "-q"},
                                             "../" + name)));
    };
    ASSERT_EQ(discover("12", "first"), 0) << ReadBytes(dir.File("first.err"));
    ASSERT_TRUE(fs::exists(work / "runs/r1-w12-2.txt"));
    dir.Write("work/notes.txt", "mine\n");
    ASSERT_EQ(discover("10", "second"), 0) << ReadBytes(dir.File("second.err"));
    struct stat after {};
    ASSERT_EQ(::stat(work.c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(ReadBytes((work / "notes.txt").string()), "mine\n");
    EXPECT_EQ(Entries(work / "runs"), (std::set<std::string>{"round1.fa", "r1-w10-1.params", "r1-w10-1.txt",
                                                             "r1-w10-2.params", "r1-w10-2.txt"}));
    EXPECT_FALSE(fs::exists(work / "INCOMPLETE.txt"));
    EXPECT_EQ(Entries(dir.path()), (std::set<std::string>{"set.fa", "work", "first.out", "first.err", "second.out",
                                                          "second.err"}));
}

TEST(ConcurrentDiscoveries, TwoForcedIntoOneFolderNeverMix)
{
    const TempDir dir;
    dir.Write("set.fa", MakeSet(120, 150, true, 4).fasta);
    // Widths of their own, so that the restarts' files of the two never share a name.
    const auto command = [](const std::string& seed, const std::string& out) {
        return std::vector<std::string>{"discover", "set.fa", "-w", seed == "1" ? "10" : "11", "--restarts", "2",
                                        "--motifs", "1",      "-n", "400", "-j", "1", "-o", out, "--force", "-q",
                                        "--seed",   seed};
    };
    // Each seed alone, for what its folder holds.
    for (const std::string seed : {"1", "2"})
        ASSERT_EQ(ExitStatus(WaitFor(StartKalvo(dir.path(), command(seed, "alone" + seed), "alone" + seed))), 0);

    const pid_t one = StartKalvo(dir.path(), command("1", "out"), "one");
    const pid_t two = StartKalvo(dir.path(), command("2", "out"), "two");
    const int statusOne = ExitStatus(WaitFor(one));
    const int statusTwo = ExitStatus(WaitFor(two));
    EXPECT_TRUE(statusOne == 0 || statusTwo == 0);
    for (const auto& [status, name] : {std::pair{statusOne, "one"}, std::pair{statusTwo, "two"}}) {
        if (status != 0) {
            EXPECT_EQ(status, 1);
            EXPECT_THAT(ReadBytes(dir.File(std::string(name) + ".err")),
                        HasSubstr("output folder 'out' is being written by another discovery"));
        }
    }
    // The folder is one discovery's: its runs and sites are those of the seed its summary names.
    const auto summary = nlohmann::json::parse(ReadBytes(dir.File("out/summary.json")));
    const std::string seed = std::to_string(summary["seed"].get<int>());
    auto files = Contents(dir.File("out"));
    auto alone = Contents(dir.File("alone" + seed));
    for (auto* held : {&files, &alone}) {
        held->erase("summary.json");  // times differ
        held->erase("index.html");
    }
    EXPECT_EQ(files, alone);
    EXPECT_TRUE(Partials(dir.path(), "out").empty());
    EXPECT_FALSE(fs::exists(dir.File(".out.kalvo-lock")));
}

TEST(ConcurrentDiscoveries, ASecondWriterIsRefusedNamingTheProcessThatWrites)
{
    const TempDir dir;
    const std::string fasta = dir.Write("set.fa", MakeSet(45, 120, true, 5).fasta);
    const std::string out = dir.File("out");
    OutputFolder held(out);
    ASSERT_FALSE(held.Claim(fasta, std::nullopt, false));
    for (const bool force : {false, true}) {
        std::vector<std::string> args = {"discover", fasta, "-w", "10", "--restarts", "1", "-n", "20", "-o", out, "-q"};
        if (force)
            args.push_back("--force");
        const Invocation second = Kalvo(args);
        EXPECT_EQ(second.status, 1);
        EXPECT_EQ(second.err, "kalvo: output folder '" + out + "' is being written by another discovery (process " +
                                  std::to_string(::getpid()) + "): wait for it, or name another folder\n");
    }
    held.Abandon();
    EXPECT_EQ(Entries(dir.path()), std::set<std::string>{"set.fa"});
    EXPECT_EQ(Kalvo({"discover", fasta, "-w", "10", "--restarts", "1", "-n", "20", "-o", out, "-q"}).status, 0);
}

// Files of a folder whose names start with `prefix`.
std::vector<std::string> NamesStartingWith(const fs::path& folder, const std::string& prefix)
{
    std::vector<std::string> names;
    for (const std::string& name : Entries(folder))
        if (name.starts_with(prefix))
            names.push_back(name);
    return names;
}

TEST(InterruptedCommands, EnrichAndScanStoppedByCtrlCLeaveNothingBehind)
{
    const TempDir dir;
    // Enrich: the whole bundled collection over a thousand peaks takes seconds at one job.
    dir.Write("peaks.fa", MakeSet(1000, 500, true, 3).fasta);
    const pid_t enrich = StartKalvo(dir.path(), {"enrich", "peaks.fa", "-j", "1", "-o", "out", "-q"}, "enrich");
    ASSERT_TRUE(Eventually([&] { return !Partials(dir.path(), "out").empty(); }));
    ::kill(enrich, SIGINT);
    EXPECT_EQ(ExitStatus(WaitFor(enrich)), 130) << ReadBytes(dir.File("enrich.err"));
    EXPECT_THAT(ReadBytes(dir.File("enrich.err")), HasSubstr("kalvo: enrich interrupted; nothing was written"));
    EXPECT_TRUE(Partials(dir.path(), "out").empty());
    EXPECT_FALSE(fs::exists(dir.File("out")));

    // Scan: tens of millions of letters; the sites file never appears and its temporary file goes.
    std::string genome = ">chr1\n";
    for (int line = 0; line < 500000; ++line)
        genome += "ACGTTGCATGCAGTCAGGATCCATGACGTCATTGCAAGCTTGCATCAGTTGACATGCAAGT\n";
    dir.Write("genome.fa", genome);
    const pid_t scan = StartKalvo(dir.path(), {"scan", "jaspar", "genome.fa", "--motif", "ctcf", "-j", "1", "-o",
                                               "sites.tsv", "-q"},
                                  "scan");
    ASSERT_TRUE(Eventually([&] { return !NamesStartingWith(dir.path(), "sites.tsv.kalvo-").empty(); }));
    ::kill(scan, SIGTERM);
    EXPECT_EQ(ExitStatus(WaitFor(scan)), 143) << ReadBytes(dir.File("scan.err"));
    EXPECT_THAT(ReadBytes(dir.File("scan.err")), HasSubstr("kalvo: scan interrupted; nothing was written"));
    EXPECT_TRUE(NamesStartingWith(dir.path(), "sites.tsv").empty());
}

}  // namespace
}  // namespace kalvo::testing
