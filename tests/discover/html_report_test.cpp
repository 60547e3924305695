// tests/discover/html_report_test.cpp: index.html of a hand-made discovery, read as markup and as the text a reader sees.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <regex>
#include <set>
#include <string>
#include <vector>

#include "discover/discovery_files.h"
#include "discover/html_report.h"
#include "hand_made_motif.h"

namespace kalvo {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

DiscoveredMotif Motif(int rank, const std::string& consensus, double log10E, const std::vector<std::array<int, 4>>& counts)
{
    DiscoveredMotif motif = testing::HandMadeMotif(rank, consensus, log10E, counts);
    motif.moreThreshold = 6.5;
    motif.controls = 200;
    motif.source = {1, 7, 2, "runs/r1-w7-2.params", "runs/r1-w7-2.txt", 77, -120.5, 9, consensus, log10E, rank};
    return motif;
}

GroupNode Pair(std::vector<int> positions, int firstWord, int firstCount, int secondWord, int secondCount, double logBF)
{
    GroupNode pair;
    pair.size = 2;
    pair.positions = std::move(positions);
    pair.counts.assign(16, 0);
    pair.counts[static_cast<std::size_t>(firstWord)] = firstCount;
    pair.counts[static_cast<std::size_t>(secondWord)] = secondCount;
    pair.logBF = logBF;
    return pair;
}

// Two motifs, the first with a correlated pair (columns 4 and 7: G·A twice, T·T once) and sites on both strands.
Discovery SmallDiscovery()
{
    Discovery discovery;
    discovery.settings.inputPath = "peaks.fa";
    discovery.settings.widths = {7};
    discovery.settings.programVersion = "9.8.7";
    discovery.settings.seed = 5;
    discovery.targetNames = {"chr1:100-140", "seqB some text"};
    discovery.targetLengths = {40, 30};
    discovery.sampledTargets = discovery.trainingTargets = discovery.testTargets = 2;
    discovery.controls = 20;
    discovery.controlResidues = 700;
    discovery.controlSource = "shuffled targets (dinucleotides kept)";
    discovery.motifsTested = 16;
    discovery.nextBestLog10EValue = 0.5;

    DiscoveredMotif first = Motif(1, "TGTGACA", -14.5,
                                  {{0, 0, 0, 3}, {0, 0, 3, 0}, {0, 0, 0, 3}, {0, 0, 2, 1}, {3, 0, 0, 0}, {0, 3, 0, 0},
                                   {2, 0, 0, 1}});
    first.model.groups = {Pair({3, 6}, 2 * 4 + 0, 2, 3 * 4 + 3, 1, 2.75)};
    first.sites = {{0, 5, 12, true, 8.0, "TGTGACA", "AACGT", "GGCATTAGCC"},
                   {0, 20, 27, false, 4.0, "TGTTACT", "CCGTAAGTCA", "ACGTTGGCAT"},
                   {1, 3, 10, true, 6.0, "TGTGACA", "CCA", "TTGACCGATT"}};
    DiscoveredMotif second = Motif(2, "CCGGAA", -3.0, std::vector<std::array<int, 4>>(6, {1, 1, 1, 1}));
    second.foundBy = 2;
    second.sites = {{1, 0, 6, true, 5.0, "CCGGAA", "", "TTGCATGACC"}};
    discovery.motifs = {first, second};
    discovery.restarts = {first.source, second.source};
    discovery.restarts[1].index = 3;
    discovery.restarts[1].parameterFile = "runs/r1-w7-3.params";
    discovery.restarts[1].reportFile = "runs/r1-w7-3.txt";
    return discovery;
}

// Empty when every element is closed in the order it was opened; otherwise where it went wrong.
// Script and style are raw text; void elements and self-closed SVG elements need no end tag.
std::string NestingProblem(const std::string& page)
{
    static const std::set<std::string> kVoid = {"meta", "br", "hr", "img", "input", "link", "wbr"};
    std::vector<std::string> open;
    std::size_t at = page.find("<html");
    while ((at = page.find('<', at)) != std::string::npos) {
        const std::size_t end = page.find('>', at);
        if (end == std::string::npos)
            return "unclosed tag at " + std::to_string(at);
        const std::string tag = page.substr(at + 1, end - at - 1);
        at = end + 1;
        if (tag.empty() || tag[0] == '!')
            continue;
        if (tag[0] == '/') {
            const std::string name = tag.substr(1);
            if (open.empty() || open.back() != name)
                return "</" + name + "> closes <" + (open.empty() ? std::string("nothing") : open.back()) + ">";
            open.pop_back();
            continue;
        }
        const std::string name = tag.substr(0, tag.find_first_of(" \n/"));
        if (kVoid.count(name) > 0 || tag.back() == '/')
            continue;
        open.push_back(name);
        if (name == "script" || name == "style") {
            at = page.find("</" + name + ">", at);  // raw text up to its end tag, which is read next
            if (at == std::string::npos)
                return "<" + name + "> never ends";
        }
    }
    return open.empty() ? std::string() : "<" + open.back() + "> is never closed";
}

// The page as a reader sees its text: style, script and tags dropped, the entities the page uses decoded.
std::string TextOf(const std::string& page)
{
    std::string text = std::regex_replace(page, std::regex("<(style|script)>[^<]*</(style|script)>"), "");
    text = std::regex_replace(text, std::regex("<[^>]*>"), "");
    for (const auto& [entity, plain] : std::vector<std::pair<std::string, std::string>>{
             {"&middot;", "\xC2\xB7"}, {"&minus;", "-"}, {"&times;", "x"}, {"&thinsp;", ""}, {"&rsquo;", "'"},
             {"&le;", "<="}, {"&ndash;", "-"}, {"&lt;", "<"}, {"&gt;", ">"}, {"&quot;", "\""}, {"&#39;", "'"},
             {"&amp;", "&"}}) {
        for (std::size_t at = 0; (at = text.find(entity, at)) != std::string::npos; at += plain.size())
            text.replace(at, entity.size(), plain);
    }
    return text;
}

std::size_t Occurrences(const std::string& text, const std::string& part)
{
    std::size_t n = 0;
    for (std::size_t at = 0; (at = text.find(part, at)) != std::string::npos; at += part.size())
        ++n;
    return n;
}

TEST(DiscoveryPage, IsOneWellNestedDocumentThatFetchesNothing)
{
    const std::string page = DiscoveryHtml(SmallDiscovery());
    EXPECT_TRUE(page.starts_with("<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">"));
    EXPECT_EQ(NestingProblem(page), "");
    EXPECT_THAT(page, Not(HasSubstr("http://")));
    EXPECT_THAT(page, Not(HasSubstr("https://")));
    EXPECT_THAT(page, Not(HasSubstr(" src=")));
    EXPECT_THAT(page, Not(HasSubstr("<link")));
    EXPECT_THAT(page, Not(HasSubstr("@import")));
    EXPECT_THAT(page, Not(HasSubstr("<?xml")));  // the logos are inlined without their XML declaration
    EXPECT_EQ(Occurrences(page, "<script"), 1u);
    EXPECT_EQ(Occurrences(page, "<style"), 1u);
    // The same discovery gives the same bytes, and the folder holds exactly this page.
    EXPECT_EQ(page, DiscoveryHtml(SmallDiscovery()));
    const std::vector<DiscoveryFile> files = ComposeDiscoveryFiles(SmallDiscovery());
    ASSERT_EQ(files.back().name, "index.html");
    EXPECT_EQ(files.back().bytes, page);
}

TEST(DiscoveryPage, TextFromTheInputIsShownAsTextNeverAsMarkup)
{
    Discovery discovery = SmallDiscovery();
    const std::string hostile = "<script>alert(1)</script>&\"'";
    discovery.targetNames[0] = "chr1 " + hostile;
    discovery.targetNames[1] = "bad\xFF\xFE utf8\ttab " + std::string(2'000'000, 'x');
    discovery.settings.inputPath = "data/my <peaks> & co.fa";
    discovery.controlSource = "controls <i>here</i>";
    discovery.warnings = {"line 3: <blank> inside a sequence"};
    discovery.motifs[0].source.parameterFile = "runs/my run.params";
    const std::string page = DiscoveryHtml(discovery);

    EXPECT_EQ(NestingProblem(page), "");
    EXPECT_EQ(Occurrences(page, "<script"), 1u);
    EXPECT_THAT(page, Not(HasSubstr("<peaks>")));
    EXPECT_THAT(page, Not(HasSubstr("<i>here")));
    EXPECT_THAT(page, HasSubstr("chr1 &lt;script&gt;alert(1)&lt;/script&gt;&amp;&quot;&#39;"));
    const std::string text = TextOf(page);
    EXPECT_THAT(text, HasSubstr("Motifs in my <peaks> & co.fa"));
    // A site's row names its sequence by its first word; the whole header is the cell's title.
    EXPECT_THAT(page, HasSubstr("title=\"chr1 &lt;script&gt;alert(1)&lt;/script&gt;&amp;&quot;&#39;\">chr1</td>"));
    EXPECT_THAT(text, HasSubstr("controls <i>here</i>"));
    EXPECT_THAT(text, HasSubstr("line 3: <blank> inside a sequence"));
    // Bytes that are not UTF-8 become U+FFFD, a tab a blank, and a huge name is cut short.
    EXPECT_THAT(page, HasSubstr("bad\xEF\xBF\xBD\xEF\xBF\xBD utf8 tab xxx"));
    EXPECT_THAT(page, Not(HasSubstr("\xFF")));
    EXPECT_LT(page.size(), 200'000u);
    // The command that repeats the discovery quotes the path for the shell, escaped for the page.
    EXPECT_THAT(text, HasSubstr("kalvo discover 'data/my <peaks> & co.fa' --widths 7"));
    EXPECT_THAT(text, HasSubstr("kalvo run 'runs/my run.params' --seed 77"));
}

TEST(DiscoveryPage, ListsEachMotifWithItsLogosEValueSitesAndLinks)
{
    const Discovery discovery = SmallDiscovery();
    const std::string page = DiscoveryHtml(discovery);
    const std::string text = TextOf(page);

    EXPECT_THAT(text, HasSubstr("2 significant motifs in 2 sequences"));
    EXPECT_THAT(text, HasSubstr("kalvo discover peaks.fa --widths 7 --motifs 3 --restarts 8 --iterations 500 "
                                "--evalue 0.05 --seed 5"));
    EXPECT_THAT(text, HasSubstr("Kalvo 9.8.7"));
    // Ranked table, then a section per motif; four logos each (table and section, both strands).
    EXPECT_EQ(Occurrences(page, "<svg class=\"logo\""), 8u);
    EXPECT_LT(page.find("id=\"motif-1\""), page.find("id=\"motif-2\""));
    EXPECT_THAT(page, HasSubstr("3.2&thinsp;&times;&thinsp;10<sup>&minus;15</sup>"));
    EXPECT_THAT(page, HasSubstr("1.0&thinsp;&times;&thinsp;10<sup>&minus;3</sup>"));
    EXPECT_THAT(text, HasSubstr("6 of 8"));
    EXPECT_THAT(text, HasSubstr("14 of 20 targets (70%) against 2 of 200 controls (1%)"));
    EXPECT_THAT(text, HasSubstr("The next candidate (E = 3.2e+00) was above the threshold"));
    // Logo ids stay unique on the page although every logo numbers its columns alike.
    std::set<std::string> ids;
    const std::regex idPattern(" id=\"([^\"]*)\"");
    for (auto it = std::sregex_iterator(page.begin(), page.end(), idPattern); it != std::sregex_iterator(); ++it)
        EXPECT_TRUE(ids.insert((*it)[1]).second) << "id used twice: " << (*it)[1];

    // The pair: four arcs (two logos of motif 1, twice), the legend, and the letters it joins.
    EXPECT_EQ(Occurrences(page, "class=\"pair\""), 4u);
    EXPECT_THAT(text, HasSubstr("columns that vary together: the letters at these two positions are not independent; "
                                "log Bayes factor of the dependent model over independent columns"));
    EXPECT_THAT(text, HasSubstr("4 and 72.75G\xC2\xB7" "A 2 (1.3), T\xC2\xB7T 1 (0.3), G\xC2\xB7T 0 (0.7), "
                                "T\xC2\xB7" "A 0 (0.7)"));

    // Sites: name, strand, start from 1, offset from the centre, genome place, score, context.
    EXPECT_THAT(text, HasSubstr("chr1:100-140-213.5chr1:121-1274.00ccgtaagtcaTGTTACTacgttggcat"));
    EXPECT_THAT(text, HasSubstr("seqB+4-8.56.00       ccaTGTGACAttgaccgatt"));
    EXPECT_THAT(page, HasSubstr("title=\"seqB some text\">seqB</td>"));

    // Every relative link names a file of the folder or a restart's file.
    std::set<std::string> files = {"runs/", "runs/r1-w7-2.params", "runs/r1-w7-2.txt", "runs/r1-w7-3.params",
                                   "runs/r1-w7-3.txt"};
    for (const DiscoveryFile& file : ComposeDiscoveryFiles(discovery))
        files.insert(file.name);
    std::set<std::string> linked;
    const std::regex hrefPattern("href=\"([^\"#][^\"]*)\"");
    for (auto it = std::sregex_iterator(page.begin(), page.end(), hrefPattern); it != std::sregex_iterator(); ++it) {
        EXPECT_EQ(files.count((*it)[1]), 1u) << "link to " << (*it)[1];
        linked.insert((*it)[1]);
    }
    for (const std::string name : {"summary.json", "sites.tsv", "sites.bed", "motifs.meme", "motifs.jaspar",
                                   "logo-1.svg", "logo-1-rc.svg", "logo-2.svg", "logo-2-rc.svg", "runs/",
                                   "runs/r1-w7-2.params", "runs/r1-w7-3.txt"})
        EXPECT_EQ(linked.count(name), 1u) << name << " is not linked";
}

TEST(DiscoveryPage, SitePositionsCountEverySiteAgainstAnEvenSpread)
{
    Discovery discovery = SmallDiscovery();
    discovery.targetNames = {"a", "b", "c"};
    discovery.targetLengths = {100, 100, 60};
    DiscoveredMotif& motif = discovery.motifs[1];
    motif.width = 10;  // every site's centre on its sequence's centre
    motif.sites = {{0, 45, 55, true, 5.0, "CCGGAACCGG", "", ""},
                   {1, 45, 55, false, 5.0, "CCGGAACCGG", "", ""},
                   {2, 25, 35, true, 5.0, "CCGGAACCGG", "", ""},
                   {2, 0, 10, true, 5.0, "CCGGAACCGG", "", ""}};
    const std::string page = DiscoveryHtml(discovery);
    const std::size_t section = page.find("id=\"motif-2\"");
    ASSERT_NE(section, std::string::npos);
    const std::string histogram = page.substr(section, page.find("</svg>", page.find("class=\"positions\"", section)) - section);

    // Bars of 5 bp around the centre; the bar titles' counts add up to the sites, and so do the expected ones.
    EXPECT_THAT(histogram, HasSubstr("-2.5 to 2.5 bp: 3 sites"));
    EXPECT_THAT(histogram, HasSubstr("-27.5 to -22.5 bp: 1 site,"));
    const std::regex barPattern("bp: (\\d+) sites?, ([0-9.]+) expected");
    int sites = 0, bars = 0;
    double expected = 0.0;
    for (auto it = std::sregex_iterator(histogram.begin(), histogram.end(), barPattern); it != std::sregex_iterator();
         ++it, ++bars) {
        sites += std::stoi((*it)[1]);
        expected += std::stod((*it)[2]);
    }
    EXPECT_EQ(bars, 19);  // 45 bp on either side of the centre
    EXPECT_EQ(sites, 4);
    EXPECT_NEAR(expected, 4.0, 0.05 * bars);  // each bar's figure is rounded to 0.1
    EXPECT_THAT(TextOf(page.substr(section)), HasSubstr("Half of the 4 sites lie within 0 bp of the centre"));
}

TEST(DiscoveryPage, LongSiteTablesStopAtTheCapAndPointToTheFullFiles)
{
    Discovery discovery = SmallDiscovery();
    discovery.targetNames.assign(1200, "s");
    discovery.targetLengths.assign(1200, 30);
    DiscoveredMotif& motif = discovery.motifs[1];
    motif.sites.clear();
    for (int s = 0; s < 1200; ++s)
        motif.sites.push_back({s, 0, 6, true, 5.0, "CCGGAA", "", ""});
    const std::string page = DiscoveryHtml(discovery);
    const std::string section = page.substr(page.find("id=\"motif-2\""));
    const std::string table = section.substr(section.find("<table class=\"sites"));
    EXPECT_EQ(Occurrences(table.substr(0, table.find("</table>")), "<tr>"), static_cast<std::size_t>(kHtmlSiteRows) + 1);
    const std::string text = TextOf(section);
    EXPECT_THAT(text, HasSubstr("The first 500 of 1,200 sites, in input order; sites.tsv and sites.bed list them all."));
    EXPECT_THAT(text, HasSubstr("Half of the 1,200 sites"));  // the histogram counts them all
    EXPECT_EQ(NestingProblem(page), "");
}

TEST(DiscoveryPage, SaysPlainlyWhenNoMotifIsSignificant)
{
    Discovery discovery = SmallDiscovery();
    discovery.motifs.clear();
    const std::string page = DiscoveryHtml(discovery);
    const std::string text = TextOf(page);
    EXPECT_THAT(text, HasSubstr("No significant motif in 2 sequences"));
    EXPECT_THAT(text, HasSubstr("No motif reached an E-value of 0.05 or less; the best candidate had E = 3.2e+00."));
    EXPECT_THAT(page, Not(HasSubstr("<svg class=\"logo\"")));
    EXPECT_THAT(page, Not(HasSubstr("class=\"motif\"")));
    EXPECT_THAT(page, Not(HasSubstr("logo-1.svg")));  // no logo file is written, so none is linked
    EXPECT_THAT(page, HasSubstr("href=\"runs/r1-w7-2.params\""));  // the restarts stay listed
    EXPECT_EQ(NestingProblem(page), "");

    // Without a next candidate the restarts tell what was seen.
    discovery.nextBestLog10EValue.reset();
    discovery.restarts[0].log10EValue = 0.75;
    discovery.restarts[1].log10EValue = 0.25;
    EXPECT_THAT(TextOf(DiscoveryHtml(discovery)),
                HasSubstr("No motif reached an E-value of 0.05 or less; the best restart's motif had E = 1.8e+00."));
    for (RestartRecord& restart : discovery.restarts)
        restart.sites = 0;
    EXPECT_THAT(TextOf(DiscoveryHtml(discovery)),
                HasSubstr("No motif reached an E-value of 0.05 or less; none of the 2 restarts ended with a site."));
    discovery.motifsTested = 0;
    EXPECT_THAT(TextOf(DiscoveryHtml(discovery)),
                HasSubstr("No motif reached an E-value of 0.05 or less; no candidate motif could be tested."));
}

}  // namespace
}  // namespace kalvo
