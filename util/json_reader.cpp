// util/json_reader.cpp: a small strict JSON parser, for the documents Kalvo reads back (summary.json).
#include "util/json_reader.h"

#include <charconv>
#include <cmath>
#include <system_error>

namespace kalvo {
namespace {

constexpr int kDeepest = 256;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

class JsonParser {
public:
    explicit JsonParser(std::string_view text) : m_text(text) {}

    JsonParse Parse()
    {
        JsonParse result;
        SkipBlanks();
        if (ReadValue(result.value, 0)) {
            SkipBlanks();
            if (m_pos < m_text.size())
                Fail("text follows the end of the JSON value");
        }
        if (!m_problem.empty()) {
            result.value = JsonValue();
            result.problem = m_problem;
            result.line = m_line;
        }
        return result;
    }

private:
    bool Fail(std::string problem)
    {
        if (m_problem.empty())
            m_problem = std::move(problem);
        return false;
    }

    void SkipBlanks()
    {
        while (m_pos < m_text.size()) {
            const char c = m_text[m_pos];
            if (c == '\n')
                ++m_line;
            else if (c != ' ' && c != '\t' && c != '\r')
                return;
            ++m_pos;
        }
    }

    bool Literal(std::string_view word)
    {
        if (m_text.substr(m_pos, word.size()) != word)
            return Fail("unexpected text where a value should be");
        m_pos += word.size();
        return true;
    }

    bool ReadValue(JsonValue& value, int depth)
    {
        if (m_pos >= m_text.size())
            return Fail("the text ends where a value should be");
        value.line = m_line;
        switch (m_text[m_pos]) {
        case '{':
            return ReadContainer(value, depth + 1, JsonValue::Kind::Object);
        case '[':
            return ReadContainer(value, depth + 1, JsonValue::Kind::Array);
        case '"':
            value.kind = JsonValue::Kind::String;
            return ReadString(value.text);
        case 't':
            value.kind = JsonValue::Kind::Bool;
            value.boolean = true;
            return Literal("true");
        case 'f':
            value.kind = JsonValue::Kind::Bool;
            return Literal("false");
        case 'n':
            return Literal("null");
        default:
            value.kind = JsonValue::Kind::Number;
            return ReadNumber(value.number);
        }
    }

    // An array or an object: its items, and for an object each item's key first.
    bool ReadContainer(JsonValue& value, int depth, JsonValue::Kind kind)
    {
        if (depth > kDeepest)
            return Fail("arrays and objects nest deeper than " + std::to_string(kDeepest) + " levels");
        const bool object = kind == JsonValue::Kind::Object;
        const char closing = object ? '}' : ']';
        value.kind = kind;
        ++m_pos;
        SkipBlanks();
        if (m_pos < m_text.size() && m_text[m_pos] == closing) {
            ++m_pos;
            return true;
        }
        for (;;) {
            if (object && !ReadKey(value.keys.emplace_back()))
                return false;
            value.items.emplace_back();
            if (!ReadValue(value.items.back(), depth) || !AfterItem(closing))
                return false;
            if (m_text[m_pos++] == closing)
                return true;
            SkipBlanks();
        }
    }

    // A member's key and the ':' after it.
    bool ReadKey(std::string& key)
    {
        if (m_pos >= m_text.size() || m_text[m_pos] != '"')
            return Fail("an object's member must start with a quoted key");
        if (!ReadString(key))
            return false;
        SkipBlanks();
        if (m_pos >= m_text.size() || m_text[m_pos] != ':')
            return Fail("a ':' must follow the key \"" + key + "\"");
        ++m_pos;
        SkipBlanks();
        return true;
    }

    // After an item: blanks, then a ',' or the closing bracket, which stays unread.
    bool AfterItem(char closing)
    {
        SkipBlanks();
        if (m_pos >= m_text.size())
            return Fail(std::string("the text ends before the closing '") + closing + "'");
        const char c = m_text[m_pos];
        if (c != ',' && c != closing)
            return Fail(std::string("expected ',' or '") + closing + "'");
        if (c == ',') {
            std::size_t next = m_pos + 1;
            while (next < m_text.size() && (m_text[next] == ' ' || m_text[next] == '\t' || m_text[next] == '\r' ||
                                            m_text[next] == '\n'))
                ++next;
            if (next < m_text.size() && m_text[next] == closing)
                return Fail(std::string("a ',' before '") + closing + "' (a trailing comma)");
        }
        return true;
    }

