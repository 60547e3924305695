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

}  // namespace kalvo
