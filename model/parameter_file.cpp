// model/parameter_file.cpp: LoadParameters, one key or value per line.
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "model/parameter_limits.h"
#include "model/run_state.h"
#include "util/file_identity.h"
#include "util/number_text.h"
#include "util/text_lines.h"

namespace kalvo {
namespace {

// Pseudocounts outside (0, 1000] make the model divide 0 by 0 or overflow the
// integer pseudocounts of the Dirichlet terms.
constexpr double kMaxPseudocount = 1000.0;

std::string Quoted(const std::string& path) { return "'" + path + "'"; }

// A value line as a message shows it: control bytes as '?', and a very long
// line cut short, so that one bad line still gives one readable message.
std::string Shown(const std::string& line)
{
    constexpr std::size_t kLongest = 60;
    std::string shown = line.size() > kLongest ? line.substr(0, kLongest) + "..." : line;
    for (char& c : shown) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
            c = '?';
    }
    return shown;
}

// A real as a warning shows what was read: "0.5", "1e-07", "0".
std::string FormatReadReal(double x)
{
    char text[32];
    std::snprintf(text, sizeof text, "%g", x);
    return text;
}

// The lines that are keys of a parameter file.
bool IsKey(const std::string& line)
{
    static constexpr std::string_view kKeys[] = {"-i", "-o", "-b", "-w", "-n", "-m", "-c",
                                                 "-e", "-r", "-s", "-A", "-k", "-N"};
    for (std::string_view key : kKeys)
        if (line == key)
            return true;
    return false;
}

// True for a seed word of the four upper-case letters only.
bool PlainSeedWord(const std::string& word)
{
    return word.find_first_not_of("ACGT") == std::string::npos;
}

// The lines of a parameter file read in order, each key taking the line after
// it as its value. Values are read exactly as they always were; one read
// loosely is told, so that a slip ("8.5", "1e3", a key where a value belongs)
// does not pass unnoticed.
class ParameterLines {
public:
    ParameterLines(std::string_view text, const std::string& path, std::vector<std::string>& warnings)
        : m_lines(SplitLines(text)), m_path(path), m_warnings(warnings)
    {
    }

    bool AtEnd() const { return m_next >= m_lines.size(); }
    const std::string& NextLine() { return m_lines[m_next++]; }

    // A warning about the line read last, numbered from 1.
    void Warn(const std::string& what)
    {
        m_warnings.push_back("parameter file " + Quoted(m_path) + ", line " + std::to_string(m_next) + ": " + what);
    }

    // A key's value is the following line whatever it holds; past the end it is empty.
    std::string Value(const std::string& key)
    {
        if (AtEnd())
            return std::string();
        const std::string& line = NextLine();
        if (IsKey(line))
            Warn("\"" + key + "\" takes this line as its value, so \"" + line + "\" here is not read as a key");
        return line;
    }

