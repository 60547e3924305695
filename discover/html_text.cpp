// discover/html_text.cpp: the small pieces of page text the sections and figures of the page share.
#include "discover/html_text.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

#include "discover/fisher.h"
#include "report/formats.h"
#include "util/markup_text.h"

namespace kalvo::html {

std::string Href(std::string_view path)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (const char c : path) {
        const auto u = static_cast<unsigned char>(c);
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
            std::string_view("-._~/").find(c) != std::string_view::npos) {
            out += c;
        } else {
            out += '%';
            out += kHex[u >> 4];
            out += kHex[u & 15];
        }
    }
    return out;
}

std::string Link(std::string_view path, const std::string& html) { return "<a href=\"" + Href(path) + "\">" + html + "</a>"; }

std::string Count(long long value)
{
    std::string digits = std::to_string(value);
    const std::ptrdiff_t sign = value < 0 ? 1 : 0;
    for (auto i = static_cast<std::ptrdiff_t>(digits.size()) - 3; i > sign; i -= 3)
        digits.insert(static_cast<std::size_t>(i), 1, ',');
    return digits;
}

std::string Counted(long long value, const std::string& word)
{
    return Count(value) + " " + word + (value == 1 ? "" : "s");
}

std::string Percent(long long part, long long whole)
{
    return whole > 0 ? FixedText(100.0 * static_cast<double>(part) / static_cast<double>(whole), 0) + "%" : "&ndash;";
}

std::string ScientificHtml(double log10Value)
{
    const std::string text = FormatEValue(log10Value);
    const std::size_t e = text.find('e');
    if (e == std::string::npos)
        return MarkupFromInput(text);
    const std::string mantissa = text.substr(0, e);
    std::string exponent = text.substr(e + 1);
    const bool negative = !exponent.empty() && exponent.front() == '-';
    if (!exponent.empty() && (exponent.front() == '-' || exponent.front() == '+'))
        exponent.erase(0, 1);
    exponent.erase(0, std::min(exponent.find_first_not_of('0'), exponent.size() - 1));
    if (exponent == "0")
        return mantissa;
    return mantissa + "&thinsp;&times;&thinsp;10<sup>" + (negative ? "&minus;" : "") + exponent + "</sup>";
}

std::string OffsetText(double value)
{
    const int decimals = value == std::floor(value) ? 0 : 1;
    return value < 0 ? "&minus;" + FixedText(-value, decimals) : FixedText(value, decimals);
}

std::string SeqName(const Discovery& discovery, int seqIndex)
{
    const auto index = static_cast<std::size_t>(seqIndex);
    return seqIndex >= 0 && index < discovery.targetNames.size() ? discovery.targetNames[index]
                                                                 : "sequence " + std::to_string(seqIndex + 1);
}

}  // namespace kalvo::html
