// tests/discover/known/motif_database_test.cpp: the bundled JASPAR collection, where it is found, taxa, and motif files given instead.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <optional>

#include "discover/known/motif_database.h"
#include "temp_files.h"

namespace kalvo {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using testing::TempDir;

// Sets KALVO_MOTIF_DB (or unsets it, for nothing) for one test and puts the old value back.
class MotifDbVariable {
public:
    explicit MotifDbVariable(const std::optional<std::string>& value)
    {
        if (const char* old = std::getenv(kMotifDatabaseVariable))
            m_old = old;
        if (value)
            setenv(kMotifDatabaseVariable, value->c_str(), 1);
        else
            unsetenv(kMotifDatabaseVariable);
    }
    ~MotifDbVariable()
    {
        if (m_old)
            setenv(kMotifDatabaseVariable, m_old->c_str(), 1);
        else
            unsetenv(kMotifDatabaseVariable);
    }

private:
    std::optional<std::string> m_old;
};

std::map<std::string, int> TaxonCounts(const std::vector<KnownMotif>& motifs)
{
    std::map<std::string, int> counts;
    for (const KnownMotif& motif : motifs)
        ++counts[motif.taxon];
    return counts;
}

TEST(BundledMotifs, AllSixTaxaLoadWellUnderASecondWithFamilyAndClass)
{
    const MotifDbVariable unset(std::nullopt);
    const auto start = std::chrono::steady_clock::now();
    const MotifDatabase database = LoadMotifDatabase({});
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    ASSERT_FALSE(database.refusal) << database.refusal->message;
    ASSERT_EQ(database.motifs.size(), 2345u);
    EXPECT_EQ(TaxonCounts(database.motifs), (std::map<std::string, int>{{"fungi", 178},
                                                                        {"insects", 286},
                                                                        {"nematodes", 103},
                                                                        {"plants", 805},
                                                                        {"urochordates", 94},
                                                                        {"vertebrates", 879}}));
    EXPECT_EQ(database.files.size(), 6u);  // the licence and the notice beside them are no motif files
#ifdef NDEBUG
    EXPECT_LT(seconds, 0.5);
#endif
    const auto ctcf = std::find_if(database.motifs.begin(), database.motifs.end(),
                                   [](const KnownMotif& motif) { return motif.id.starts_with("MA0139."); });
    ASSERT_NE(ctcf, database.motifs.end());
    EXPECT_EQ(ctcf->name, "CTCF");
    EXPECT_EQ(ctcf->family, "More than 3 adjacent zinc fingers");
    EXPECT_EQ(ctcf->tfClass, "C2H2 zinc finger factors");
    EXPECT_EQ(ctcf->taxon, "vertebrates");
    EXPECT_EQ(ctcf->Width(), 15);
    EXPECT_GT(ctcf->sites, 0.0);
    for (const KnownMotif& motif : database.motifs) {
        for (const std::array<double, 4>& column : motif.shares)
            ASSERT_NEAR(column[0] + column[1] + column[2] + column[3], 1.0, 1e-9) << motif.id;
    }
}

TEST(BundledMotifs, TaxaAreChosenInAnyCaseAndCommaListsAndAnUnknownOneIsRefused)
{
    const MotifDbVariable unset(std::nullopt);
    const MotifDatabase two = LoadMotifDatabase({{}, {"Vertebrates, plants"}, ""});
    ASSERT_FALSE(two.refusal) << two.refusal->message;
    EXPECT_EQ(two.motifs.size(), 879u + 805u);
    const MotifDatabase repeated = LoadMotifDatabase({{}, {"fungi", "NEMATODES", "fungi"}, ""});
    ASSERT_FALSE(repeated.refusal);
    EXPECT_EQ(repeated.motifs.size(), 178u + 103u);

    const MotifDatabase unknown = LoadMotifDatabase({{}, {"vertebrates,mammals"}, ""});
    ASSERT_TRUE(unknown.refusal);
    EXPECT_TRUE(unknown.motifs.empty());
    EXPECT_THAT(unknown.refusal->message,
                HasSubstr("unknown taxon 'mammals': the known motifs' taxa are fungi, insects, nematodes, plants, "
                          "urochordates, vertebrates"));
}

TEST(BundledMotifs, FoundBesideAnInstalledProgramOrWhereTheVariableSays)
{
    const TempDir prefix;
    fs::create_directories(prefix.path() / "bin");
    fs::create_directories(prefix.path() / "share/kalvo/motifs/jaspar2024");
    const std::string program = prefix.Write("bin/kalvo", "");
    {
        const MotifDbVariable unset(std::nullopt);
        const MotifFolderLookup installed = BundledMotifFolder(program);
        ASSERT_FALSE(installed.refusal) << installed.refusal->message;
        EXPECT_TRUE(fs::equivalent(installed.folder, prefix.path() / "share/kalvo/motifs/jaspar2024"));
        // Without an installed copy, the source tree it was built from.
        const MotifFolderLookup built = BundledMotifFolder("/nonexistent/bin/kalvo");
        ASSERT_FALSE(built.refusal) << built.refusal->message;
        EXPECT_TRUE(fs::exists(built.folder / "LICENSE.txt"));
    }
    {
        const TempDir other;
        other.Write("mine.jaspar", ">mine\nA [1]\nC [0]\nG [0]\nT [0]\n");
        const MotifDbVariable set(other.path().string());
        EXPECT_EQ(BundledMotifFolder(program).folder, other.path());
        const MotifDatabase database = LoadMotifDatabase({{}, {}, program});
        ASSERT_FALSE(database.refusal) << database.refusal->message;
        ASSERT_EQ(database.motifs.size(), 1u);
        EXPECT_EQ(database.motifs[0].id, "mine");
    }
    {
        const MotifDbVariable wrong("/nonexistent/motifs");
        const MotifDatabase database = LoadMotifDatabase({{}, {}, program});
        ASSERT_TRUE(database.refusal);
        EXPECT_THAT(database.refusal->message, HasSubstr("KALVO_MOTIF_DB names '/nonexistent/motifs'"));
    }
}

TEST(GivenMotifs, FilesAndFoldersInOrderWithIdsDistinctOverAllOfThem)
{
    const TempDir dir;
    const std::string meme = dir.Write("a.meme", "MEME version 4\n\nMOTIF m1\nletter-probability matrix: w= 1\n1 0 0 0\n");
    const std::string jaspar = dir.Write("b.jaspar", ">m2\nA [1]\nC [0]\nG [0]\nT [0]\n");
    const MotifDatabase database = LoadMotifDatabase({{jaspar, meme}, {}, ""});
    ASSERT_FALSE(database.refusal) << database.refusal->message;
    ASSERT_EQ(database.motifs.size(), 2u);
    EXPECT_EQ(database.motifs[0].id, "m2");
    EXPECT_THAT(database.files, ElementsAre(jaspar, meme));

    const MotifDatabase twice = LoadMotifDatabase({{meme, jaspar, meme}, {}, ""});
    ASSERT_TRUE(twice.refusal);
    EXPECT_THAT(twice.refusal->message, HasSubstr("the motif id 'm1' is in both '" + meme + "' and '" + meme + "'"));

    const TempDir folder;
    folder.Write("README.md", "# my motifs\n");
    folder.Write("one.jaspar", ">f1\nA [1]\nC [0]\nG [0]\nT [0]\n");
    folder.Write("two.motif", ">A\tf2\t5.0\n1 0 0 0\n");
    const MotifDatabase fromFolder = LoadMotifDatabase({{folder.path().string()}, {}, ""});
    ASSERT_FALSE(fromFolder.refusal) << fromFolder.refusal->message;
    ASSERT_EQ(fromFolder.motifs.size(), 2u);
    EXPECT_EQ(fromFolder.motifs[1].id, "f2");

    folder.Write("three.jaspar", ">f3\nA [1]\nC [-1]\nG [0]\nT [0]\n");
    const MotifDatabase bad = LoadMotifDatabase({{folder.path().string()}, {}, ""});
    ASSERT_TRUE(bad.refusal);
    EXPECT_THAT(bad.refusal->message, HasSubstr("three.jaspar', line 3"));

    const MotifDatabase noTaxa = LoadMotifDatabase({{jaspar}, {"plants"}, ""});
    ASSERT_TRUE(noTaxa.refusal);
    EXPECT_THAT(noTaxa.refusal->message, HasSubstr("the known motifs have no taxa"));
}

}  // namespace
}  // namespace kalvo
