#include "device/Format.h"
#include "device/NumberText.h"
#include "device/Round.h"

#include <gtest/gtest.h>

using namespace tq::device;

TEST(Round, HalvesToEven) {
    EXPECT_EQ(Round(2.5), 2.0);
    EXPECT_EQ(Round(3.5), 4.0);
    EXPECT_EQ(Round(-0.5), 0.0);
    EXPECT_EQ(Round(-1.5), -2.0);
    EXPECT_EQ(Round(65535.5), 65536.0);
    EXPECT_EQ(Round(2.5000001), 3.0);
}

TEST(Round, NarrowingOverflowsInsteadOfWrapping) {
    EXPECT_EQ(*RoundToInt16(32767.4), 32767);
    EXPECT_EQ(RoundToInt16(32767.5).error(), ConversionError::Overflow); // even is 32768
    EXPECT_EQ(*RoundToInt16(-32768.5), -32768);
    EXPECT_EQ(*RoundToInt32(-2147483648.0), INT32_MIN);
    EXPECT_EQ(RoundToInt32(2147483647.5).error(), ConversionError::Overflow);
    EXPECT_EQ(ToSingle(1e99).error(), ConversionError::Overflow);
    EXPECT_EQ(*ToSingle(-16.0), -16.0f);
}

TEST(NumberText, LeadingNumber) {
    EXPECT_EQ(*NumberText("12abc"), 12.0);
    EXPECT_EQ(*NumberText("abc"), 0.0);
    EXPECT_EQ(*NumberText(" -1.5e1x"), -15.0);
    EXPECT_EQ(*NumberText(""), 0.0);
    EXPECT_EQ(*NumberText("+.5"), 0.5);
    EXPECT_EQ(*NumberText("7."), 7.0);
    EXPECT_EQ(*NumberText("1e"), 1.0); // an exponent needs a digit
    EXPECT_EQ(*NumberText("2E-1V"), 0.2);
    EXPECT_EQ(*NumberText("1 2"), 1.0); // a blank inside ends the number
    EXPECT_EQ(*NumberText("1,5"), 1.0); // the decimal point is always '.'
    EXPECT_EQ(*NumberText("-"), 0.0);
    EXPECT_EQ(*NumberText("1e-400"), 0.0);
    EXPECT_EQ(NumberText("1e400").error(), ConversionError::Overflow);
    EXPECT_EQ(NumberText("-9e99999999999999").error(), ConversionError::Overflow);
}

TEST(NumberText, BlanksAnywhere) {
    EXPECT_EQ(*NumberText(" - 10 .\t0 01\n", Blanks::Anywhere), -10.001);
    EXPECT_EQ(*NumberText("1 2", Blanks::Anywhere), 12.0);
    EXPECT_EQ(*NumberText("\n\nV", Blanks::Anywhere), 0.0);
}

TEST(HexText, Reading) {
    EXPECT_EQ(*HexTextValue("ffff"), 65535);
    EXPECT_EQ(*HexTextValue("FFFFFFFF"), -1);
    EXPECT_EQ(*HexTextValue("80000000"), INT32_MIN);
    EXPECT_EQ(*HexTextValue("000000001"), 1); // leading zeros are not digits of value
    EXPECT_EQ(HexTextValue("").error(), ConversionError::Conversion);
    EXPECT_EQ(HexTextValue("12 ").error(), ConversionError::Conversion);
    EXPECT_EQ(HexTextValue("-1").error(), ConversionError::Conversion);
    EXPECT_EQ(HexTextValue("100000000").error(), ConversionError::Overflow);
    EXPECT_EQ(HexTextValue("FFFFFFFFFFFFFFFFFFFF").error(), ConversionError::Overflow);
    EXPECT_EQ(HexTextValue("FFFFFFFFFX").error(), ConversionError::Conversion);
}

TEST(HexText, Writing) {
    EXPECT_EQ(HexText(0x1A), "1A");
    EXPECT_EQ(HexText(0), "0");
    EXPECT_EQ(HexText(0x81003F), "81003F");
    EXPECT_EQ(HexText4(0x1A), "001A");
    EXPECT_EQ(HexText4(0xABCDE), "ABCDE");
}

TEST(FloatText, ShortestFormUpToSevenDigits) {
    EXPECT_EQ(FloatText(15.875f), "15.875");
    EXPECT_EQ(FloatText(-16.0f), "-16");
    EXPECT_EQ(FloatText(31.4f), "31.4");
    EXPECT_EQ(FloatText(-0.125f), "-0.125");
    EXPECT_EQ(FloatText(10.2564f), "10.2564");
    EXPECT_EQ(FloatText(1.0f / 3.0f), "0.3333333");
    EXPECT_EQ(FloatText(-0.0f), "0");
}

TEST(PatternText, VoltsAndTemperaturePatterns) {
    EXPECT_EQ(PatternText(-0.00001, VoltsPattern), "0.0000"); // no "-0.0000"
    EXPECT_EQ(PatternText(1.23456, VoltsPattern), "1.2346");
    EXPECT_EQ(PatternText(0.25, PinVoltsPattern), ".250");
    EXPECT_EQ(PatternText(0.0, PinVoltsPattern), ".000");
    EXPECT_EQ(PatternText(0.0625, PinVoltsPattern), ".063"); // half away from zero
    EXPECT_EQ(PatternText(4.0f / 4096.0f * 3.29f, PinVoltsPattern), ".003");
    EXPECT_EQ(PatternText(2000.0f / 4096.0f * 3.29f, PinVoltsPattern), "1.606");
    EXPECT_EQ(PatternText(9.9996, PinVoltsPattern), "10.000");
    EXPECT_EQ(PatternText(402.4, TemperaturePattern), "402");
    EXPECT_EQ(PatternText(-255.5, TemperaturePattern), "-256");
    EXPECT_EQ(PatternText(0.5, TemperaturePattern), "1");
    EXPECT_EQ(PatternText(0.085, TemperaturePattern), "");
    EXPECT_EQ(PatternText(-0.4, TemperaturePattern), "");
}
