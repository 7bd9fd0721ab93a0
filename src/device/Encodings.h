#pragma once
// Conversions between what the user enters or reads (volts, data codes, fine gain and offset
// trims) and the register contents. Codes are 16-bit; fs is the full-scale voltage of the
// output range (OutputRangeVolts: 10, 10.2564 or 10.5263).

#include "device/Result.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tq::device {

// How data values are shown and entered (DisplayRadix "Hex" or "Dec").
enum class Radix { Hex, Dec };
std::string_view RadixText(Radix radix);                   // "Hex" / "Dec"
std::optional<Radix> RadixFromText(std::string_view text); // exact "Hex" / "Dec"

// Full scale of a coarse gain code: 0 -> 10, 1 -> 10.2564, 2 -> 10.5263; any other code
// gives `current` back unchanged.
float RangeFromCoarseCode(int32_t code, float current);

// v limited to -fs .. +fs.
float ClampVolts(float v, float fs);

// Data code for a voltage, 0 .. 65535, after limiting v to +-fs. binTwosCompLine 1 is binary
// coding (-fs -> 0, 0 -> 32768), 0 is two's complement (0 -> 0, -fs -> 32768, positive
// codes at most 32767). A result of 65536 becomes 65535.
int32_t VoltsToCode(float v, float fs, int16_t binTwosCompLine);

// Voltage of a data code by the binary relation, whatever the coding:
// 2 x fs x code / 65536 - fs, computed in double and held in single precision.
float CodeToVolts(int32_t code, float fs);

// Voltage of a data code under the given coding (binTwosCompLine 1 binary, 0 two's
// complement): the inverse of VoltsToCode up to its rounding. In two's complement 0 is 0 V
// and 0x8000 is -fs.
float DataCodeToVolts(int32_t code, float fs, int16_t binTwosCompLine);

// x rounded to `decimals` places, halves to even (the volts entry rounds to 5 places).
double RoundDecimals(double x, int decimals);

// A code read from an entry, and the text the entry is rewritten with.
struct CodeText {
    int32_t code = 0;
    std::string text;
};

// Data register entry as a code, limited to 0 .. 65535.
// Hex: an empty text reads as "0"; the text is read as hex text; rewritten as HexText4.
// Dec: Round(number text) as a 32-bit integer; rewritten as the decimal code.
// Errors: Conversion for a non-hex text under Hex; Overflow for a value beyond 32 bits.
Result<CodeText> DataCodeFromText(std::string_view text, Radix radix);

// The same for the function register data entry, limited to 0 .. 63.
Result<CodeText> FunctionDataFromText(std::string_view text, Radix radix);

// Fine gain register value for a trim g, after limiting g to -32 .. +31: the 6-bit two's
// complement of the rounded trim, always 0 .. 63 (31.4 -> 31, 2.5 -> 2, -32 -> 32,
// -1 -> 63, -0.5 -> 0).
int32_t FineGainToCode(float g);

// Fine gain trim of a register value: r - 64 when r > 31, else r.
int32_t CodeToFineGain(int32_t r);

// g limited to the fine gain range -32 .. +31.
float ClampFineGain(float g);

// Offset register value for a trim x in LSB, after limiting x to -16 .. +15.875: the 8-bit
// two's complement of x x 8, always 0 .. 255 (15.875 -> 127, -0.125 -> 255, -16 -> 128,
// -0.0625 -> 0).
int32_t OffsetToCode(float x);

// Offset trim of a register value: (r - 256 when r > 127, else r) / 8.
float CodeToOffset(int32_t r);

// x limited to the offset range -16 .. +15.875.
float ClampOffset(float x);

// The radix button's rewrite of a shown value.
// To Dec: the decimal value of the text read as hex text ("FFFFFFFF" -> "-1").
// To Hex: HexText4 of Round(number text).
// Errors as for DataCodeFromText; the caller keeps the old text.
Result<std::string> ChangeRadix(std::string_view shown, Radix to);

} // namespace tq::device