    // A value read as a whole number, like atoi.
    int Number(const std::string& key)
    {
        const std::string given = Value(key);
        const int read = ParseLeadingInt(given);
        if (!ReadsWholeAsInt(given) && !IsKey(given))
            Warn("\"" + key + "\" value \"" + Shown(given) + "\" is not a whole number; it is read as " +
                 std::to_string(read));
        return read;
    }

private:
    const std::vector<std::string> m_lines;
    std::size_t m_next = 0;
    const std::string& m_path;  // the name every message gives the parameters
    std::vector<std::string>& m_warnings;
};

// Every read starts from the same defaults, whatever the object held before.
void SetReadDefaults(CMotifSampler& run)
{
    run.m_priorOdds = -5.0;
    run.m_bothStrands = true;
    run.m_corrLevel = 2;
    run.m_depMoves = 3;
    run.m_oneSitePerSeq = false;
    run.m_seedMotif = std::string(kNoSeedMotif);
}

// "-r": only exactly 0 limits the search to the given strand.
void ReadStrands(CMotifSampler& run, ParameterLines& lines, const std::string& key)
{
    const std::string strands = lines.Value(key);
    if (strands == "0")
        run.m_bothStrands = false;
    else if (strands != "1" && !IsKey(strands) && (!ReadsWholeAsInt(strands) || ParseLeadingInt(strands) == 0))
        lines.Warn("\"-r\" value \"" + Shown(strands) + "\" is not exactly 0 or 1; both strands are searched");
}

// "-s": the same pseudocount for each of the four letters; returns its value line.
std::string ReadPseudocount(CMotifSampler& run, ParameterLines& lines, const std::string& key)
{
    std::string text = lines.Value(key);
    if (!ReadsWholeAsReal(text) && !IsKey(text))
        lines.Warn("\"-s\" value \"" + Shown(text) + "\" is not a number; it is read as " +
                   FormatReadReal(ParseLeadingReal(text)));
    const double x = ParseLeadingReal(text);
    run.m_pseudo = {x, x, x, x};
    run.m_pseudoTotal = 0.0;
    for (int b = 0; b < 4; ++b)
        run.m_pseudoTotal += x;
    return text;
}

// "-A": the word the motif starts from.
void ReadSeedWord(CMotifSampler& run, ParameterLines& lines, const std::string& key)
{
    run.m_seedMotif = lines.Value(key);
    if (run.m_seedMotif != kNoSeedMotif && !PlainSeedWord(run.m_seedMotif) && !IsKey(run.m_seedMotif))
        lines.Warn("\"-A\" seed word \"" + Shown(run.m_seedMotif) +
                   "\" holds letters other than A, C, G and T (lower case counts as other); each of them is read as A");
}

// The keys whose value is a path, and those whose value is a whole number.
constexpr std::pair<std::string_view, std::string CMotifSampler::*> kPathKeys[] = {
    {"-i", &CMotifSampler::m_inputPath},
    {"-o", &CMotifSampler::m_outputPath},
    {"-b", &CMotifSampler::m_backgroundPath},
};
constexpr std::pair<std::string_view, int CMotifSampler::*> kNumberKeys[] = {
    {"-w", &CMotifSampler::m_width},
    {"-n", &CMotifSampler::m_iterations},
    {"-m", &CMotifSampler::m_depMoves},
    {"-c", &CMotifSampler::m_corrLevel},
};

// Reads the next line and, when it is a key, its value line.
void ReadKeyLine(CMotifSampler& run, ParameterLines& lines, std::optional<std::string>& pseudocountText)
{
    const std::string& line = lines.NextLine();
    for (const auto& [key, field] : kPathKeys) {
        if (line == key) {
            run.*field = lines.Value(line);
            return;
        }
    }
    for (const auto& [key, field] : kNumberKeys) {
        if (line == key) {
            run.*field = lines.Number(line);
            return;
        }
    }
    if (line == "-e") {
        run.m_oneSitePerSeq = true;
    } else if (line == "-r") {
        ReadStrands(run, lines, line);
    } else if (line == "-s") {
        pseudocountText = ReadPseudocount(run, lines, line);
    } else if (line == "-A") {
        ReadSeedWord(run, lines, line);
    } else if (line == "-k") {
        run.m_maskLowComplexity = true;
        run.m_maskThreshold = 0.9;
        run.m_maskWindow = 12;
    }
    // Any other line, the repeat count "-N" and its value among them, is skipped.
}

// Refuses counts that would keep one run going for days or months: a slip
// such as "-m 2147483647" would otherwise start a run that never ends.
Outcome CheckCounts(const CMotifSampler& run, const std::string& path)
{
    auto above = [&](const char* what, const char* key, int most, int given) {
        return Refusal{"parameter file " + Quoted(path) + ": " + what + " \"" + key + "\" must be at most " +
                       std::to_string(most) + " (\"" + key + "\" gives " + std::to_string(given) + ")"};
    };
    if (run.m_iterations > kMostIterations)
        return above("iterations", "-n", kMostIterations, run.m_iterations);
    // Without correlated columns no move is made, whatever "-m" says.
    if (run.m_corrLevel >= 2 && run.m_depMoves > kMostMoves)
        return above("correlated moves per iteration", "-m", kMostMoves, run.m_depMoves);
    return std::nullopt;
}

// Refuses what no run can start from: a width below 1, a count that would
// never end, a pseudocount out of range, or an output file that is one of the run's inputs.
Outcome CheckParameters(const CMotifSampler& run, const std::string& path, const std::string& pseudocountText)
{
    if (run.m_width < 1)
        return Refusal{"parameter file " + Quoted(path) + ": motif width must be at least 1 (\"-w\" gives " +
                       std::to_string(run.m_width) + ")"};
    if (auto refusal = CheckCounts(run, path))
        return refusal;
    const double x = run.m_pseudo[0];
    if (!(x > 0.0 && x <= kMaxPseudocount))
        return Refusal{"parameter file " + Quoted(path) + ": pseudocount \"-s\" must be above 0 and at most 1000 (the value line is \"" +
                       Shown(pseudocountText) + "\")"};
    // Appending a report to an input would spoil it: a FASTA file would read
    // the report's site lines as sequences the next time.
    const std::pair<const char*, const std::string*> inputs[] = {
        {"the sequence file \"-i\"", &run.m_inputPath},
        {"the background file \"-b\"", run.m_backgroundPath == kNoBackgroundFile ? nullptr : &run.m_backgroundPath},
        {"the parameter file itself", &run.m_parameterPath},
    };
    for (const auto& [what, input] : inputs) {
        if (input != nullptr && SameFile(run.m_outputPath, *input))
            return Refusal{"parameter file " + Quoted(path) + ": the output file \"-o\" " + Quoted(run.m_outputPath) +
                           " is " + what + "; the report would be appended to an input"};
    }
    return std::nullopt;
}

}  // namespace

Outcome CMotifSampler::LoadParameters(const std::string& path)
{
    m_parameterPath = path;
    const auto text = ReadWholeFile(path);
    if (!text)
        return Refusal{"cannot open parameter file " + Quoted(path) + ": " + DescribeOpenFailure(path)};
    return LoadParametersText(*text, path);
}

Outcome CMotifSampler::LoadParametersText(std::string_view text, const std::string& name)
{
    m_parameterPath = name;
    SetReadDefaults(*this);
    m_warnings.clear();
    ParameterLines lines(text, name, m_warnings);
    std::optional<std::string> pseudocountText;  // the value line of the last "-s"
    while (!lines.AtEnd())
        ReadKeyLine(*this, lines, pseudocountText);
    if (!pseudocountText) {
        m_pseudo = {1.0, 1.0, 1.0, 1.0};
        m_pseudoTotal = 0.0;
        for (int b = 0; b < 4; ++b)
            m_pseudoTotal += 1.0;
    }
    m_givenPseudocount = m_pseudo[0];
    return CheckParameters(*this, name, pseudocountText.value_or(std::string()));
}

}  // namespace kalvo
