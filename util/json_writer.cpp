// util/json_writer.cpp: strings, numbers, objects and arrays of Kalvo's JSON documents.
#include "util/json_writer.h"

#include <charconv>
#include <cmath>

#include "util/utf8_text.h"

namespace kalvo {
namespace {

void AppendUnicodeEscape(std::string& out, unsigned code)
{
    static constexpr char kHex[] = "0123456789abcdef";
    out += "\\u";
    for (int shift = 12; shift >= 0; shift -= 4)
        out += kHex[(code >> shift) & 0xFu];
}

// The escape of an ASCII byte inside a JSON string.
void AppendAscii(std::string& out, char c)
{
    switch (c) {
    case '"': out += "\\\""; break;
    case '\\': out += "\\\\"; break;
    case '\n': out += "\\n"; break;
    case '\r': out += "\\r"; break;
    case '\t': out += "\\t"; break;
    default:
        if (static_cast<unsigned char>(c) < 0x20)
            AppendUnicodeEscape(out, static_cast<unsigned char>(c));
        else
            out += c;
    }
}

}  // namespace

std::string JsonString(std::string_view text)
{
    std::string out = "\"";
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t length = Utf8SequenceLength(text.substr(i));
        if (length == 0) {
            AppendUnicodeEscape(out, 0xFFFD);
            ++i;
        } else if (length == 1) {
            AppendAscii(out, text[i++]);
        } else {
            out.append(text.substr(i, length));
            i += length;
        }
    }
    out += '"';
    return out;
}

std::string JsonStringOrNull(std::string_view text) { return text.empty() ? "null" : JsonString(text); }

std::string JsonNumber(double value)
{
    if (!std::isfinite(value))
        return "null";
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

std::string JsonInteger(long long value) { return std::to_string(value); }

std::string JsonBool(bool value) { return value ? "true" : "false"; }

std::string JsonObject(const JsonMembers& members, std::string_view indent)
{
    if (members.empty())
        return "{}";
    std::string out = "{\n";
    for (std::size_t i = 0; i < members.size(); ++i) {
        out.append(indent).append("  ");
        out += JsonString(members[i].first) + ": " + members[i].second + (i + 1 < members.size() ? ",\n" : "\n");
    }
    return out.append(indent) + "}";
}

std::string JsonArray(const std::vector<std::string>& items, std::string_view indent)
{
    if (items.empty())
        return "[]";
    std::string out = "[\n";
    for (std::size_t i = 0; i < items.size(); ++i) {
        out.append(indent).append("  ");
        out += items[i] + (i + 1 < items.size() ? ",\n" : "\n");
    }
    return out.append(indent) + "]";
}

std::string JsonInlineObject(const JsonMembers& members, bool padded)
{
    if (members.empty())
        return "{}";
    std::string out = padded ? "{ " : "{";
    for (std::size_t i = 0; i < members.size(); ++i)
        out += (i == 0 ? "" : ", ") + JsonString(members[i].first) + ": " + members[i].second;
    return out + (padded ? " }" : "}");
}

std::string JsonInlineArray(const std::vector<std::string>& items)
{
    std::string out = "[";
    for (std::size_t i = 0; i < items.size(); ++i)
        out += (i == 0 ? "" : ", ") + items[i];
    return out + "]";
}

}  // namespace kalvo
