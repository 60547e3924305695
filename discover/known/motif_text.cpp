// discover/known/motif_text.cpp: cells, numbers, shares and messages shared by the motif file readers.
#include "discover/known/motif_text.h"

#include <algorithm>
#include <cmath>
#include <map>

#include "util/number_text.h"

namespace kalvo {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

// A cell as a message shows it: quoted, cut short, control bytes as '?'.
std::string Shown(std::string_view cell)
{
    std::string shown = "'";
    for (char c : cell.substr(0, 20))
        shown += static_cast<unsigned char>(c) < 0x20 ? '?' : c;
    return shown + (cell.size() > 20 ? "...'" : "'");
}

// Every column sums to 1 (within the rounding of a file's printed digits): shares, not counts.
bool LooksLikeShares(const std::vector<std::array<double, 4>>& columns)
{
    constexpr double kSlack = 0.02;
    return std::all_of(columns.begin(), columns.end(), [&](const std::array<double, 4>& column) {
        const double sum = column[0] + column[1] + column[2] + column[3];
        return std::abs(sum - 1.0) <= kSlack;
    });
}

}  // namespace

Refusal LineProblem(const std::string& source, int line, const std::string& problem)
{
    return {"motif file '" + source + "', line " + std::to_string(line) + ": " + problem};
}

std::vector<std::string_view> Cells(std::string_view line)
{
    std::vector<std::string_view> cells;
    std::size_t pos = 0;
    while (pos < line.size()) {
        while (pos < line.size() && IsBlank(line[pos]))
            ++pos;
        const std::size_t start = pos;
        while (pos < line.size() && !IsBlank(line[pos]))
            ++pos;
        if (pos > start)
            cells.push_back(line.substr(start, pos - start));
    }
    return cells;
}

std::string_view Trimmed(std::string_view line)
{
    while (!line.empty() && IsBlank(line.front()))
        line.remove_prefix(1);
    while (!line.empty() && IsBlank(line.back()))
        line.remove_suffix(1);
    return line;
}

std::optional<double> MatrixCell(std::string_view cell, std::string& problem)
{
    if (!ReadsWholeAsReal(cell)) {
        problem = Shown(cell) + " is not a number";
        return std::nullopt;
    }
    const double value = ParseLeadingReal(cell);
    if (value < 0.0) {
        problem = Shown(cell) + " is negative; counts and shares are 0 or more";
        return std::nullopt;
    }
    return value;
}

bool AllNumbers(std::string_view line)
{
    const std::vector<std::string_view> cells = Cells(line);
    return !cells.empty() &&
           std::all_of(cells.begin(), cells.end(), [](std::string_view cell) { return ReadsWholeAsReal(cell); });
}

std::optional<Refusal> SetShares(KnownMotif& motif, const ReadMatrix& matrix, const std::string& source)
{
    if (matrix.columns.empty())
        return LineProblem(source, matrix.firstLine, "motif '" + motif.id + "' has a matrix without columns");
    const bool shares = LooksLikeShares(matrix.columns);
    double largest = 0.0;
    motif.shares.clear();
    for (std::size_t c = 0; c < matrix.columns.size(); ++c) {
        const std::array<double, 4>& column = matrix.columns[c];
        const double sum = column[0] + column[1] + column[2] + column[3];
        if (!(sum > 0.0))
            return LineProblem(source, matrix.lines[c],
                               "column " + std::to_string(c + 1) + " of motif '" + motif.id +
                                   "' sums to 0; every column needs a count or share above 0");
        largest = std::max(largest, sum);
        motif.shares.push_back({column[0] / sum, column[1] / sum, column[2] / sum, column[3] / sum});
    }
    motif.sites = shares ? 0.0 : largest;
    return std::nullopt;
}

std::optional<Refusal> CheckUniqueIds(const std::vector<KnownMotif>& motifs, const std::vector<int>& lines,
                                      const std::string& source)
{
    std::map<std::string, int> seen;
    for (std::size_t i = 0; i < motifs.size(); ++i) {
        const auto [at, fresh] = seen.emplace(motifs[i].id, lines[i]);
        if (!fresh)
            return LineProblem(source, lines[i],
                               "the motif id '" + motifs[i].id + "' is taken already, by the motif of line " +
                                   std::to_string(at->second) + "; ids must be unique within a file");
    }
    return std::nullopt;
}

}  // namespace kalvo
