#include "device/Round.h"

#include <cmath>
#include <limits>

namespace tq::device {

double Round(double x) {
    const double nearest = std::round(x); // halves away from zero
    if (std::fabs(nearest - x) == 0.5) return 2.0 * std::round(x / 2.0);
    return nearest;
}

namespace {
template <class Int> Result<Int> RoundTo(double x) {
    const double r = Round(x);
    // Compare as doubles: both limits of 16- and 32-bit integers are exact there.
    if (!(r >= static_cast<double>(std::numeric_limits<Int>::min()) &&
          r <= static_cast<double>(std::numeric_limits<Int>::max())))
        return ConversionError::Overflow;
    return static_cast<Int>(r);
}
} // namespace

Result<int32_t> RoundToInt32(double x) {
    return RoundTo<int32_t>(x);
}
Result<int16_t> RoundToInt16(double x) {
    return RoundTo<int16_t>(x);
}

Result<float> ToSingle(double x) {
    if (!(std::fabs(x) <= static_cast<double>(std::numeric_limits<float>::max())))
        return ConversionError::Overflow;
    return static_cast<float>(x);
}

} // namespace tq::device
