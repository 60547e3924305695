// discover/known/homer_reader.cpp: motifs of HOMER .motif files, one row of four shares per column.
#include "discover/known/motif_readers.h"
#include "discover/known/motif_text.h"

namespace kalvo {
namespace {

// The tab-separated fields of a header line after its '>'.
std::vector<std::string_view> TabFields(std::string_view line)
{
    std::vector<std::string_view> fields;
    std::size_t start = 1;
    for (std::size_t tab = line.find('\t', start);; tab = line.find('\t', start)) {
        fields.push_back(Trimmed(line.substr(start, tab == std::string_view::npos ? tab : tab - start)));
        if (tab == std::string_view::npos)
            return fields;
        start = tab + 1;
    }
}

std::optional<Refusal> ReadRow(std::string_view line, int lineNumber, const std::string& id, ReadMatrix& matrix,
                               const std::string& source)
{
    const std::vector<std::string_view> cells = Cells(line);
    if (cells.size() != 4)
        return LineProblem(source, lineNumber, "a row of motif '" + id + "' has " + std::to_string(cells.size()) +
                                                   " cells; each row needs 4 (A, C, G, T)");
    std::array<double, 4> column{};
    for (std::size_t b = 0; b < 4; ++b) {
        std::string problem;
        const auto value = MatrixCell(cells[b], problem);
        if (!value)
            return LineProblem(source, lineNumber, problem);
        column[b] = *value;
    }
    matrix.columns.push_back(column);
    matrix.lines.push_back(lineNumber);
    return std::nullopt;
}

}  // namespace

MotifRead ReadHomerMotifs(const std::vector<std::string>& lines, const std::string& source)
{
    MotifRead result;
    std::vector<int> headerLines;
    ReadMatrix matrix;
    auto close = [&] {
        if (!result.motifs.empty() && !result.refusal)
            result.refusal = SetShares(result.motifs.back(), matrix, source);
        matrix = ReadMatrix();
    };
    for (std::size_t i = 0; i < lines.size() && !result.refusal; ++i) {
        const std::string_view line = Trimmed(lines[i]);
        const int lineNumber = static_cast<int>(i) + 1;
        if (line.empty())
            continue;
        if (line.front() != '>') {
            if (result.motifs.empty())
                result.refusal = LineProblem(source, lineNumber, "a matrix row before the first '>' line");
            else
                result.refusal = ReadRow(line, lineNumber, result.motifs.back().id, matrix, source);
            continue;
        }
        close();
        const std::vector<std::string_view> fields = TabFields(line);
        KnownMotif motif;
        motif.id = std::string(fields.size() > 1 && !fields[1].empty() ? fields[1] : fields[0]);
        if (motif.id.empty()) {
            result.refusal = LineProblem(source, lineNumber, "a '>' line without the motif's consensus or name");
            break;
        }
        motif.name = motif.id;
        motif.source = source;
        result.motifs.push_back(std::move(motif));
        headerLines.push_back(lineNumber);
        matrix.firstLine = lineNumber;
    }
    close();
    if (!result.refusal)
        result.refusal = CheckUniqueIds(result.motifs, headerLines, source);
    if (result.refusal)
        result.motifs.clear();
    return result;
}

}  // namespace kalvo
