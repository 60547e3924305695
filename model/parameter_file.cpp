// model/parameter_file.cpp: LoadParameters, one key or value per line.
#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

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
    const std::string& path = name;  // the name every message gives the parameters

    // Every read starts from the same defaults, whatever the object held before.
    m_priorOdds = -5.0;
    m_bothStrands = true;
    m_corrLevel = 2;
    m_depMoves = 3;
    m_oneSitePerSeq = false;
    m_seedMotif = std::string(kNoSeedMotif);

    m_warnings.clear();
    const std::vector<std::string> lines = SplitLines(text);
    bool pseudocountGiven = false;
    std::string pseudocountText;
    std::size_t next = 0;
    // Values are read exactly as they always were; one read loosely is told, so
    // that a slip ("8.5", "1e3", a key where a value belongs) does not pass unnoticed.
    auto warn = [&](const std::string& what) {
        m_warnings.push_back("parameter file " + Quoted(path) + ", line " + std::to_string(next) + ": " + what);
    };
    // A key's value is the following line whatever it holds; past the end it is empty.
    auto value = [&](const std::string& key) -> std::string {
        if (next >= lines.size())
            return std::string();
        const std::string& line = lines[next++];
        if (IsKey(line))
            warn("\"" + key + "\" takes this line as its value, so \"" + line + "\" here is not read as a key");
        return line;
    };
    auto number = [&](const std::string& key) {
        const std::string given = value(key);
        const int read = ParseLeadingInt(given);
        if (!ReadsWholeAsInt(given) && !IsKey(given))
            warn("\"" + key + "\" value \"" + Shown(given) + "\" is not a whole number; it is read as " +
                 std::to_string(read));
        return read;
    };
    while (next < lines.size()) {
        const std::string& line = lines[next++];
        if (line == "-i") {
            m_inputPath = value(line);
        } else if (line == "-o") {
            m_outputPath = value(line);
        } else if (line == "-b") {
            m_backgroundPath = value(line);
        } else if (line == "-w") {
            m_width = number(line);
        } else if (line == "-n") {
            m_iterations = number(line);
        } else if (line == "-m") {
            m_depMoves = number(line);
        } else if (line == "-c") {
            m_corrLevel = number(line);
        } else if (line == "-e") {
            m_oneSitePerSeq = true;
        } else if (line == "-r") {
            const std::string strands = value(line);
            if (strands == "0")
                m_bothStrands = false;
            else if (strands != "1" && !IsKey(strands) && (!ReadsWholeAsInt(strands) || ParseLeadingInt(strands) == 0))
                warn("\"-r\" value \"" + Shown(strands) + "\" is not exactly 0 or 1; both strands are searched");
        } else if (line == "-s") {
            pseudocountText = value(line);
            if (!ReadsWholeAsReal(pseudocountText) && !IsKey(pseudocountText))
                warn("\"-s\" value \"" + Shown(pseudocountText) + "\" is not a number; it is read as " +
                     FormatReadReal(ParseLeadingReal(pseudocountText)));
            const double x = ParseLeadingReal(pseudocountText);
            m_pseudo = {x, x, x, x};
            m_pseudoTotal = 0.0;
            for (int b = 0; b < 4; ++b)
                m_pseudoTotal += x;
            pseudocountGiven = true;
        } else if (line == "-A") {
            m_seedMotif = value(line);
            if (m_seedMotif != kNoSeedMotif && !PlainSeedWord(m_seedMotif) && !IsKey(m_seedMotif))
                warn("\"-A\" seed word \"" + Shown(m_seedMotif) +
                     "\" holds letters other than A, C, G and T (lower case counts as other); each of them is read as A");
        } else if (line == "-k") {
            m_maskLowComplexity = true;
            m_maskThreshold = 0.9;
            m_maskWindow = 12;
        }
        // Any other line, the repeat count "-N" and its value among them, is skipped.
    }

    if (!pseudocountGiven) {
        m_pseudo = {1.0, 1.0, 1.0, 1.0};
        m_pseudoTotal = 0.0;
        for (int b = 0; b < 4; ++b)
            m_pseudoTotal += 1.0;
    }
    m_givenPseudocount = m_pseudo[0];
    if (m_width < 1)
        return Refusal{"parameter file " + Quoted(path) + ": motif width must be at least 1 (\"-w\" gives " +
                       std::to_string(m_width) + ")"};
    const double x = m_pseudo[0];
    if (!(x > 0.0 && x <= kMaxPseudocount))
        return Refusal{"parameter file " + Quoted(path) + ": pseudocount \"-s\" must be above 0 and at most 1000 (the value line is \"" +
                       Shown(pseudocountText) + "\")"};
    // Appending a report to an input would spoil it: a FASTA file would read
    // the report's site lines as sequences the next time.
    const std::pair<const char*, const std::string*> inputs[] = {
        {"the sequence file \"-i\"", &m_inputPath},
        {"the background file \"-b\"", m_backgroundPath == kNoBackgroundFile ? nullptr : &m_backgroundPath},
        {"the parameter file itself", &m_parameterPath},
    };
    for (const auto& [what, input] : inputs) {
        if (input != nullptr && SameFile(m_outputPath, *input))
            return Refusal{"parameter file " + Quoted(path) + ": the output file \"-o\" " + Quoted(m_outputPath) + " is " +
                           what + "; the report would be appended to an input"};
    }
    return std::nullopt;
}

}  // namespace kalvo
