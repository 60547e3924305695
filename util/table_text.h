// util/table_text.h: numbers and names as Kalvo's tables write them, the same in every locale.
#pragma once
#include <string>
#include <string_view>

namespace kalvo {

// A value in `digits` significant digits, as printf's "%.{digits}g" writes it in the C locale: "3.2e-05", "0.014".
std::string SignificantText(double value, int digits);

// A name as one field of a tab-separated row: tabs and line ends would split it, so they become blanks.
std::string TsvField(std::string_view text);

}  // namespace kalvo
