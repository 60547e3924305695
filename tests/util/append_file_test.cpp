// tests/util/append_file_test.cpp: blocks are appended whole, and a refused path leaves everything as it was.
#include <gtest/gtest.h>

#include <filesystem>
#include <iterator>
#include <string>

#include "temp_files.h"
#include "util/append_file.h"

namespace kalvo {
namespace {

namespace fs = std::filesystem;
using testing::ReadBytes;
using testing::TempDir;

TEST(AppendWhole, AddsTheBlockAfterTheExistingBytesOrCreatesTheFile)
{
    TempDir dir;
    const std::string existing = dir.Write("out.txt", "old\r\n");
    EXPECT_FALSE(AppendWhole(existing, "new\r\n\rblock\r\n"));
    EXPECT_EQ(ReadBytes(existing), "old\r\nnew\r\n\rblock\r\n");

    const std::string fresh = dir.File("fresh.txt");
    EXPECT_FALSE(AppendWhole(fresh, "one\r\n"));
    EXPECT_FALSE(AppendWhole(fresh, "two\r\n"));
    EXPECT_EQ(ReadBytes(fresh), "one\r\ntwo\r\n");
}

TEST(AppendWhole, RefusesADirectoryOrAPathUnderAFileAndChangesNothing)
{
    TempDir dir;
    const std::string plain = dir.Write("plain.txt", "plain");
    EXPECT_TRUE(AppendWhole(dir.path().string(), "block"));
    EXPECT_TRUE(AppendWhole((fs::path(plain) / "out.txt").string(), "block"));
    EXPECT_TRUE(fs::is_directory(dir.path()));
    EXPECT_EQ(ReadBytes(plain), "plain");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
}

TEST(CheckAppendable, JudgesWithoutTouchingTheFileSystem)
{
    TempDir dir;
    const std::string existing = dir.Write("out.txt", "results");
    const std::string missing = dir.File("new.txt");
    EXPECT_FALSE(CheckAppendable(existing));
    EXPECT_FALSE(CheckAppendable(missing));
    EXPECT_TRUE(CheckAppendable(dir.path().string()));
    EXPECT_TRUE(CheckAppendable((fs::path(existing) / "x.txt").string()));
    EXPECT_TRUE(CheckAppendable(""));
    EXPECT_EQ(ReadBytes(existing), "results");
    EXPECT_FALSE(fs::exists(missing));
}

}  // namespace
}  // namespace kalvo
