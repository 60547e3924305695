// model/parameter_file.cpp: LoadParameters, one key or value per line.
#include <filesystem>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "model/run_state.h"
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

// True when both names lead to one file, or are spelled alike.
bool SameFile(const std::string& a, const std::string& b)
{
    if (a.empty() || b.empty())
        return false;
    std::error_code ec;
    return a == b || std::filesystem::equivalent(a, b, ec);
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

    const std::vector<std::string> lines = SplitLines(text);
    bool pseudocountGiven = false;
    std::string pseudocountText;
    std::size_t next = 0;
    // A key's value is the following line whatever it holds; past the end it is empty.
    auto value = [&]() -> std::string {
        return next < lines.size() ? lines[next++] : std::string();
    };
    while (next < lines.size()) {
        const std::string& line = lines[next++];
        if (line == "-i") {
            m_inputPath = value();
        } else if (line == "-o") {
            m_outputPath = value();
        } else if (line == "-b") {
            m_backgroundPath = value();
        } else if (line == "-w") {
            m_width = ParseLeadingInt(value());
        } else if (line == "-n") {
            m_iterations = ParseLeadingInt(value());
        } else if (line == "-m") {
            m_depMoves = ParseLeadingInt(value());
        } else if (line == "-c") {
            m_corrLevel = ParseLeadingInt(value());
        } else if (line == "-e") {
            m_oneSitePerSeq = true;
        } else if (line == "-r") {
            if (value() == "0")
                m_bothStrands = false;
        } else if (line == "-s") {
            pseudocountText = value();
            const double x = ParseLeadingReal(pseudocountText);
            m_pseudo = {x, x, x, x};
            m_pseudoTotal = 0.0;
            for (int b = 0; b < 4; ++b)
                m_pseudoTotal += x;
            pseudocountGiven = true;
        } else if (line == "-A") {
            m_seedMotif = value();
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
