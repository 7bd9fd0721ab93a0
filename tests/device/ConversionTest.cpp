#include "device/Encodings.h"
#include "device/Format.h"

#include <gtest/gtest.h>

#include <bit>

using namespace tq::device;

namespace {
constexpr int16_t Binary = 1;
constexpr int16_t TwosComplement = 0;
} // namespace

TEST(VoltsToCode, BinaryCodingAtFullScale10) {
    EXPECT_EQ(VoltsToCode(-10.0f, 10.0f, Binary), 0);
    EXPECT_EQ(VoltsToCode(0.0f, 10.0f, Binary), 32768);
    EXPECT_EQ(VoltsToCode(10.0f, 10.0f, Binary), 65535); // 65536 does not fit
    EXPECT_EQ(VoltsToCode(5.0f, 10.0f, Binary), 49152);
    EXPECT_EQ(VoltsToCode(20.0f, 10.0f, Binary), 65535); // limited to +FS first
    EXPECT_EQ(VoltsToCode(-20.0f, 10.0f, Binary), 0);
}

TEST(VoltsToCode, TwosComplementCoding) {
    EXPECT_EQ(VoltsToCode(10.0f, 10.0f, TwosComplement), 32767);
    EXPECT_EQ(VoltsToCode(-10.0f, 10.0f, TwosComplement), 32768);
    EXPECT_EQ(VoltsToCode(0.0f, 10.0f, TwosComplement), 0);
    EXPECT_EQ(VoltsToCode(-0.0001f, 10.0f, TwosComplement), 65535); // 65535.67 -> 65536
}

TEST(VoltsToCode, HalvesGoToTheEvenCode) {
    // One LSB is 20/65536 V; half an LSB above 0 V lands on 32768.5 -> 32768 and
    // one and a half on 32769.5 -> 32770.
    const float lsb = 20.0f / 65536.0f;
    EXPECT_EQ(VoltsToCode(0.5f * lsb, 10.0f, Binary), 32768);
    EXPECT_EQ(VoltsToCode(1.5f * lsb, 10.0f, Binary), 32770);
}

TEST(CodeToVolts, BinaryRelationAndText) {
    EXPECT_EQ(VoltsText(CodeToVolts(0x8000, 10.0f)), "0.0000");
    EXPECT_EQ(VoltsText(CodeToVolts(0, 10.0f)), "-10.0000");
    EXPECT_EQ(VoltsText(ClampVolts(20.0f, 10.0f)), "10.0000");
    EXPECT_EQ(VoltsText(CodeToVolts(65535, 10.5263f)), "10.5260");
}

TEST(CoarseGain, FullScaleBitPatternsAndUnknownCodes) {
    EXPECT_EQ(std::bit_cast<uint32_t>(RangeFromCoarseCode(0, 1.0f)), 0x41200000u);
    EXPECT_EQ(std::bit_cast<uint32_t>(RangeFromCoarseCode(1, 1.0f)), 0x41241A37u);
    EXPECT_EQ(std::bit_cast<uint32_t>(RangeFromCoarseCode(2, 1.0f)), 0x41286BBAu);
    EXPECT_EQ(RangeFromCoarseCode(3, 10.2564f), 10.2564f);
    EXPECT_EQ(RangeFromCoarseCode(-1, 10.5263f), 10.5263f);
}

TEST(FineGain, CodesLimitsAndHalves) {
    EXPECT_EQ(FineGainToCode(31.4f), 31);
    EXPECT_EQ(FineGainToCode(-32.0f), 32);
    EXPECT_EQ(FineGainToCode(2.5f), 2);
    EXPECT_EQ(FineGainToCode(3.5f), 4);
    EXPECT_EQ(FineGainToCode(-1.5f), 62); // -1.5 + 64 = 62.5 -> 62
    EXPECT_EQ(FineGainToCode(100.0f), 31);
    EXPECT_EQ(FineGainToCode(-100.0f), 32);
    // -0.5 rounds to 0: code 0, never 64 spilling out of the 6-bit field.
    EXPECT_EQ(FineGainToCode(-0.5f), 0);
}

TEST(FineGain, EveryTrimSurvivesTheRoundTrip) {
    for (int32_t g = -32; g <= 31; ++g) {
        const int32_t code = FineGainToCode(static_cast<float>(g));
        ASSERT_GE(code, 0);
        ASSERT_LE(code, 63);
        EXPECT_EQ(CodeToFineGain(code), g);
    }
    EXPECT_EQ(CodeToFineGain(63), -1);
}

