// discover/known/motif_text.h: what the motif file readers share: cells of a line, counts made
// shares, and messages that name the file and line.
#pragma once
#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "discover/known/known_motif.h"
#include "discover/known/motif_readers.h"

namespace kalvo {

// "motif file 'x.meme', line 12: " + problem, as a refusal.
Refusal LineProblem(const std::string& source, int line, const std::string& problem);

// The line's words, split at blanks and tabs.
std::vector<std::string_view> Cells(std::string_view line);

// The line without blanks, tabs and carriage returns at either end.
std::string_view Trimmed(std::string_view line);

// A cell as a count or share: a finite number not below 0; nothing, with `problem` set, otherwise.
std::optional<double> MatrixCell(std::string_view cell, std::string& problem);

// A matrix's columns of A, C, G, T values as read, the line each came from.
struct ReadMatrix {
    std::vector<std::array<double, 4>> columns;
    std::vector<int> lines;  // 1-based line of each column (of its row, where rows are letters)
    int firstLine = 0;       // the motif's header line, named when there is no column
};

// Fills motif.shares from counts or shares (each column divided by its sum) and
// motif.sites from the column sums when they are counts; a column summing to 0
// or a matrix without columns is refused.
std::optional<Refusal> SetShares(KnownMotif& motif, const ReadMatrix& matrix, const std::string& source);

// Refuses a second motif with an id already taken, naming both lines.
std::optional<Refusal> CheckUniqueIds(const std::vector<KnownMotif>& motifs, const std::vector<int>& lines,
                                      const std::string& source);

// True when every cell of the line reads as a number (and there is at least one).
bool AllNumbers(std::string_view line);

}  // namespace kalvo
