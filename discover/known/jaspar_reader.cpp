// discover/known/jaspar_reader.cpp: motifs of JASPAR count files, headed or bare.
#include <algorithm>

#include "discover/known/motif_readers.h"
#include "discover/known/motif_text.h"
#include "util/file_stem.h"

namespace kalvo {
namespace {

constexpr std::string_view kLetters = "ACGT";

// The letter a row starts with (0..3), or -1 for a row of numbers only.
int RowLetter(std::string_view cell)
{
    if (cell.size() == 2 && cell[1] == ':')
        cell.remove_suffix(1);
    if (cell.size() != 1)
        return -1;
    const char c = static_cast<char>(cell[0] & ~0x20);  // upper case
    const std::size_t at = kLetters.find(c);
    return at == std::string_view::npos ? -1 : static_cast<int>(at);
}

struct JasparMotif {
    KnownMotif motif;
    int headerLine = 0;
    std::vector<std::string> rows;  // the four row lines as written
    std::vector<int> rowLines;
};

// The columns of a motif's four rows; a refusal for ragged rows, bad cells or a letter given twice.
std::optional<Refusal> Columns(const JasparMotif& entry, ReadMatrix& matrix, const std::string& source)
{
    const std::string& id = entry.motif.id;
    std::array<bool, 4> taken{};
    std::size_t width = 0;
    for (std::size_t r = 0; r < entry.rows.size(); ++r) {
        std::string row = entry.rows[r];
        std::replace_if(row.begin(), row.end(), [](char c) { return c == '[' || c == ']'; }, ' ');
        std::vector<std::string_view> cells = Cells(row);
        int letter = cells.empty() ? -1 : RowLetter(cells[0]);
        if (letter >= 0)
            cells.erase(cells.begin());
        else
            letter = static_cast<int>(r);
        const int line = entry.rowLines[r];
        if (taken[static_cast<std::size_t>(letter)])
            return LineProblem(source, line, "motif '" + id + "' has a second row for " + kLetters[letter]);
        taken[static_cast<std::size_t>(letter)] = true;
        if (r == 0) {
            width = cells.size();
            matrix.columns.assign(width, {});
            matrix.lines.assign(width, line);
        } else if (cells.size() != width) {
            return LineProblem(source, line, "row " + std::string(1, kLetters[letter]) + " of motif '" + id +
                                                 "' has " + std::to_string(cells.size()) + " numbers and its first row " +
                                                 std::to_string(width) + "; the four rows must be equally long");
        }
        for (std::size_t c = 0; c < cells.size(); ++c) {
            std::string problem;
            const auto value = MatrixCell(cells[c], problem);
            if (!value)
                return LineProblem(source, line, problem);
            matrix.columns[c][static_cast<std::size_t>(letter)] = *value;
        }
    }
    return std::nullopt;
}

std::optional<Refusal> Finish(JasparMotif& entry, const std::string& source)
{
    if (entry.rows.size() != 4)
        return LineProblem(source, entry.headerLine, "motif '" + entry.motif.id + "' has " +
                                                         std::to_string(entry.rows.size()) +
                                                         " rows; a JASPAR matrix has four (A, C, G, T)");
    ReadMatrix matrix;
    matrix.firstLine = entry.headerLine;
    if (auto refusal = Columns(entry, matrix, source))
        return refusal;
    return SetShares(entry.motif, matrix, source);
}

}  // namespace

MotifRead ReadJasparMotifs(const std::vector<std::string>& lines, const std::string& source)
{
    MotifRead result;
    std::vector<int> headerLines;
    std::optional<JasparMotif> open;
    auto close = [&]() -> bool {
        if (!open)
            return true;
        if ((result.refusal = Finish(*open, source)))
            return false;
        result.motifs.push_back(std::move(open->motif));
        headerLines.push_back(open->headerLine);
        open.reset();
        return true;
    };
    for (std::size_t i = 0; i < lines.size() && !result.refusal; ++i) {
        const std::string_view line = Trimmed(lines[i]);
        const int lineNumber = static_cast<int>(i) + 1;
        if (line.empty())
            continue;
        if (line.front() == '>') {
            if (!close())
                break;
            const std::vector<std::string_view> words = Cells(line.substr(1));
            if (words.empty()) {
                result.refusal = LineProblem(source, lineNumber, "a '>' line without the motif's id");
                break;
            }
            open.emplace();
            open->motif.id = std::string(words[0]);
            const std::string_view name = Trimmed(Trimmed(line.substr(1)).substr(words[0].size()));
            open->motif.name = name.empty() ? open->motif.id : std::string(name);
            open->headerLine = lineNumber;
        } else {
            if (!open) {  // a bare matrix: rows without a header, named after the file
                open.emplace();
                open->motif.id = FileStem(source).empty() ? "motif" : FileStem(source);
                open->motif.name = open->motif.id;
                open->headerLine = lineNumber;
            }
            if (open->rows.size() == 4) {
                result.refusal = LineProblem(source, lineNumber, "a fifth row after the four rows of motif '" +
                                                                     open->motif.id + "'");
                break;
            }
            open->rows.emplace_back(line);
            open->rowLines.push_back(lineNumber);
        }
    }
    if (!result.refusal && close())
        result.refusal = CheckUniqueIds(result.motifs, headerLines, source);
    for (KnownMotif& motif : result.motifs)
        motif.source = source;
    if (result.refusal)
        result.motifs.clear();
    return result;
}

}  // namespace kalvo
