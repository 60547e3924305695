// util/number_text.h: numbers read from text lines, the same way in every input file.
#pragma once
#include <string_view>

namespace kalvo {

// Like C's atoi: leading blanks, a sign, then digits; 0 when there are none.
// Values beyond the int range saturate instead of overflowing.
int ParseLeadingInt(std::string_view text);

// The longest leading decimal number (blanks, sign, digits, point, exponent);
// 0.0 when there is none. "inf", "nan" and hexadecimal forms read 0.0.
double ParseLeadingReal(std::string_view text);

// True when ParseLeadingInt reads the whole text, blanks around it aside,
// without going beyond the int range: "8" but not "8.5", "1e3" or "lots".
bool ReadsWholeAsInt(std::string_view text);

// True when ParseLeadingReal reads the whole text, blanks around it aside, as a finite number.
bool ReadsWholeAsReal(std::string_view text);

}  // namespace kalvo
