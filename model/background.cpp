// model/background.cpp: the first-order background, from a file or from both strands of the input.
#include <cmath>
#include <locale>
#include <sstream>
#include <string>
#include <vector>

#include "model/run_state.h"
#include "util/number_text.h"
#include "util/sequence_text.h"
#include "util/text_lines.h"

namespace kalvo {
namespace {

// Four tab-terminated numbers. A value without its tab reads 0.0 and the
// search for the next tab starts again at the beginning of the line.
std::array<double, 4> ReadBackgroundLine(const std::string& line)
{
    std::array<double, 4> values{};
    std::size_t start = 0;
    for (double& value : values) {
        const std::size_t tab = line.find('\t', start);
        if (tab == std::string::npos) {
            value = 0.0;
            start = 0;
            continue;
        }
        value = ParseLeadingReal(std::string_view(line).substr(start, tab - start));
        start = tab + 1;
    }
    return values;
}

// A value as a message shows it: "0", "-0.5", "inf".
std::string FormatValue(double value)
{
    std::ostringstream text;
    text.imbue(std::locale::classic());
    text << value;
    return text.str();
}

}  // namespace

Outcome CMotifSampler::LoadBackground(const std::string& path)
{
    const auto text = ReadWholeFile(path);
    if (!text)
        return Refusal{"cannot open background file '" + path + "': " + DescribeOpenFailure(path)};
    const std::vector<std::string> lines = SplitLines(*text);
    auto line = [&](std::size_t i) { return i < lines.size() ? lines[i] : std::string(); };
    m_bgFreq = ReadBackgroundLine(line(0));
    for (std::size_t row = 0; row < 4; ++row) {
        const auto values = ReadBackgroundLine(line(row + 1));
        for (std::size_t b = 0; b < 4; ++b)
            m_bgTrans[row * 4 + b] = values[b];
    }
    // A background probability of 0 (a missing line or tab, text, a zero) makes
    // every word through it infinitely likely to be a site, and a report of
    // "inf"; a negative one makes scores meaningless.
    for (std::size_t row = 0; row < 5; ++row) {
        for (std::size_t b = 0; b < 4; ++b) {
            const double value = row == 0 ? m_bgFreq[b] : m_bgTrans[(row - 1) * 4 + b];
            if (value > 0.0 && std::isfinite(value))
                continue;
            const std::string where = "background file '" + path + "', line " + std::to_string(row + 1);
            if (row >= lines.size())
                return Refusal{where + " is missing: the file needs five lines of four values"};
            return Refusal{where + ": value " + std::to_string(b + 1) + " reads as " + FormatValue(value) +
                           ", but each value must be a number above 0 followed by a tab"};
        }
    }
    return std::nullopt;
}

void CMotifSampler::ComputeBackground()
{
    m_bgFreq.fill(0.0);
    m_bgTrans.fill(0.0);
    for (const std::string_view sequence : m_seqs) {
        const std::size_t length = sequence.size();
        for (std::size_t j = 0; j < length; ++j) {
            // Both strands at once: an A is also a T on the other strand.
            const char letter = sequence[j];
            if (letter == 'A' || letter == 'T') {
                m_bgFreq[0] += 1.0;
                m_bgFreq[3] += 1.0;
            } else if (letter == 'C' || letter == 'G') {
                m_bgFreq[1] += 1.0;
                m_bgFreq[2] += 1.0;
            }
            if (j + 1 >= length)
                continue;
            const char following = sequence[j + 1];
            if (letter == 'N' || following == 'N')
                continue;
            m_bgTrans[static_cast<std::size_t>(BaseCode(letter) * 4 + BaseCode(following))] += 1.0;
            const char reverseFirst = ComplementLetter(following);
            const char reverseSecond = ComplementLetter(letter);
            m_bgTrans[static_cast<std::size_t>(BaseCode(reverseFirst) * 4 + BaseCode(reverseSecond))] += 1.0;
        }
    }
    for (std::size_t a = 0; a < 4; ++a) {
        const double divisor = m_bgFreq[a];
        for (std::size_t b = 0; b < 4; ++b) {
            double& entry = m_bgTrans[a * 4 + b];
            // A base never seen gives no transitions to estimate: fall back to uniform.
            entry = divisor == 0.0 ? 0.25 : entry / divisor;
        }
    }
    const double total = m_bgFreq[0] + m_bgFreq[1] + m_bgFreq[2] + m_bgFreq[3];
    for (double& frequency : m_bgFreq)
        frequency = total == 0.0 ? 0.25 : frequency / total;
}

}  // namespace kalvo
