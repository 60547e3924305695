// util/markup_text.h: text shown in HTML and SVG as text, never read as markup.
#pragma once
#include <string>
#include <string_view>

namespace kalvo {

// Text as the content or a quoted attribute value of HTML or SVG: & < > " and '
// as character references, every other byte as it is.
std::string MarkupEscaped(std::string_view text);

// Text read from an input (a header line, a path, a warning) as page text:
// control characters as blanks, bytes that start no UTF-8 character as U+FFFD,
// at most maxCharacters characters and then an ellipsis, since a header can be
// megabytes long; then escaped as MarkupEscaped does.
std::string MarkupFromInput(std::string_view text, std::size_t maxCharacters = std::string_view::npos);

}  // namespace kalvo
