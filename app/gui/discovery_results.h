// app/gui/discovery_results.h: an analysis's output folder read back for the results view.
// The view shows what the folder's files say (summary.json, sites.tsv, the logos),
// so a finished analysis and one opened later look the same and agree with the files.
#pragma once
#include <array>
#include <optional>
#include <utility>
#include <vector>

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace kalvo {

// One site as sites.tsv lists it: 0-based start, end exclusive, word in motif orientation.
struct ResultSite {
    QString sequence;
    long long start = 0;
    long long end = 0;
    bool forward = true;
    double score = 0.0;
    QString word;
};

// A group of correlated motif columns (a pair, usually), with its log Bayes factor.
struct ResultPair {
    std::vector<int> columns;                     // 1-based, left to right
    double logBF = 0.0;
    std::vector<std::pair<QString, int>> counts;  // letters at those columns (in that order) among the sites, commonest first
};

struct ResultMotif {
    int rank = 0;
    QString id;
    QString consensus;
    int width = 0;
    QString evalue;        // as the files print it
    double log10EValue = 0.0;
    int siteCount = 0;     // sites called in the targets
    int foundBy = 0;       // restarts merged into the motif
    int restarts = 0;      // restarts of its round
    int targetHits = 0;
    int targets = 0;
    int controlHits = 0;
    int controls = 0;
    int matrixSites = 0;   // sites the matrix was estimated from
    QString knownMatch;    // the best known match, "KLF12 MA0742.2 q 4e-4" or "no known match"; empty when not named
    std::vector<std::array<double, 4>> matrix;  // letter probabilities per column: A, C, G, T
    std::vector<ResultPair> pairs;
    std::vector<ResultSite> sites;
    QByteArray logo;         // logo-K.svg
    QByteArray logoReverse;  // logo-K-rc.svg
};

struct DiscoveryResults {
    QString folder;          // absolute
    QString input;           // the sequence file as the analysis named it
    QString command;         // the `kalvo discover` command that repeats it
    int targets = 0;
    int controls = 0;
    QString controlSource;
    int motifsTested = 0;
    double evalueThreshold = 0.05;
    QString nextBestEValue;  // E-value of the best motif that was not significant; empty when none
    std::vector<ResultMotif> motifs;  // ranked, best first
    QStringList problems;    // files of the folder that could not be read; the rest is shown
};

// Reads the folder; nothing, with the reason in `problem`, when it holds no
// readable summary.json of an analysis. A missing sites.tsv or logo is noted in `problems`.
std::optional<DiscoveryResults> ReadDiscoveryFolder(const QString& folder, QString* problem);

// The folder's HTML report.
QString HtmlReportPath(const QString& folder);

}  // namespace kalvo
