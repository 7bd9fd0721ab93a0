#pragma once
// Showing codes and values as text. All output is independent of the C locale: the
// decimal point is always '.'.

#include <cstdint>
#include <string>
#include <string_view>

namespace tq::device {

// Upper-case hex digits without leading zeros: 0x1A -> "1A", 0 -> "0". A negative value
// shows its 32-bit two's complement: -1 -> "FFFFFFFF".
std::string HexText(int32_t value);

// HexText padded on the left to at least 4 digits: 0x1A -> "001A"; longer texts unchanged.
std::string HexText4(int32_t value);

// Shortest decimal form of a 32-bit float with at most 7 significant digits and no trailing
// zeros: 15.875 -> "15.875", -16 -> "-16", 31.4f -> "31.4". Very large or small values use
// an exponent ("1E+07"). Negative zero shows "0".
std::string FloatText(float value);

// Fixed-point text by a display pattern: an integer part of "0" (at least one digit) or "#"
// (no digit when the whole part is 0), then optionally "." and one "0" per decimal.
// Rounds half away from zero on the value's 15-significant-digit decimal form. A value
// that rounds to zero shows no sign.
//   "0.0000": 0 -> "0.0000", -10 -> "-10.0000"
//   "#.000":  0.25 -> ".250", 0 -> ".000"
//   "#":      66.4 -> "66", -255.5 -> "-256", 0.085 -> "" (nothing)
std::string PatternText(double value, std::string_view pattern);

inline constexpr std::string_view VoltsPattern = "0.0000";   // volts entries and readings
inline constexpr std::string_view PinVoltsPattern = "#.000"; // TEMP pin voltage
inline constexpr std::string_view TemperaturePattern = "#";  // degrees Celsius

inline std::string VoltsText(double volts) {
    return PatternText(volts, VoltsPattern);
}

} // namespace tq::device
