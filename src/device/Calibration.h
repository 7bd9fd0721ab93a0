#pragma once
// Two-point calibration of one channel against an external voltmeter: the offset trim from
// the output measured with 0 V loaded, then the fine gain trim from the output measured
// with zero scale (-R) loaded. Each step takes the register's present read-back, the text
// of the measured-voltage entry and the output range R (OutputRangeVolts), and gives the
// register value to write. Nothing here talks to the board.
//
// Results beyond a register's range are limited to it and flagged, so a large correction
// never wraps into the opposite sign or spills into other bits; the panel tells the user,
// for example "The correction of -20.5 LSB is beyond the offset range; -16 LSB was written".
//
// A step that cannot compute a value returns an error (nothing is to be written). The
// offset step's panel shows its own message, for example "The measured voltage could not
// be used"; the gain step's panel shows NegativeNumberExpected.

#include "device/Result.h"

#include <cstdint>
#include <string_view>

namespace tq::device {

// The gain step's message for every failure: the measured zero-scale voltage is far from
// -R (any positive entry is), the text overflows, or the read-back is not a 16-bit value.
inline constexpr std::string_view NegativeNumberExpected = "A negative number is expected";

struct OffsetCalibration {
    int32_t code = 0;     // offset register value to write, 0 .. 255
    float wanted = 0;     // present offset plus correction in LSB, before limiting
    bool limited = false; // the nearest register step to `wanted` was out of range
};

// Offset step. readBack is the offset register as read (a 16-bit value: above 32767 is an
// Overflow error); its low byte is the 8-bit two's complement trim in eighths of an LSB.
// The correction is -(measured volts) / (2R / 65536) LSB, computed and held in single
// precision as the register arithmetic always has; the sum with the present trim goes
// through OffsetToCode (halves to even). Overflow when the measured text or the
// correction is beyond single precision.
Result<OffsetCalibration> CalibrateOffset(int32_t readBack, std::string_view measuredText,
                                          float outputRangeVolts);

// How a positive fine gain result becomes the register value.
enum class PositiveGainCode {
    Scaled31of32, // TQ5802R: Round(r / 32 x 31), so 20 -> 19
    Plain,        // TQ5802: r itself
};

struct GainCalibration {
    int32_t code = 0;     // fine gain register value to write, 0 .. 63
    int32_t wanted = 0;   // present trim plus correction in codes, before limiting
    bool limited = false; // `wanted` was beyond -32 .. +31 and was limited to it
};

// Gain step. readBack is the fine gain register as read (above 32767 is an Overflow error);
// values above 31 are negative trims (r - 64). The deviation e = R + measured volts
// (single precision) becomes Round(e / (2R / 2^17)) codes, half an LSB each; the present
// trim is added. Either integer beyond -32768 .. 32767 is an Overflow error, as is a text
// beyond a double or e beyond a float. The sum is limited to -32 .. +31 before the 6-bit
// code is formed: negative r -> r + 64, positive r by `positive`.
Result<GainCalibration> CalibrateGain(int32_t readBack, std::string_view measuredText,
                                      float outputRangeVolts, PositiveGainCode positive);

} // namespace tq::device
