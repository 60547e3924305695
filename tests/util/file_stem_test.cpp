// tests/util/file_stem_test.cpp: what outputs and motif names are called after their input file.
#include <gtest/gtest.h>

#include "util/file_stem.h"

namespace kalvo {
namespace {

TEST(FileStem, FoldersGzipAndTheLastExtensionGoAndStandardInputIsStdin)
{
    EXPECT_EQ(FileStem("peaks.fa"), "peaks");
    EXPECT_EQ(FileStem("peaks.fa.gz"), "peaks");
    EXPECT_EQ(FileStem("/x/y/crp0.fa"), "crp0");
    EXPECT_EQ(FileStem("peaks.v2.fasta.gz"), "peaks.v2");
    EXPECT_EQ(FileStem("reads"), "reads");
    EXPECT_EQ(FileStem("my peaks;v2.fa"), "my peaks;v2");
    EXPECT_EQ(FileStem("-"), "stdin");
    EXPECT_EQ(FileStem("./-"), "-");  // a file named "-" is not standard input
    EXPECT_EQ(FileStem(".hidden"), ".hidden");
    EXPECT_EQ(FileStem("data/.hidden.fa.gz"), ".hidden");
    EXPECT_EQ(FileStem("dir/"), "");
    EXPECT_EQ(FileStem(""), "");
}

TEST(FileStem, TheWordFormKeepsOnlyNameCharactersAndIsNeverEmpty)
{
    EXPECT_EQ(FileStemWord("/x/y/crp0.fa"), "crp0");
    EXPECT_EQ(FileStemWord("data/my peaks;v2.fa.gz"), "my_peaks_v2");
    EXPECT_EQ(FileStemWord("caf\xc3\xa9 \t1.fa"), "caf____1");
    EXPECT_EQ(FileStemWord("-"), "stdin");
    EXPECT_EQ(FileStemWord("dir/"), "input");
}

}  // namespace
}  // namespace kalvo
