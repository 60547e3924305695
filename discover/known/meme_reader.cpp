// discover/known/meme_reader.cpp: motifs of MEME minimal format files and of MEME's text output.
#include <algorithm>
#include <cctype>

#include "discover/known/motif_readers.h"
#include "discover/known/motif_text.h"
#include "util/number_text.h"

namespace kalvo {
namespace {

std::string Upper(std::string_view text)
{
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(), [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return out;
}

// The value of "key= value" (or "key=value") among a matrix line's words; empty when absent.
std::string KeyValue(const std::vector<std::string_view>& words, std::string_view key)
{
    for (std::size_t i = 0; i < words.size(); ++i) {
        const std::string_view word = words[i];
        if (!word.starts_with(key) || word.size() <= key.size() || word[key.size()] != '=')
            continue;
        if (word.size() > key.size() + 1)
            return std::string(word.substr(key.size() + 1));
        return i + 1 < words.size() ? std::string(words[i + 1]) : std::string();
    }
    return {};
}

// Why the alphabet of an ALPHABET line is not DNA, or nothing when it is.
std::optional<std::string> AlphabetProblem(std::string_view line)
{
    std::string_view rest = Trimmed(line.substr(8));
    if (rest.starts_with("=")) {
        const std::string letters = Upper(Trimmed(rest.substr(1)));
        if (letters == "ACGT" || letters == "DNA")
            return std::nullopt;
        return "the alphabet '" + letters + "' is not DNA (ACGT); Kalvo reads DNA motifs only";
    }
    const std::string upper = Upper(rest);
    if (upper.find("RNA-LIKE") != std::string::npos || upper.find("PROTEIN-LIKE") != std::string::npos)
        return "the alphabet is not DNA; Kalvo reads DNA motifs only";
    return std::nullopt;
}

struct MemeReader {
    const std::vector<std::string>& lines;
    const std::string& source;
    MotifRead result;
    std::vector<int> motifLines;
    std::size_t next = 0;

    // Reads the rows after the matrix line of the motif last opened; false on a refusal.
    bool ReadMatrix(const std::vector<std::string_view>& words, int matrixLine)
    {
        KnownMotif& motif = result.motifs.back();
        const std::string alength = KeyValue(words, "alength");
        if (!alength.empty() && alength != "4") {
            result.refusal = LineProblem(source, matrixLine, "motif '" + motif.id + "' has alength= " + alength +
                                                                  "; Kalvo reads DNA motifs (4 letters) only");
            return false;
        }
        const std::string widthText = KeyValue(words, "w");
        const int width = ReadsWholeAsInt(widthText) ? ParseLeadingInt(widthText) : -1;
        if (!widthText.empty() && width <= 0) {
            result.refusal = LineProblem(source, matrixLine, "motif '" + motif.id + "' has w= " + widthText +
                                                                  "; the width must be a whole number above 0");
            return false;
        }
        kalvo::ReadMatrix matrix;
        while (next < lines.size()) {
            const std::string_view line = Trimmed(lines[next]);
            const std::vector<std::string_view> cells = Cells(line);
            std::string problem;
            // A row of four cells where rows are still due is a row, so a bad cell is named as such.
            const bool rowDue = width > 0 && static_cast<int>(matrix.columns.size()) < width && cells.size() == 4;
            if (cells.empty() || (!ReadsWholeAsReal(cells[0]) && !rowDue)) {
                if (cells.empty() && matrix.columns.empty() && width > 0) {
                    ++next;  // blank lines before the first row
                    continue;
                }
                break;
            }
            const int lineNumber = static_cast<int>(next) + 1;
            if (width > 0 && static_cast<int>(matrix.columns.size()) == width) {
                result.refusal = LineProblem(source, lineNumber, "motif '" + motif.id + "' has more rows than its w= " +
                                                                     widthText);
                return false;
            }
            if (cells.size() != 4) {
                result.refusal = LineProblem(source, lineNumber, "a row of motif '" + motif.id + "' has " +
                                                                     std::to_string(cells.size()) +
                                                                     " numbers; each row needs 4 (A, C, G, T)");
                return false;
            }
            std::array<double, 4> column{};
            for (std::size_t b = 0; b < 4; ++b) {
                const auto value = MatrixCell(cells[b], problem);
                if (!value) {
                    result.refusal = LineProblem(source, lineNumber, problem);
                    return false;
                }
                column[b] = *value;
            }
            matrix.columns.push_back(column);
            matrix.lines.push_back(lineNumber);
            ++next;
        }
        if (width > 0 && static_cast<int>(matrix.columns.size()) != width) {
            result.refusal = LineProblem(source, matrixLine, "motif '" + motif.id + "' has " +
                                                                 std::to_string(matrix.columns.size()) +
                                                                 " rows; its matrix line gives w= " + widthText);
            return false;
        }
        matrix.firstLine = matrixLine;
        if ((result.refusal = SetShares(motif, matrix, source)))
            return false;
        const std::string sites = KeyValue(words, "nsites");
        if (ReadsWholeAsReal(sites) && ParseLeadingReal(sites) > 0.0)
            motif.sites = ParseLeadingReal(sites);
        return true;
    }

    bool OpenMotif(std::string_view line, int lineNumber)
    {
        const std::vector<std::string_view> words = Cells(line);
        if (words.size() < 2) {
            result.refusal = LineProblem(source, lineNumber, "a MOTIF line without the motif's id");
            return false;
        }
        KnownMotif motif;
        motif.id = std::string(words[1]);
        motif.name = words.size() > 2 ? std::string(words[2]) : motif.id;
        motif.source = source;
        result.motifs.push_back(std::move(motif));
        motifLines.push_back(lineNumber);
        return true;
    }

    // The motif last opened has no matrix when the next MOTIF line or the end comes.
    bool CheckLastHasMatrix()
    {
        if (result.motifs.empty() || !result.motifs.back().shares.empty())
            return true;
        result.refusal = LineProblem(source, motifLines.back(), "motif '" + result.motifs.back().id +
                                                                     "' has no letter-probability matrix");
        return false;
    }

    MotifRead Read()
    {
        while (next < lines.size()) {
            const std::string_view line = Trimmed(lines[next]);
            const int lineNumber = static_cast<int>(next) + 1;
            ++next;
            if (line.starts_with("ALPHABET")) {
                if (const auto problem = AlphabetProblem(line)) {
                    result.refusal = LineProblem(source, lineNumber, *problem);
                    break;
                }
            } else if (line.starts_with("MOTIF") && (line.size() == 5 || line[5] == ' ' || line[5] == '\t')) {
                if (!CheckLastHasMatrix() || !OpenMotif(line, lineNumber))
                    break;
            } else if (line.starts_with("letter-probability matrix")) {
                if (result.motifs.empty() || !result.motifs.back().shares.empty()) {
                    result.refusal = LineProblem(source, lineNumber, "a letter-probability matrix without its MOTIF line");
                    break;
                }
                const std::size_t colon = line.find(':');
                if (!ReadMatrix(Cells(colon == std::string_view::npos ? std::string_view() : line.substr(colon + 1)),
                                lineNumber))
                    break;
            }
        }
        if (!result.refusal && CheckLastHasMatrix())
            result.refusal = CheckUniqueIds(result.motifs, motifLines, source);
        if (result.refusal)
            result.motifs.clear();
        return std::move(result);
    }
};

}  // namespace

MotifRead ReadMemeMotifs(const std::vector<std::string>& lines, const std::string& source)
{
    return MemeReader{lines, source, {}, {}, 0}.Read();
}

}  // namespace kalvo
