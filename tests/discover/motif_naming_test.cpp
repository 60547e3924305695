// tests/discover/motif_naming_test.cpp: how a discovered motif's known match is named and linked.
#include <gtest/gtest.h>

#include "discover/motif_naming.h"

namespace kalvo {
namespace {

TEST(MotifNaming, TheBestMatchIsNamedInAFewWordsOrThereIsNone)
{
    DiscoveredMotif motif;
    EXPECT_EQ(BestMatchLabel(motif), "no known match");
    KnownMatch best;
    best.known.id = "MA0139.2";
    best.known.name = "CTCF";
    best.match.q = 2.04e-9;
    motif.knownMatches.push_back(best);
    EXPECT_EQ(BestMatchLabel(motif), "CTCF MA0139.2 q 2e-9");
    // A motif file that gives no name names its motifs by id: the id is not said twice.
    motif.knownMatches.front().known.name = "MA0139.2";
    motif.knownMatches.front().match.q = 0.0412;
    EXPECT_EQ(BestMatchLabel(motif), "MA0139.2 q 0.04");
}

TEST(MotifNaming, FiguresAreShortAndTheSameInEveryLocale)
{
    EXPECT_EQ(ShortFigure(0.05, 2), "0.05");
    EXPECT_EQ(ShortFigure(4.2e-4, 1), "0.0004");
    EXPECT_EQ(ShortFigure(3.6e-5, 2), "3.6e-5");
    EXPECT_EQ(ShortFigure(1e-120, 3), "1e-120");
    EXPECT_EQ(ShortFigure(1.0, 2), "1");
    EXPECT_EQ(ShortFigure(2.5e12, 2), "2.5e12");
}

TEST(MotifNaming, OnlyJasparIdsAreLinkedToTheirJasparPage)
{
    EXPECT_EQ(JasparPageAddress("MA0139.2"), "https://jaspar.elixir.no/matrix/MA0139.2/");
    EXPECT_EQ(JasparPageAddress("PB0001.1"), "https://jaspar.elixir.no/matrix/PB0001.1/");
    for (const char* id : {"", "MA0139", "MA0139.", "ma0139.2", "1-TGACGTCA", "MA01x9.2", "MA0139.2<script>", "K1"})
        EXPECT_EQ(JasparPageAddress(id), "") << id;
}

}  // namespace
}  // namespace kalvo
