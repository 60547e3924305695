// tests/util/output_files_test.cpp: which file a name leads to, names of files kept beside an
// output, and outputs that are pipes, devices or links.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <thread>

#include "temp_files.h"
#include "util/append_file.h"
#include "util/file_identity.h"

namespace kalvo {
namespace {

namespace fs = std::filesystem;
using testing::ReadBytes;
using testing::TempDir;

TEST(FileIdentity, NamesLeadingToOneFileAreTheSameWhateverTheirSpelling)
{
    TempDir dir;
    const std::string file = dir.Write("data.fa", ">a\nACGT\n");
    const std::string other = dir.Write("other.fa", ">a\nACGT\n");
    fs::create_symlink(file, dir.File("link.fa"));
    fs::create_hard_link(file, dir.File("hard.fa"));
    fs::create_directory(dir.File("sub"));

    EXPECT_TRUE(SameFile(file, dir.File("link.fa")));
    EXPECT_TRUE(SameFile(file, dir.File("hard.fa")));
    EXPECT_TRUE(SameFile(file, dir.File("sub/../data.fa")));
    EXPECT_FALSE(SameFile(file, other));  // same bytes, another file
    // Files still to be made: the same when their names resolve alike.
    EXPECT_TRUE(SameFile(dir.File("new.txt"), dir.File("sub/../new.txt")));
    EXPECT_FALSE(SameFile(dir.File("new.txt"), dir.File("new2.txt")));
    EXPECT_FALSE(SameFile(file, dir.File("new.txt")));
    EXPECT_FALSE(SameFile("", ""));
    // A link that leads nowhere yet stands for the file it would create.
    fs::create_symlink(dir.File("target.txt"), dir.File("dangling.txt"));
    EXPECT_TRUE(SameFile(dir.File("dangling.txt"), dir.File("target.txt")));
}

TEST(FileIdentity, KindsOfFilesThatAreNotRegularAreNamed)
{
    TempDir dir;
    const std::string fifo = dir.File("pipe");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(SpecialFileKind(fifo), "a named pipe");
    EXPECT_EQ(SpecialFileKind("/dev/null"), "a character device");
    EXPECT_EQ(SpecialFileKind(dir.path().string()), "a folder");
    EXPECT_FALSE(SpecialFileKind(dir.Write("plain.txt", "x")));
    EXPECT_FALSE(SpecialFileKind(dir.File("absent.txt")));
}

TEST(SideFiles, NamesBesideAFileFitTheFileSystemAndStayApart)
{
    EXPECT_EQ(SideFileName("dir/out.txt", ".kalvo-append"), "dir/out.txt.kalvo-append");
    const std::string longA = "dir/" + std::string(250, 'a') + "1.txt";
    const std::string longB = "dir/" + std::string(250, 'a') + "2.txt";
    const std::string sideA = SideFileName(longA, ".kalvo-append");
    const std::string sideB = SideFileName(longB, ".kalvo-append");
    EXPECT_LE(fs::path(sideA).filename().string().size(), 255u);
    EXPECT_TRUE(sideA.starts_with("dir/aaaa"));
    EXPECT_TRUE(sideA.ends_with(".kalvo-append"));
    EXPECT_NE(sideA, sideB);
}

TEST(SideFiles, AFileOfTheLongestNameIsReplacedWhole)
{
    TempDir dir;
    const std::string path = dir.File(std::string(250, 'j') + ".json");
    EXPECT_FALSE(ReplaceWhole(path, "{}\n"));
    EXPECT_EQ(ReadBytes(path), "{}\n");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
}

TEST(OutputKinds, APipeGetsTheWholeBlockAndIsNeverProbed)
{
    TempDir dir;
    const std::string fifo = dir.File("report.pipe");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    // Opening the pipe to look at it and closing it again would end the reader's input here.
    EXPECT_FALSE(CheckAppendable(fifo));
    std::string received;
    std::thread reader([&] {
        const int fd = ::open(fifo.c_str(), O_RDONLY);
        char buffer[4096];
        for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) > 0;)
            received.append(buffer, static_cast<std::size_t>(n));
        ::close(fd);
    });
    EXPECT_FALSE(AppendWhole(fifo, "the block\r\n"));
    reader.join();
    EXPECT_EQ(received, "the block\r\n");
    EXPECT_TRUE(ReplaceWhole(fifo, "x").has_value());  // never a side file beside a pipe
}

TEST(OutputKinds, LinksAreFollowedAsTheShellFollowsThem)
{
    TempDir dir;
    // A link that leads nowhere yet: the append creates the file it names, as ">>" would.
    fs::create_symlink(dir.File("made.txt"), dir.File("report.txt"));
    EXPECT_FALSE(CheckAppendable(dir.File("report.txt")));
    EXPECT_FALSE(AppendWhole(dir.File("report.txt"), "block\r\n"));
    EXPECT_TRUE(fs::is_symlink(dir.File("report.txt")));
    EXPECT_EQ(ReadBytes(dir.File("made.txt")), "block\r\n");
    // Replacing through a link replaces the file it leads to and keeps the link.
    const std::string target = dir.Write("kept.json", "old\n");
    fs::create_symlink(target, dir.File("out.json"));
    EXPECT_FALSE(ReplaceWhole(dir.File("out.json"), "new\n"));
    EXPECT_TRUE(fs::is_symlink(dir.File("out.json")));
    EXPECT_EQ(ReadBytes(target), "new\n");
}

}  // namespace
}  // namespace kalvo
