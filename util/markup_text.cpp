// util/markup_text.cpp: one escaper for the logos and the page of a discovery.
#include "util/markup_text.h"

#include "util/utf8_text.h"

namespace kalvo {

std::string MarkupEscaped(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&#39;"; break;
        default: out += c;
        }
    }
    return out;
}

std::string MarkupFromInput(std::string_view text, std::size_t maxCharacters)
{
    std::string clean;
    std::size_t characters = 0;
    for (std::size_t i = 0; i < text.size(); ++characters) {
        if (characters == maxCharacters) {
            clean += "\xE2\x80\xA6";  // U+2026, an ellipsis
            break;
        }
        const std::size_t length = Utf8SequenceLength(text.substr(i));
        if (length == 0) {
            clean += kUtf8Replacement;
            ++i;
        } else if (length == 1) {
            const char c = text[i++];
            clean += static_cast<unsigned char>(c) < 0x20 || c == 0x7F ? ' ' : c;
        } else {
            clean.append(text.substr(i, length));
            i += length;
        }
    }
    return MarkupEscaped(clean);
}

}  // namespace kalvo