    bool ReadNumber(double& number)
    {
        const std::size_t start = m_pos;
        auto digits = [&] {
            const std::size_t from = m_pos;
            while (m_pos < m_text.size() && IsDigit(m_text[m_pos]))
                ++m_pos;
            return m_pos > from;
        };
        if (m_pos < m_text.size() && m_text[m_pos] == '-')
            ++m_pos;
        const bool leadingZero = m_pos < m_text.size() && m_text[m_pos] == '0';
        if (!digits())
            return Fail("unexpected text where a value should be");
        if (leadingZero && m_pos - start > (m_text[start] == '-' ? 2u : 1u))
            return Fail("a number starts with 0 and more digits");
        if (m_pos < m_text.size() && m_text[m_pos] == '.') {
            ++m_pos;
            if (!digits())
                return Fail("a number has no digits after its decimal point");
        }
        if (m_pos < m_text.size() && (m_text[m_pos] == 'e' || m_text[m_pos] == 'E')) {
            ++m_pos;
            if (m_pos < m_text.size() && (m_text[m_pos] == '+' || m_text[m_pos] == '-'))
                ++m_pos;
            if (!digits())
                return Fail("a number has no digits in its exponent");
        }
        const auto [end, error] = std::from_chars(m_text.data() + start, m_text.data() + m_pos, number);
        if (error != std::errc() || !std::isfinite(number))
            return Fail("the number " + std::string(m_text.substr(start, m_pos - start)) + " is out of range");
        (void)end;
        return true;
    }

    bool ReadHex4(unsigned& code)
    {
        if (m_pos + 4 > m_text.size())
            return Fail("a \\u escape needs four hexadecimal digits");
        code = 0;
        for (int i = 0; i < 4; ++i) {
            const char c = m_text[m_pos++];
            const int digit = IsDigit(c) ? c - '0' : (c >= 'a' && c <= 'f') ? c - 'a' + 10 : (c >= 'A' && c <= 'F') ? c - 'A' + 10 : -1;
            if (digit < 0)
                return Fail("a \\u escape needs four hexadecimal digits");
            code = code * 16 + static_cast<unsigned>(digit);
        }
        return true;
    }

    static void AppendUtf8(std::string& out, unsigned code)
    {
        if (code < 0x80) {
            out += static_cast<char>(code);
        } else if (code < 0x800) {
            out += static_cast<char>(0xC0 | (code >> 6));
            out += static_cast<char>(0x80 | (code & 0x3F));
        } else if (code < 0x10000) {
            out += static_cast<char>(0xE0 | (code >> 12));
            out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (code & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (code >> 18));
            out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (code & 0x3F));
        }
    }

    bool ReadEscape(std::string& out)
    {
        if (m_pos >= m_text.size())
            return Fail("the text ends inside a string");
        const char c = m_text[m_pos++];
        switch (c) {
        case '"': case '\\': case '/':
            out += c;
            return true;
        case 'b': out += '\b'; return true;
        case 'f': out += '\f'; return true;
        case 'n': out += '\n'; return true;
        case 'r': out += '\r'; return true;
        case 't': out += '\t'; return true;
        case 'u': break;
        default:
            return Fail(std::string("unknown escape \\") + c + " in a string");
        }
        unsigned code = 0;
        if (!ReadHex4(code))
            return false;
        if (code >= 0xD800 && code < 0xDC00 && m_text.substr(m_pos, 2) == "\\u") {
            m_pos += 2;
            unsigned low = 0;
            if (!ReadHex4(low))
                return false;
            if (low < 0xDC00 || low >= 0xE000)
                return Fail("a \\u escape of a surrogate pair lacks its second half");
            code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
        } else if (code >= 0xD800 && code < 0xE000) {
            return Fail("a \\u escape of a surrogate pair lacks its other half");
        }
        AppendUtf8(out, code);
        return true;
    }

    bool ReadString(std::string& out)
    {
        ++m_pos;  // the opening quote
        for (;;) {
            if (m_pos >= m_text.size())
                return Fail("the text ends inside a string");
            const char c = m_text[m_pos++];
            if (c == '"')
                return true;
            if (static_cast<unsigned char>(c) < 0x20)
                return Fail("a string holds a control character (a line break, say) that is not escaped");
            if (c == '\\') {
                if (!ReadEscape(out))
                    return false;
            } else {
                out += c;
            }
        }
    }

    std::string_view m_text;
    std::size_t m_pos = 0;
    int m_line = 1;
    std::string m_problem;
};

}  // namespace

const JsonValue* JsonValue::Find(std::string_view key) const
{
    if (kind != Kind::Object)
        return nullptr;
    for (std::size_t i = 0; i < keys.size(); ++i)
        if (keys[i] == key)
            return &items[i];
    return nullptr;
}

JsonParse ParseJson(std::string_view text)
{
    return JsonParser(text).Parse();
}

}  // namespace kalvo
