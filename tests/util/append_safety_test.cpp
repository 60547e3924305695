// tests/util/append_safety_test.cpp: a block is whole or absent, under concurrent appends,
// a full disk and a kill, in real child processes.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "model/run_state.h"
#include "temp_files.h"
#include "util/append_file.h"

namespace kalvo {
namespace {

namespace fs = std::filesystem;
using testing::ReadBytes;
using testing::TempDir;

std::string JournalOf(const std::string& path) { return path + std::string(kAppendJournalSuffix); }

// Runs `body` in a child process and returns its wait status. The child
// never returns into the test framework.
int InChild(const std::function<int()>& body)
{
    const pid_t pid = ::fork();
    if (pid == 0)
        ::_exit(body());
    int status = 0;
    ::waitpid(pid, &status, 0);
    return status;
}

// Limits the size of any file this process writes, as a full disk would.
void LimitFileSize(rlim_t bytes)
{
    const rlimit limit{bytes, bytes};
    ::setrlimit(RLIMIT_FSIZE, &limit);
    const rlimit noCore{0, 0};
    ::setrlimit(RLIMIT_CORE, &noCore);
}

// A block that says who wrote it and how long it is, so a reader can tell whether it is whole.
std::string Block(int writer, int index)
{
    const std::size_t length = static_cast<std::size_t>(1 + (index * 7919 + writer * 104729) % 70000);
    std::string block = "<";
    block.append(std::to_string(writer)).append(":").append(std::to_string(index)).append(":");
    block.append(std::to_string(length)).append(">").append(length, static_cast<char>('a' + writer));
    return block.append("</block>\r\n");
}

TEST(SafeAppend, TwoProcessesAppendingAtOnceLeaveOnlyWholeBlocksInTheirOrder)
{
    TempDir dir;
    const std::string out = dir.Write("out.txt", "earlier results\r\n");
    constexpr int kBlocks = 150;
    std::vector<pid_t> children;
    for (int writer = 0; writer < 2; ++writer) {
        const pid_t pid = ::fork();
        if (pid == 0) {
            for (int i = 0; i < kBlocks; ++i) {
                if (AppendWhole(out, Block(writer, i)))
                    ::_exit(1);
            }
            ::_exit(0);
        }
        children.push_back(pid);
    }
    for (pid_t pid : children) {
        int status = 0;
        ::waitpid(pid, &status, 0);
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }

    const std::string text = ReadBytes(out);
    ASSERT_TRUE(text.starts_with("earlier results\r\n"));
    std::size_t at = std::string("earlier results\r\n").size();
    int next[2] = {0, 0};
    while (at < text.size()) {
        const std::size_t colon = text.find(':', at);
        ASSERT_NE(colon, std::string::npos);
        const int writer = std::stoi(text.substr(at + 1, colon - at - 1));
        ASSERT_TRUE(writer == 0 || writer == 1) << "at byte " << at;
        const std::string expected = Block(writer, next[writer]);
        ASSERT_EQ(text.compare(at, expected.size(), expected), 0) << "block " << next[writer] << " of writer " << writer;
        at += expected.size();
        ++next[writer];
    }
    EXPECT_EQ(next[0], kBlocks);
    EXPECT_EQ(next[1], kBlocks);
    EXPECT_FALSE(fs::exists(JournalOf(out)));
}

TEST(SafeAppend, AWriteFailingForSpaceIsCutBackOrTheNewFileRemoved)
{
    TempDir dir;
    const std::string existing = dir.Write("out.txt", "earlier results\r\n");
    const std::string fresh = dir.File("fresh.txt");
    const std::string block(20000, 'x');
    for (const std::string& path : {existing, fresh}) {
        const int status = InChild([&] {
            ::signal(SIGXFSZ, SIG_IGN);  // the write then fails with "File too large"
            LimitFileSize(200);
            const auto problem = AppendWhole(path, block);
            return problem && problem->find("too large") != std::string::npos ? 0 : 1;
        });
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << path;
        EXPECT_FALSE(fs::exists(JournalOf(path))) << path;
    }
    EXPECT_EQ(ReadBytes(existing), "earlier results\r\n");
    EXPECT_FALSE(fs::exists(fresh));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
}

TEST(SafeAppend, AProcessKilledMidWriteLeavesAJournalAndTheNextAppendCutsItsBytesOff)
{
    TempDir dir;
    const std::string out = dir.Write("out.txt", "earlier results\r\n");
    // The size limit's signal kills the child in the middle of its write.
    const int status = InChild([&] {
        LimitFileSize(100);
        AppendWhole(out, std::string(20000, 'x'));
        return 0;
    });
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGXFSZ);
    ASSERT_EQ(fs::file_size(out), 100u);
    ASSERT_TRUE(fs::exists(JournalOf(out)));

