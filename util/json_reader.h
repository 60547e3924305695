// util/json_reader.h: JSON text read back into plain values, strictly, naming the line of the first fault.
#pragma once
#include <string>
#include <string_view>
#include <vector>

namespace kalvo {

// One JSON value. Arrays keep their items in `items`; objects keep their keys
// in `keys` and the values, in the same order, in `items`.
struct JsonValue {
    enum class Kind { Null, Bool, Number, String, Array, Object };
    Kind kind = Kind::Null;
    bool boolean = false;
    double number = 0.0;
    std::string text;               // a string's value, UTF-8
    std::vector<std::string> keys;  // an object's keys
    std::vector<JsonValue> items;   // an array's items or an object's values
    int line = 1;                   // the line the value starts on, for messages

    // The member called `key` (the first, should it be given twice), or nullptr; nullptr for any non-object.
    const JsonValue* Find(std::string_view key) const;
    bool Is(Kind wanted) const { return kind == wanted; }
};

// What ParseJson made of a text: the value, or the problem and the line it was found on.
struct JsonParse {
    JsonValue value;
    std::string problem;  // empty when the text is one well-formed JSON value
    int line = 0;
};

// Reads a whole text as one JSON value (RFC 8259: no comments, no trailing
// commas, no NaN; surrounding white space only). Nesting deeper than 256
// levels is refused rather than followed, so no text can exhaust the stack.
JsonParse ParseJson(std::string_view text);

}  // namespace kalvo