TEST(Offset, CodesLimitsAndHalves) {
    EXPECT_EQ(OffsetToCode(15.875f), 127);
    EXPECT_EQ(OffsetToCode(-0.125f), 255);
    EXPECT_EQ(OffsetToCode(-16.0f), 128);
    EXPECT_EQ(OffsetToCode(50.0f), 127);
    EXPECT_EQ(OffsetToCode(-50.0f), 128);
    EXPECT_EQ(OffsetToCode(0.0625f), 0);  // 0.5 -> 0
    EXPECT_EQ(OffsetToCode(0.1875f), 2);  // 1.5 -> 2
    EXPECT_EQ(CodeToOffset(128), -16.0f); // 128 is the most negative offset
    // From -1/16 up to 0 the trim rounds to 256: the code stays in the 8-bit field.
    for (const float x : {-0.0625f, -0.05f, -0.0001f, -0.0f})
        EXPECT_EQ(OffsetToCode(x), 0) << x;
    EXPECT_EQ(OffsetToCode(-0.0626f), 255);
}

TEST(Offset, EveryStepSurvivesTheRoundTrip) {
    for (int32_t eighths = -128; eighths <= 127; ++eighths) {
        const float x = static_cast<float>(eighths) / 8.0f;
        const int32_t code = OffsetToCode(x);
        ASSERT_GE(code, 0);
        ASSERT_LE(code, 255);
        EXPECT_EQ(CodeToOffset(code), x);
    }
}

TEST(DataCodeFromText, HexEntries) {
    const auto ffff = DataCodeFromText("FFFFF", Radix::Hex);
    ASSERT_TRUE(ffff);
    EXPECT_EQ(ffff->code, 65535);
    EXPECT_EQ(ffff->text, "FFFF");
    const auto empty = DataCodeFromText("", Radix::Hex);
    ASSERT_TRUE(empty);
    EXPECT_EQ(empty->code, 0);
    EXPECT_EQ(empty->text, "0000");
    EXPECT_EQ(DataCodeFromText("1a", Radix::Hex)->text, "001A");
    EXPECT_EQ(DataCodeFromText("FFFFFFFF", Radix::Hex)->code, 0); // -1, limited to 0
    EXPECT_EQ(DataCodeFromText("12G", Radix::Hex).error(), ConversionError::Conversion);
    EXPECT_EQ(DataCodeFromText("100000000", Radix::Hex).error(), ConversionError::Overflow);
}

TEST(DataCodeFromText, DecimalEntries) {
    EXPECT_EQ(DataCodeFromText("-5", Radix::Dec)->code, 0);
    EXPECT_EQ(DataCodeFromText("70000", Radix::Dec)->text, "65535");
    EXPECT_EQ(DataCodeFromText("2.5", Radix::Dec)->code, 2);
    EXPECT_EQ(DataCodeFromText("12abc", Radix::Dec)->text, "12");
    EXPECT_EQ(DataCodeFromText("", Radix::Dec)->code, 0);
    EXPECT_EQ(DataCodeFromText("1e99", Radix::Dec).error(), ConversionError::Overflow);
    EXPECT_EQ(DataCodeFromText("3e9", Radix::Dec).error(), ConversionError::Overflow);
}

TEST(FunctionDataFromText, LimitedToSixBits) {
    EXPECT_EQ(FunctionDataFromText("FF", Radix::Hex)->text, "003F");
    EXPECT_EQ(FunctionDataFromText("64", Radix::Dec)->code, 63);
}

TEST(ChangeRadix, BothDirectionsAndBadTexts) {
    EXPECT_EQ(*ChangeRadix("001A", Radix::Dec), "26");
    EXPECT_EQ(*ChangeRadix("FFFFFFFF", Radix::Dec), "-1");
    EXPECT_EQ(*ChangeRadix("26.5", Radix::Hex), "001A");
    EXPECT_EQ(*ChangeRadix("-1", Radix::Hex), "FFFFFFFF");
    EXPECT_EQ(ChangeRadix("", Radix::Dec).error(), ConversionError::Conversion);
    EXPECT_EQ(ChangeRadix("5e10", Radix::Hex).error(), ConversionError::Overflow);
}