    EXPECT_FALSE(AppendWhole(out, "next block\r\n"));
    EXPECT_EQ(ReadBytes(out), "earlier results\r\nnext block\r\n");
    EXPECT_FALSE(fs::exists(JournalOf(out)));
}

TEST(SafeAppend, AJournalThatDoesNotFitTheFileNeverCutsIt)
{
    TempDir dir;
    const std::string out = dir.Write("out.txt", "earlier results\r\n");
    struct stat info {};
    ASSERT_EQ(::stat(out.c_str(), &info), 0);
    const std::string file = std::to_string(info.st_dev) + " " + std::to_string(info.st_ino) + " ";
    // Journals of Kalvo's that do not fit this file are stale: they go, and the file stays whole.
    const std::string journals[] = {
        "kalvo append journal 1\n" + file + "5 3\nend\n",        // more bytes after the size than the block had
        "kalvo append journal 1\n" + file + "40 100\nend\n",     // recorded size beyond the file
        "kalvo append journal 1\n1 2 5 100\nend\n",             // another file
        "kalvo append journal 1\n" + file + "5 100\n",          // cut short before its end line
    };
    std::string expected = "earlier results\r\n";
    for (const std::string& journal : journals) {
        dir.Write("out.txt" + std::string(kAppendJournalSuffix), journal);
        EXPECT_FALSE(AppendWhole(out, "+\r\n"));
        expected += "+\r\n";
        EXPECT_EQ(ReadBytes(out), expected) << journal;
        EXPECT_FALSE(fs::exists(JournalOf(out)));
    }
    // A journal that fits is acted on: the bytes after the recorded size go.
    dir.Write("out.txt" + std::string(kAppendJournalSuffix),
              "kalvo append journal 1\n" + file + "17 100\nend\n");
    EXPECT_FALSE(AppendWhole(out, "whole\r\n"));
    EXPECT_EQ(ReadBytes(out), "earlier results\r\nwhole\r\n");
}

TEST(SafeAppend, FilesNamedLikeAJournalThatKalvoDidNotWriteAreNeverTouched)
{
    TempDir dir;
    const std::string out = dir.Write("out.txt", "earlier results\r\n");
    const std::string victim = dir.Write("victim.txt", "someone's data\n");
    const std::string notes = dir.Write("out.txt" + std::string(kAppendJournalSuffix), "my own notes\n");
    fs::create_symlink(victim, JournalOf(out) + ".tmp");
    const std::string looped = dir.Write("other.txt", "");
    dir.Write("other.txt" + std::string(kAppendJournalSuffix), "kalvo notes, not a journal\n");

    EXPECT_FALSE(AppendWhole(out, "block\r\n"));
    EXPECT_FALSE(AppendWhole(looped, "block\r\n"));
    EXPECT_EQ(ReadBytes(out), "earlier results\r\nblock\r\n");
    EXPECT_EQ(ReadBytes(notes), "my own notes\n");
    EXPECT_EQ(ReadBytes(victim), "someone's data\n");
    EXPECT_TRUE(fs::is_symlink(JournalOf(out) + ".tmp"));
    EXPECT_EQ(ReadBytes(JournalOf(looped)), "kalvo notes, not a journal\n");
    // No temporary file of the journal is left behind.
    for (const auto& entry : fs::directory_iterator(dir.path()))
        EXPECT_EQ(entry.path().filename().string().find(".kalvo-journal"), std::string::npos) << entry.path();
}

TEST(SafeAppend, AReportWithTheLongestNameStillGetsItsJournal)
{
    TempDir dir;
    const std::string out = dir.Write(std::string(250, 'r') + ".txt", "earlier results\r\n");
    const int status = InChild([&] {
        LimitFileSize(100);
        AppendWhole(out, std::string(20000, 'x'));
        return 0;
    });
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGXFSZ);
    const std::string journal = SideFileName(out, kAppendJournalSuffix);
    EXPECT_LE(fs::path(journal).filename().string().size(), 255u);
    ASSERT_TRUE(fs::exists(journal));
    EXPECT_FALSE(AppendWhole(out, "next block\r\n"));
    EXPECT_EQ(ReadBytes(out), "earlier results\r\nnext block\r\n");
    EXPECT_FALSE(fs::exists(journal));
}

TEST(SafeAppend, ARunKilledBeforeItsEndHasWrittenNothing)
{
    TempDir dir;
    std::string fasta;
    for (int s = 0; s < 20; ++s) {
        fasta += ">s" + std::to_string(s) + "\n";
        for (int j = 0; j < 300; ++j)
            fasta += "ACGT"[(j * 31 + s * 17 + j / 7) % 4];
        fasta += "\n";
    }
    const std::string seqs = dir.Write("seqs.fa", fasta);
    const std::string out = dir.Write("out.txt", "earlier results\r\n");
    const std::string params =
        dir.Write("run.params", "-i\n" + seqs + "\n-o\n" + out + "\n-w\n8\n-n\n1000000\n");

    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t pid = ::fork();
    if (pid == 0) {
        CMotifSampler run;
        if (run.LoadParameters(params))
            ::_exit(1);
        bool told = false;
        run.Run(7, [&](const RunProgress& progress) {
            // Say once that the iterations are under way, then go on until killed.
            if (!told && progress.iteration >= 3) {
                told = ::write(ready[1], "x", 1) == 1;
            }
            return true;
        });
        ::_exit(2);
    }
    char byte = 0;
    ASSERT_EQ(::read(ready[0], &byte, 1), 1);
    ::kill(pid, SIGKILL);
    int status = 0;
    ::waitpid(pid, &status, 0);
    ::close(ready[0]);
    ::close(ready[1]);
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(ReadBytes(out), "earlier results\r\n");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 3);
}

}  // namespace
}  // namespace kalvo
