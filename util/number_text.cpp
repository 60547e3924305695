// util/number_text.cpp: locale-independent leading-number parsing.
#include "util/number_text.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cmath>
#include <limits>

namespace kalvo {
namespace {

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The leading integer of a text as atoi reads it: after blanks, a sign and
// digits; the magnitude held at INT_MAX + 2 at most, so it never overflows and
// a value just beyond either end of the int range still shows as beyond it.
struct IntSpan {
    std::size_t digitsStart = 0;
    std::size_t end = 0;  // one past the last digit
    bool negative = false;
    long long magnitude = 0;
};

IntSpan ScanLeadingInt(std::string_view text)
{
    IntSpan span;
    std::size_t i = 0;
    while (i < text.size() && IsBlank(text[i]))
        ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        span.negative = text[i++] == '-';
    span.digitsStart = i;
    for (; i < text.size() && IsDigit(text[i]); ++i)
        span.magnitude = std::min(span.magnitude * 10 + (text[i] - '0'), static_cast<long long>(INT_MAX) + 2);
    span.end = i;
    return span;
}

}  // namespace

int ParseLeadingInt(std::string_view text)
{
    const IntSpan span = ScanLeadingInt(text);
    const long long value = span.negative ? -span.magnitude : span.magnitude;
    if (value > INT_MAX)
        return INT_MAX;
    if (value < INT_MIN)
        return INT_MIN;
    return static_cast<int>(value);
}

namespace {

// Where the leading decimal number of a text lies: after blanks and a sign,
// digits with an optional point, and an exponent only when digits follow it.
struct RealSpan {
    std::size_t start = 0;  // first digit or point
    std::size_t end = 0;    // one past the number; start when there is none
    bool negative = false;
};

RealSpan ScanLeadingReal(std::string_view text)
{
    RealSpan span;
    std::size_t i = 0;
    while (i < text.size() && IsBlank(text[i]))
        ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        span.negative = text[i++] == '-';
    span.start = span.end = i;
    std::size_t digits = 0;
    while (i < text.size() && IsDigit(text[i])) {
        ++i;
        ++digits;
    }
    if (i < text.size() && text[i] == '.') {
        ++i;
        while (i < text.size() && IsDigit(text[i])) {
            ++i;
            ++digits;
        }
    }
    if (digits == 0)
        return span;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        std::size_t j = i + 1;
        if (j < text.size() && (text[j] == '+' || text[j] == '-'))
            ++j;
        if (j < text.size() && IsDigit(text[j])) {
            while (j < text.size() && IsDigit(text[j]))
                ++j;
            i = j;
        }
    }
    span.end = i;
    return span;
}

// True when only blanks follow position `from`.
bool OnlyBlanksFrom(std::string_view text, std::size_t from)
{
    for (std::size_t i = from; i < text.size(); ++i)
        if (!IsBlank(text[i]))
            return false;
    return true;
}

}  // namespace

bool ReadsWholeAsInt(std::string_view text)
{
    // A value beyond the int range is read as the nearest end of it: not whole.
    const IntSpan span = ScanLeadingInt(text);
    const long long limit = span.negative ? static_cast<long long>(INT_MAX) + 1 : INT_MAX;
    return span.end > span.digitsStart && OnlyBlanksFrom(text, span.end) && span.magnitude <= limit;
}

bool ReadsWholeAsReal(std::string_view text)
{
    const RealSpan span = ScanLeadingReal(text);
    return span.end > span.start && OnlyBlanksFrom(text, span.end) && std::isfinite(ParseLeadingReal(text));
}

double ParseLeadingReal(std::string_view text)
{
    const RealSpan span = ScanLeadingReal(text);
    if (span.end == span.start)
        return 0.0;
    const bool negative = span.negative;
    const std::size_t start = span.start;
    const std::size_t i = span.end;
    double value = 0.0;
    const char* first = text.data() + start;
    const char* last = text.data() + i;
    const auto result = std::from_chars(first, last, value, std::chars_format::general);
    if (result.ec == std::errc::result_out_of_range) {
        // Overflow or underflow: a non-negative exponent, or without one a
        // non-zero digit before the point, means the number is too large.
        bool huge = false;
        bool exponent = false;
        for (const char* p = first; p < last && !exponent; ++p) {
            if (*p == 'e' || *p == 'E') {
                exponent = true;
                huge = p + 1 < last && p[1] != '-';
            }
        }
        for (const char* p = first; p < last && !exponent && *p != '.'; ++p)
            huge = huge || (*p >= '1' && *p <= '9');
        value = huge ? std::numeric_limits<double>::infinity() : 0.0;
    }
    return negative ? -value : value;
}

}  // namespace kalvo
