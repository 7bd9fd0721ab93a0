#include "device/Calibration.h"

#include "device/Encodings.h"
#include "device/NumberText.h"
#include "device/RegisterMap.h"
#include "device/Round.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace tq::device {

namespace {
constexpr double TwoPow16 = 65536.0;
constexpr double TwoPow17 = 131072.0;

// The read-back taken as a signed 16-bit value.
Result<int32_t> SignedReadBack(int32_t readBack) {
    if (readBack < std::numeric_limits<int16_t>::min() ||
        readBack > std::numeric_limits<int16_t>::max())
        return ConversionError::Overflow;
    return readBack;
}
} // namespace

Result<OffsetCalibration> CalibrateOffset(int32_t readBack, std::string_view measuredText,
                                          float outputRangeVolts) {
    const Result<int32_t> read = SignedReadBack(readBack);
    if (!read) return read.error();
    const int32_t c = *read > 127 ? *read - 256 : *read;
    const auto present = static_cast<float>(c / 8.0);

    const Result<double> measured = NumberText(measuredText, Blanks::Anywhere);
    if (!measured) return measured.error();
    const Result<float> e = ToSingle(-*measured);
    if (!e) return e.error();
    const double span = 2.0f * outputRangeVolts;
    const Result<float> correction = ToSingle(*e / (span / TwoPow16));
    if (!correction) return correction.error();
    const float wanted = present + *correction;
    if (!std::isfinite(wanted)) return ConversionError::Overflow;

    // The unlimited code tells whether the nearest step lies beyond the register: 0 .. 127
    // for a positive trim, 128 .. 256 for a negative one (256 being a trim that rounds to
    // 0). A value just past a bound that rounds onto it is not a limitation.
    const double unlimited =
        wanted >= 0 ? Round(wanted / 15.875 * 127) : Round((wanted + 16.0f) / 15.875 * 127 + 128);
    const bool limited = wanted >= 0 ? unlimited > 127 : unlimited < 128;
    return OffsetCalibration{OffsetToCode(wanted), wanted, limited};
}

Result<GainCalibration> CalibrateGain(int32_t readBack, std::string_view measuredText,
                                      float outputRangeVolts, PositiveGainCode positive) {
    const Result<int32_t> read = SignedReadBack(readBack);
    if (!read) return read.error();
    const int32_t present = *read > FineGainMax ? *read - 64 : *read;

    const Result<double> measured = NumberText(measuredText, Blanks::Anywhere);
    if (!measured) return measured.error();
    const Result<float> e = ToSingle(static_cast<double>(outputRangeVolts) + *measured);
    if (!e) return e.error();
    const double span = 2.0f * outputRangeVolts;
    const Result<int16_t> correction = RoundToInt16(*e / (span / TwoPow17));
    if (!correction) return correction.error();
    const Result<int16_t> sum = RoundToInt16(static_cast<double>(*correction) + present);
    if (!sum) return sum.error();

    const int32_t wanted = *sum;
    const int32_t r = std::clamp(wanted, FineGainMin, FineGainMax);
    int32_t code = r + 64; // the 6-bit two's complement of a negative r
    if (r >= 0)
        code = positive == PositiveGainCode::Plain
                   ? r
                   : static_cast<int32_t>(Round(static_cast<double>(r) / 32 * 31));
    return GainCalibration{code, wanted, r != wanted};
}

} // namespace tq::device
