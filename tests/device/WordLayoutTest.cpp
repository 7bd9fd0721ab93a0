#include "device/RegisterMap.h"

#include <gtest/gtest.h>

using namespace tq::device;

TEST(WordLayout, WordsOfTypicalAccesses) {
    EXPECT_EQ(WordValue(WriteBit, DataRegister, DacA, 0x8000), 0x108000);
    EXPECT_EQ(CommandByte(WriteBit, DataRegister, DacA), 0x10);
    EXPECT_EQ(CommandByte(ReadBit, FunctionRegister, FunctionControlWord), 0x81);
    EXPECT_EQ(WordValue(ReadBit, FunctionRegister, FunctionControlWord, 0x3F), 0x81003F);
    EXPECT_EQ(WordValue(WriteBit, FunctionRegister, FunctionClear, 0), 0x040000);
    EXPECT_EQ(WordValue(WriteBit, FunctionRegister, FunctionLoad, 0), 0x050000);
    EXPECT_EQ(WordValue(WriteBit, OffsetRegister, DacD, 0x80), 0x2B0080);
    EXPECT_EQ(WordValue(InputWord{WriteBit, DataRegister, AllDacs, 0x1234}), 0x141234);
}

TEST(WordLayout, StrayValuesStayInTheirFields) {
    // A data value beyond 16 bits or a code beyond 3 bits must not change another field.
    EXPECT_EQ(WordValue(WriteBit, DataRegister, DacB, 0x1FFFF), 0x11FFFF);
    EXPECT_EQ(CommandByte(WriteBit, 8 + CoarseGainRegister, 8 + DacC), 0x1A);
}

TEST(WordLayout, ListItemsInOrder) {
    ASSERT_EQ(RegisterItems.size(), 5u);
    EXPECT_EQ(RegisterItems[1].text, "Data Register");
    EXPECT_EQ(RegisterItems[1].code, 2);
    EXPECT_EQ(RegisterItems[4].code, 5);
    EXPECT_EQ(AddressItems[4].text, "ALL DACs");
    EXPECT_EQ(AddressItems[4].code, 4);
    EXPECT_EQ(ReadWriteItems[0].text, "Read");
    EXPECT_EQ(ReadWriteItems[0].bit, 1);
    EXPECT_EQ(CoarseGainRanges[1].text, "Output Range = \xC2\xB1 10.2564 V");
}

TEST(WordLayout, FunctionItemsFollowTheReadWord) {
    const auto allSet = FunctionItems(0x3F);
    const std::array<std::string_view, 9> expectedSet{
        "No Operation",         "Local Ground Offset Adjust Disable",
        "Set D1 as Input",      "Set D1",
        "Set D0 as Input",      "Set D0",
        "Enable SDO Output",    "CLEAR All DAC Channels",
        "LOAD All DAC Channels"};
    EXPECT_EQ(allSet, expectedSet);
    const auto noneSet = FunctionItems(0xFFC0); // bits above bit 5 are not control bits
    EXPECT_EQ(noneSet[1], "Local Ground Offset Adjust Enable");
    EXPECT_EQ(noneSet[2], "Set D1 as Output");
    EXPECT_EQ(noneSet[3], "Clear D1");
    EXPECT_EQ(noneSet[6], "Disable SDO Output");
}

TEST(WordLayout, ComposedFunctionBits) {
    EXPECT_EQ(ComposeFunctionBits(1, 0, 0, 0, 0, 1), 0x21);
    EXPECT_EQ(ComposeFunctionBits(1, 1, 1, 1, 1, 1), 0x3F);
    EXPECT_EQ(ComposeFunctionBits(0, 1, 0, 1, 0, 0), D1DirectionMask | D0DirectionMask);
}
