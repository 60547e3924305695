// discover/known/motif_file.cpp: reading a motif file whole and handing it to the reader of its format.
#include "discover/known/motif_file.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "discover/known/motif_text.h"
#include "util/text_lines.h"

namespace kalvo {
namespace {

namespace fs = std::filesystem;

// The two-letter codes a TRANSFAC entry's lines start with, or the slashes that end an entry.
bool IsTransfacCode(std::string_view word)
{
    constexpr std::string_view kCodes[] = {"AC", "ID", "NA", "DE", "BF", "P0", "PO", "XX", "VV", "CC"};
    if (word.starts_with("//"))
        return true;
    return std::find(std::begin(kCodes), std::end(kCodes), word) != std::end(kCodes);
}

// A row of a bare JASPAR matrix: numbers, perhaps after a row letter and in brackets.
bool IsJasparRow(std::string_view line)
{
    std::string row(line);
    for (char& c : row)
        if (c == '[' || c == ']')
            c = ' ';
    std::vector<std::string_view> cells = Cells(row);
    if (!cells.empty() && (cells[0].size() == 1 || (cells[0].size() == 2 && cells[0][1] == ':')) &&
        std::string_view("ACGTacgt").find(cells[0][0]) != std::string_view::npos)
        cells.erase(cells.begin());
    if (cells.empty())
        return false;
    std::string rest;
    for (std::string_view cell : cells)
        rest += std::string(cell) + " ";
    return AllNumbers(rest);
}

// A HOMER header: ">consensus<TAB>name<TAB>threshold", the threshold a number.
bool IsHomerHeader(std::string_view line)
{
    const std::size_t first = line.find('\t');
    const std::size_t second = first == std::string_view::npos ? first : line.find('\t', first + 1);
    if (second == std::string_view::npos)
        return false;
    const std::size_t third = line.find('\t', second + 1);
    const std::string_view threshold = line.substr(second + 1, third == std::string_view::npos ? third : third - second - 1);
    return AllNumbers(threshold) && Cells(threshold).size() == 1;
}

MotifRead Refused(std::string message)
{
    MotifRead result;
    result.refusal = Refusal{std::move(message)};
    return result;
}

// The motifs of lines of a known format; nothing when the format cannot be told.
std::optional<MotifRead> ReadKnownFormat(const std::vector<std::string>& lines, const std::string& source)
{
    const std::optional<MotifFormat> format = DetectMotifFormat(lines);
    if (!format)
        return std::nullopt;
    MotifRead result;
    switch (*format) {
    case MotifFormat::Meme: result = ReadMemeMotifs(lines, source); break;
    case MotifFormat::Jaspar: result = ReadJasparMotifs(lines, source); break;
    case MotifFormat::Transfac: result = ReadTransfacMotifs(lines, source); break;
    case MotifFormat::Homer: result = ReadHomerMotifs(lines, source); break;
    case MotifFormat::KalvoSummary: {
        std::string text;
        for (const std::string& line : lines)
            text += line + "\n";
        result = ReadSummaryMotifs(text, source);
        break;
    }
    }
    if (!result.refusal && result.motifs.empty())
        return Refused("motif file '" + source + "' holds no motif (read as " +
                       std::string(MotifFormatName(*format)) + ")");
    return result;
}

MotifRead ReadLines(const std::vector<std::string>& lines, const std::string& source)
{
    if (std::optional<MotifRead> read = ReadKnownFormat(lines, source))
        return std::move(*read);
    const bool blank = std::all_of(lines.begin(), lines.end(), [](const std::string& line) { return Trimmed(line).empty(); });
    if (blank)
        return Refused("motif file '" + source + "' is empty");
    return Refused("cannot tell the motif format of '" + source +
                   "': expected MEME, JASPAR, TRANSFAC, HOMER or a Kalvo summary.json");
}

// A file's lines, or the refusal of a file that cannot be opened or is not text.
std::optional<MotifRead> ReadFileLines(const std::string& file, std::vector<std::string>& lines)
{
    LineReader reader(file, TextCheck::RefuseBinary);
    if (!reader.IsOpen())
        return Refused("cannot open motif file '" + file + "': " + DescribeOpenFailure(file));
    for (std::string line; reader.Next(line);)
        lines.push_back(line);
    if (reader.Fault() == TextFault::ForeignText)
        return Refused("motif file '" + file + "' " + reader.FaultText());
    if (reader.Fault() == TextFault::NulByte)
        return Refused("motif file '" + file + "' " + reader.FaultText() + ": it looks like a binary file, not text");
    if (reader.Failed())
        return Refused("cannot read motif file '" + file + "': " + reader.FaultText());
    return std::nullopt;
}

}  // namespace

std::string_view MotifFormatName(MotifFormat format)
{
    switch (format) {
    case MotifFormat::Meme: return "MEME";
    case MotifFormat::Jaspar: return "JASPAR";
    case MotifFormat::Transfac: return "TRANSFAC";
    case MotifFormat::Homer: return "HOMER";
    case MotifFormat::KalvoSummary: return "Kalvo summary.json";
    }
    return "";
}

std::optional<MotifFormat> DetectMotifFormat(const std::vector<std::string>& lines)
{
    // MEME's own text output opens with a banner, so its version line may come later.
    for (const std::string& line : lines)
        if (Trimmed(line).starts_with("MEME version"))
            return MotifFormat::Meme;
    std::size_t first = 0;
    while (first < lines.size() && Trimmed(lines[first]).empty())
        ++first;
    if (first == lines.size())
        return std::nullopt;
    const std::string_view line = Trimmed(lines[first]);
    if (line.front() == '{')
        return MotifFormat::KalvoSummary;
    if (line.front() == '>')
        return IsHomerHeader(line) ? MotifFormat::Homer : MotifFormat::Jaspar;
    if (IsTransfacCode(Cells(line)[0]))
        return MotifFormat::Transfac;
    if (IsJasparRow(line))
        return MotifFormat::Jaspar;
    return std::nullopt;
}

MotifRead ReadMotifText(std::string_view text, const std::string& source)
{
    return ReadLines(SplitLines(text), source);
}

MotifRead ReadMotifFile(const std::string& path)
{
    std::string file = path;
    std::error_code error;
    if (fs::is_directory(path, error)) {
        file = (fs::path(path) / "summary.json").string();
        if (!fs::exists(file, error))
            return Refused("'" + path + "' is a folder without a summary.json: give a motif file or the folder of a "
                           "Kalvo discovery");
    }
    std::vector<std::string> lines;
    if (std::optional<MotifRead> refused = ReadFileLines(file, lines))
        return std::move(*refused);
    return ReadLines(lines, file);
}

std::optional<MotifRead> ReadFolderMotifFile(const std::string& path)
{
    std::vector<std::string> lines;
    if (std::optional<MotifRead> refused = ReadFileLines(path, lines))
        return refused;
    return ReadKnownFormat(lines, path);
}

}  // namespace kalvo
