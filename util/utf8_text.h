// util/utf8_text.h: where well-formed UTF-8 starts and ends in bytes read from an input.
#pragma once
#include <cstddef>
#include <string_view>

namespace kalvo {

// Bytes in the well-formed UTF-8 character that starts text: 1 for ASCII, up to 4;
// 0 for empty text and for a byte that starts none (a stray continuation byte, an
// overlong form, a UTF-16 surrogate, a code point past U+10FFFF, a cut-off sequence).
std::size_t Utf8SequenceLength(std::string_view text);

// The replacement character U+FFFD in UTF-8, for a byte that starts no character.
inline constexpr std::string_view kUtf8Replacement = "\xEF\xBF\xBD";

}  // namespace kalvo
