// util/json_writer.h: JSON documents composed as text, in the one layout every Kalvo document has.
// Values are JSON text; objects and arrays either take one line or put each
// member on a line of its own, indented two blanks a level.
#pragma once
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kalvo {

// A JSON string. Text is bytes as read (headers, paths): a byte that starts no
// well-formed UTF-8 character becomes U+FFFD, so the document always parses.
std::string JsonString(std::string_view text);

// A JSON string, or null for empty text (a setting that was not given).
std::string JsonStringOrNull(std::string_view text);

// The shortest text that reads back as the same double; null for NaN and infinities.
std::string JsonNumber(double value);

std::string JsonInteger(long long value);

std::string JsonBool(bool value);

// An object's members in writing order: each key with the JSON text of its value.
using JsonMembers = std::vector<std::pair<std::string, std::string>>;

// An object with one member a line; indent is that of the line with the closing brace. {} when empty.
std::string JsonObject(const JsonMembers& members, std::string_view indent);

// An array with one item a line, indented as JsonObject. [] when empty.
std::string JsonArray(const std::vector<std::string>& items, std::string_view indent);

// An object on one line, {"a": 1, "b": 2}; padded puts blanks inside the braces, { "a": 1 }.
std::string JsonInlineObject(const JsonMembers& members, bool padded = false);

// An array on one line: [1, 2, 3].
std::string JsonInlineArray(const std::vector<std::string>& items);

// An array on one line of each value as format writes it.
template <typename Range, typename Format>
std::string JsonInlineArray(const Range& values, Format format)
{
    std::vector<std::string> items;
    for (const auto& value : values)
        items.push_back(format(value));
    return JsonInlineArray(items);
}

}  // namespace kalvo
