#pragma once
// Turning reals into the integers and single-precision values the registers and the shared
// state hold. Every real-to-integer step of the program is Round: to the nearest integer,
// halves to the even neighbour. A value beyond the target's range is an Overflow error,
// never undefined behaviour.

#include "device/Result.h"

#include <cstdint>

namespace tq::device {

// Nearest integer, halves to even: 2.5 -> 2, 3.5 -> 4, -0.5 -> 0 (as -0.0). Independent of
// the floating-point rounding mode. Infinities and NaN come back unchanged.
double Round(double x);

// Round(x) as a signed 32-bit / 16-bit integer; Overflow when it does not fit (or x is NaN).
Result<int32_t> RoundToInt32(double x);
Result<int16_t> RoundToInt16(double x);

// x held in single precision; Overflow beyond the largest finite float (or NaN).
Result<float> ToSingle(double x);

} // namespace tq::device
