#include "device/Encodings.h"

#include "device/Format.h"
#include "device/NumberText.h"
#include "device/RegisterMap.h"
#include "device/Round.h"

#include <algorithm>
#include <cmath>

namespace tq::device {

namespace {
constexpr double TwoPowN = 65536.0;       // 2^16
constexpr double TwoPowNMinus1 = 32768.0; // 2^15

// A code from an entry under either radix, limited to 0 .. max.
Result<CodeText> CodeFromText(std::string_view text, Radix radix, int32_t max) {
    Result<int32_t> read = ConversionError::Conversion;
    if (radix == Radix::Hex) {
        read = HexTextValue(text.empty() ? std::string_view("0") : text);
    } else {
        const Result<double> number = NumberText(text);
        if (!number) return number.error();
        read = RoundToInt32(*number);
    }
    if (!read) return read.error();
    const int32_t code = std::clamp(*read, int32_t{0}, max);
    return CodeText{code, radix == Radix::Hex ? HexText4(code) : std::to_string(code)};
}
} // namespace

std::string_view RadixText(Radix radix) {
    return radix == Radix::Hex ? "Hex" : "Dec";
}

std::optional<Radix> RadixFromText(std::string_view text) {
    if (text == "Hex") return Radix::Hex;
    if (text == "Dec") return Radix::Dec;
    return std::nullopt;
}

float RangeFromCoarseCode(int32_t code, float current) {
    for (const CoarseGainRange& range : CoarseGainRanges)
        if (range.code == code) return range.fullScaleVolts;
    return current;
}

float ClampVolts(float v, float fs) {
    return v > fs ? fs : (v < -fs ? -fs : v);
}

int32_t VoltsToCode(float v, float fs, int16_t binTwosCompLine) {
    const double volts = ClampVolts(v, fs);
    const double range = fs;
    double code = 0;
    if (binTwosCompLine == 1) {
        code = Round(TwoPowN * (range + volts) / (2.0 * range));
    } else if (volts >= 0) {
        code = std::min(Round(TwoPowNMinus1 * volts / range), TwoPowNMinus1 - 1);
    } else {
        code = Round(TwoPowN + TwoPowNMinus1 * volts / range);
    }
    if (code == TwoPowN) code = TwoPowN - 1;
    // Limited to +-fs, every code is within 0 .. 65536 here (NaN, which compares false
    // everywhere above, ends at 0).
    return std::isnan(code) ? 0 : static_cast<int32_t>(code);
}

float CodeToVolts(int32_t code, float fs) {
    const double range = fs;
    return static_cast<float>(2.0 * range * code / TwoPowN - range);
}

float DataCodeToVolts(int32_t code, float fs, int16_t binTwosCompLine) {
    // Two's complement is the binary code with its top bit inverted.
    return CodeToVolts(binTwosCompLine == 1 ? code : (code & DataMask) ^ 0x8000, fs);
}

double RoundDecimals(double x, int decimals) {
    const double scale = std::pow(10.0, decimals);
    return Round(x * scale) / scale;
}

Result<CodeText> DataCodeFromText(std::string_view text, Radix radix) {
    return CodeFromText(text, radix, DataCodeMax);
}

Result<CodeText> FunctionDataFromText(std::string_view text, Radix radix) {
    return CodeFromText(text, radix, FunctionDataMax);
}

float ClampFineGain(float g) {
    return std::clamp(g, static_cast<float>(FineGainMin), static_cast<float>(FineGainMax));
}

int32_t FineGainToCode(float g) {
    g = ClampFineGain(g);
    if (std::isnan(g)) return 0;
    // Negative trims are rounded as g + 64 in single precision, as always; a trim that
    // rounds to 0 from below (-0.5) gives 64 there, which is 0 in the 6-bit field.
    const double code = g >= 0 ? Round(g) : Round(g + 64.0f);
    return static_cast<int32_t>(code) & FineGainFieldMask;
}

int32_t CodeToFineGain(int32_t r) {
    return r > FineGainMax ? r - 64 : r;
}

float ClampOffset(float x) {
    return std::clamp(x, OffsetMin, OffsetMax);
}

int32_t OffsetToCode(float x) {
    x = ClampOffset(x);
    if (std::isnan(x)) return 0;
    // x + 16 is a single-precision sum; the rest is double.
    const double code = x >= 0 ? Round(x / 15.875 * 127) : Round((x + 16.0f) / 15.875 * 127 + 128);
    // A trim from -1/16 up to 0 rounds to 256, which is 0 in the 8-bit field; unmasked it
    // would set D8, outside the register.
    return static_cast<int32_t>(code) & OffsetFieldMask;
}

float CodeToOffset(int32_t r) {
    return static_cast<float>((r > 127 ? r - 256 : r) / 8.0);
}

Result<std::string> ChangeRadix(std::string_view shown, Radix to) {
    if (to == Radix::Dec) {
        const Result<int32_t> value = HexTextValue(shown);
        if (!value) return value.error();
        return std::to_string(*value);
    }
    const Result<double> number = NumberText(shown);
    if (!number) return number.error();
    const Result<int32_t> value = RoundToInt32(*number);
    if (!value) return value.error();
    return HexText4(*value);
}

} // namespace tq::device
