#include "device/Calibration.h"

#include <gtest/gtest.h>

#include <charconv>

using namespace tq::device;

namespace {
constexpr float R10 = 10.0f;
constexpr auto TQ5802R = PositiveGainCode::Scaled31of32;
constexpr auto TQ5802 = PositiveGainCode::Plain;

// The measured text for a zero-scale output `steps` fine gain steps (20 V / 2^17) above -10 V.
std::string ZeroScalePlus(int steps) {
    char buffer[32];
    const auto end = std::to_chars(buffer, buffer + sizeof buffer, -10 + steps * 20.0 / 131072).ptr;
    return std::string(buffer, end);
}
} // namespace

TEST(OffsetCalibration, CodesFromMeasuredVoltageAndPresentTrim) {
    EXPECT_EQ(CalibrateOffset(0, "0.001", R10)->code, 230); // -3.2768 LSB -> -3.25
    EXPECT_EQ(CalibrateOffset(0, "-0.001", R10)->code, 26);
    EXPECT_EQ(CalibrateOffset(0, "0", R10)->code, 0);
    EXPECT_EQ(CalibrateOffset(0, " 0 .\t00\n1V", R10)->code, 230); // blanks anywhere
    // 0xF8 is -1 LSB: -1 + 3.2768 -> 18 eighths; -1 - 3.2768 -> -34 eighths.
    EXPECT_EQ(CalibrateOffset(0xF8, "-0.001", R10)->code, 18);
    EXPECT_EQ(CalibrateOffset(0xF8, "0.001", R10)->code, 222);
    EXPECT_FALSE(CalibrateOffset(0xF8, "0.001", R10)->limited);
    // A corrected offset just below 0 (-0.033 LSB) is the code 0, not limited.
    EXPECT_EQ(CalibrateOffset(0, "0.00001", R10)->code, 0);
    EXPECT_FALSE(CalibrateOffset(0, "0.00001", R10)->limited);
}

TEST(OffsetCalibration, ResultsBeyondTheRangeAreLimitedAndFlagged) {
    // -15 LSB (0x88) and +10 mV more: -47.8 LSB would wrap to a positive trim.
    const auto low = CalibrateOffset(0x88, "0.01", R10);
    EXPECT_EQ(low->code, 128);
    EXPECT_TRUE(low->limited);
    EXPECT_NEAR(low->wanted, -47.768f, 1e-3);
    EXPECT_EQ(CalibrateOffset(0x7C, "-0.001", R10)->code, 127); // 15.5 + 3.28
    EXPECT_TRUE(CalibrateOffset(0x7C, "-0.001", R10)->limited);
    EXPECT_EQ(CalibrateOffset(0, "1e35", R10)->code, 128);

    // From +15.875: 15.90 still rounds onto the top step; 15.94 would round past it.
    EXPECT_FALSE(CalibrateOffset(0x7F, "-0.0000076", R10)->limited);
    EXPECT_TRUE(CalibrateOffset(0x7F, "-0.00002", R10)->limited);
}

TEST(OffsetCalibration, UnusableInputsAreErrors) {
    EXPECT_EQ(CalibrateOffset(40000, "0", R10).error(), ConversionError::Overflow);
    EXPECT_EQ(CalibrateOffset(0, "1e400", R10).error(), ConversionError::Overflow);
    EXPECT_EQ(CalibrateOffset(0, "1e39", R10).error(), ConversionError::Overflow);
    EXPECT_EQ(CalibrateOffset(0, "1e36", R10).error(), ConversionError::Overflow);
}

TEST(GainCalibration, CodesFromMeasuredZeroScaleAndPresentTrim) {
    EXPECT_EQ(CalibrateGain(0, "-10.001", R10, TQ5802R)->code, 57); // r = -7
    EXPECT_EQ(CalibrateGain(0, "-9.999", R10, TQ5802R)->code, 7);   // 31/32 x 7 = 6.78
    EXPECT_EQ(CalibrateGain(0, "-9.997", R10, TQ5802R)->code, 19);  // 31/32 x 20
    EXPECT_EQ(CalibrateGain(0, "-9.997", R10, TQ5802)->code, 20);
    EXPECT_EQ(CalibrateGain(60, "-9.999", R10, TQ5802R)->code, 3);  // -4 + 7
    EXPECT_EQ(CalibrateGain(5, "- 10.001", R10, TQ5802)->code, 62); // 5 - 7, never scaled
}

TEST(GainCalibration, ResultsBeyondTheRangeAreLimitedAndFlagged) {
    const auto up = CalibrateGain(0, ZeroScalePlus(40), R10, TQ5802R);
    EXPECT_EQ(up->wanted, 40);
    EXPECT_TRUE(up->limited);
    EXPECT_EQ(up->code, 30); // 31 x 31/32
    EXPECT_EQ(CalibrateGain(0, ZeroScalePlus(40), R10, TQ5802)->code, 31);
    const auto down = CalibrateGain(0, ZeroScalePlus(-40), R10, TQ5802R);
    EXPECT_EQ(down->code, 32); // -32, not 24 from -40 + 64
    EXPECT_TRUE(down->limited);
    EXPECT_FALSE(CalibrateGain(0, "-10.001", R10, TQ5802R)->limited);
}

TEST(GainCalibration, SixteenBitOverflowsAndBadReadBacksAreErrors) {
    EXPECT_EQ(CalibrateGain(0, "10", R10, TQ5802R).error(), ConversionError::Overflow);
    EXPECT_EQ(CalibrateGain(0, "-15.1", R10, TQ5802R).error(), ConversionError::Overflow);
    EXPECT_EQ(CalibrateGain(0, "1e400", R10, TQ5802R).error(), ConversionError::Overflow);
    EXPECT_EQ(CalibrateGain(40000, "-10", R10, TQ5802R).error(), ConversionError::Overflow);
    // 32767 steps fit alone, but not with a present trim of 31 added.
    EXPECT_TRUE(CalibrateGain(0, ZeroScalePlus(32767), R10, TQ5802R));
    EXPECT_EQ(CalibrateGain(31, ZeroScalePlus(32767), R10, TQ5802R).error(),
              ConversionError::Overflow);
}
