// util/table_text.cpp: numbers in significant digits and names made safe for a table's row.
#include "util/table_text.h"

#include <charconv>

namespace kalvo {

std::string SignificantText(double value, int digits)
{
    char buffer[48];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, digits);
    return std::string(buffer, result.ptr);
}

std::string TsvField(std::string_view text)
{
    std::string field(text);
    for (char& c : field)
        if (c == '\t' || c == '\n' || c == '\r')
            c = ' ';
    return field;
}

}  // namespace kalvo
