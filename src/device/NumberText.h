#pragma once
// Reading entries as numbers.
//
// Number text: the leading number of a text. An optional sign, digits, an optional decimal
// point (always '.') with more digits, and an optional exponent (e or E, optional sign,
// digits), up to the first character that cannot continue the number. A text without a
// leading number reads as 0: "12abc" -> 12, "abc" -> 0, " -1.5e1x" -> -15, "1e" -> 1.
//
// Hex text: the text read as the hexadecimal digits of a 32-bit integer.

#include "device/Result.h"

#include <cstdint>
#include <string_view>

namespace tq::device {

enum class Blanks {
    Leading,  // entry boxes: blanks and tabs before the number are skipped
    Anywhere, // calibration entries: blanks, tabs and line feeds anywhere are ignored
};

// The leading number in double precision. Overflow when it is beyond the range of a double
// (a number too small for one reads as 0). Never a Conversion error.
Result<double> NumberText(std::string_view text, Blanks blanks = Blanks::Leading);

// The text as a 32-bit integer of hexadecimal digits (either case, no prefix, sign or
// blanks). Conversion error when empty or not all hex digits; Overflow beyond 32 bits
// (leading zeros do not count). Eight digits with the top bit set are a negative value:
// "FFFFFFFF" -> -1, "80000000" -> -2147483648; shorter texts are never negative.
Result<int32_t> HexTextValue(std::string_view text);

} // namespace tq::device
