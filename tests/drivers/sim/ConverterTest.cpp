#include "drivers/sim/Converter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>

namespace tq::sim {
namespace {

constexpr uint32_t word(bool read, uint8_t reg, uint8_t addr, uint16_t data = 0) {
    return (read ? 0x800000u : 0u) | uint32_t{reg} << 19 | uint32_t{addr} << 16 | data;
}

// A read the way the board layer does it: the same read frame twice, the second answer kept.
uint32_t readTwice(Converter& c, uint8_t reg, uint8_t addr) {
    c.frame(word(true, reg, addr));
    return c.frame(word(true, reg, addr));
}

constexpr double kLsb10 = 20.0 / 65536.0;

TEST(Converter, ReadbackComesInTheFollowingFrame) {
    Converter c;
    c.frame(word(false, kRegData, 1, 0x1234));
    c.frame(word(false, kRegOffset, 2, 0x80));
    // The first read frame shifts out the word before it, unchanged.
    EXPECT_EQ(c.frame(word(true, kRegData, 1)), 0x2A0080u);
    // The second shifts out the first read: its command byte and the register.
    EXPECT_EQ(c.frame(word(true, kRegOffset, 2)), 0x911234u);
    // And any frame after a read gets that read's answer, even a write.
    EXPECT_EQ(c.frame(word(false, kRegFunction, kFuncNop)), 0xAA0080u);
    EXPECT_EQ(c.frame(word(false, kRegFunction, kFuncNop)), 0x000000u);
}

TEST(Converter, RegistersKeepTheirWidthAndAllDacsWritesEveryChannel) {
    Converter c;
    c.frame(word(false, kRegData, kAddrAllDacs, 0x1234));
    c.frame(word(false, kRegCoarseGain, kAddrAllDacs, 0xFFFE));
    c.frame(word(false, kRegFineGain, 3, 0xFFFF));
    c.frame(word(false, kRegOffset, 3, 0x1FF));
    for (int ch = 0; ch < kChannels; ++ch) {
        EXPECT_EQ(c.channel(ch).input, 0x1234) << ch;
        EXPECT_EQ(c.channel(ch).coarse, 2) << ch;
    }
    EXPECT_EQ(readTwice(c, kRegFineGain, 3), 0xA3003Fu);
    EXPECT_EQ(readTwice(c, kRegOffset, 3), 0xAB00FFu);
    EXPECT_EQ(readTwice(c, kRegData, 2) & 0xFFFF, 0x1234u);
    // Nothing to read at "ALL DACs"; writes to unused register codes change nothing.
    EXPECT_EQ(readTwice(c, kRegData, kAddrAllDacs) & 0xFFFF, 0u);
    c.frame(word(false, 6, 0, 0x5555));
    EXPECT_EQ(c.channel(0).input, 0x1234);
    c.frame(word(false, kRegFunction, kFuncControl, 0xFFFF));
    EXPECT_EQ(c.functionWord(), 0x3F);
}

// Bits a register cannot hold are dropped, but counted with the last such word.
TEST(Converter, WritesWithBitsOutsideTheFieldAreCounted) {
    struct Case {
        uint32_t word;
        bool stray;
    };
    const Case cases[] = {
        {word(false, kRegOffset, 0, 0x0100), true},  {word(false, kRegOffset, 0, 0x00FF), false},
        {word(false, kRegFineGain, 1, 0x40), true},  {word(false, kRegFineGain, 1, 0x3F), false},
        {word(false, kRegCoarseGain, 4, 4), true},   {word(false, kRegCoarseGain, 4, 3), false},
        {word(false, kRegFunction, 1, 0x40), true},  {word(false, kRegFunction, 1, 0x3F), false},
        {word(false, kRegFunction, 4, 1), true},     {word(false, kRegData, 2, 0xFFFF), false},
        {word(true, kRegOffset, 0, 0x0100), false},  {word(false, 6, 0, 0x5555), false},
        {word(false, kRegOffset, 7, 0x0100), false},
    };
    for (const Case& k : cases) {
        Converter c;
        c.frame(k.word);
        EXPECT_EQ(c.strayWrites(), k.stray ? 1u : 0u) << std::hex << k.word;
        EXPECT_EQ(c.lastStrayWord(), k.stray ? k.word : 0u) << std::hex << k.word;
    }
    Converter c;
    c.frame(word(false, kRegOffset, 2, 0x0100));
    EXPECT_EQ(c.channel(2).offset, 0); // the field keeps its own bits
    c.powerOn();
    EXPECT_EQ(c.strayWrites(), 0u);
}

TEST(Converter, SdoOffFloatsHighUntilSwitchedBackOn) {
    Converter c;
    c.frame(word(false, kRegData, 0, 0xBEEF));
    c.frame(word(false, kRegFunction, kFuncControl, kFnSdoDisable));
    EXPECT_EQ(readTwice(c, kRegData, 0), kFloatingSdoWord);
    // The frame that switches SDO on still goes out floating; the next read is good.
    EXPECT_EQ(c.frame(word(false, kRegFunction, kFuncControl, 0)), kFloatingSdoWord);
    EXPECT_EQ(readTwice(c, kRegData, 0), 0x90BEEFu);
}

TEST(Converter, LdacHighWaitsForPulseOrLoad) {
    Converter c;
    c.frame(word(false, kRegData, 0, 0x1111));
    EXPECT_EQ(c.channel(0).dac, 0x8000);
    c.pulseLdac();
    EXPECT_EQ(c.channel(0).dac, 0x1111);

    c.frame(word(false, kRegData, 1, 0x2222));
    c.frame(word(false, kRegFunction, kFuncLoad));
    EXPECT_EQ(c.channel(1).dac, 0x2222);
}

TEST(Converter, LdacHeldLowFollowsTheInputRegisters) {
    Converter c;
    c.frame(word(false, kRegData, 2, 0x3333));
    c.setLines(false, true, true, true); // falling edge loads what is waiting
    EXPECT_EQ(c.channel(2).dac, 0x3333);
    c.frame(word(false, kRegData, kAddrAllDacs, 0x4444));
    for (int ch = 0; ch < kChannels; ++ch)
        EXPECT_EQ(c.channel(ch).dac, 0x4444) << ch;
    c.setLines(true, true, true, true);
    c.frame(word(false, kRegData, 0, 0x5555));
    EXPECT_EQ(c.channel(0).dac, 0x4444);
}

TEST(Converter, ClearCommandAndClrPinGoToZeroVoltsInBothCodings) {
    for (const bool binary : {true, false}) {
        Converter c;
        c.setLines(true, true, binary, true);
        c.frame(word(false, kRegData, kAddrAllDacs, 0x7000));
        c.pulseLdac();
        c.frame(word(false, kRegFunction, kFuncClear));
        for (int ch = 0; ch < kChannels; ++ch) {
            EXPECT_EQ(c.channel(ch).dac, Converter::zeroVoltCode(binary));
            EXPECT_NEAR(c.outputVolts(ch), kChannelErrors[ch].offsetLsb * kLsb10, 1e-12);
            EXPECT_EQ(c.channel(ch).input, 0x7000); // LOAD brings it back
        }
        c.frame(word(false, kRegFunction, kFuncLoad));
        EXPECT_EQ(c.channel(0).dac, 0x7000);

        c.setLines(true, false, binary, true); // CLR low: cleared and held
        EXPECT_EQ(c.channel(0).dac, Converter::zeroVoltCode(binary));
        c.pulseLdac();
        c.frame(word(false, kRegFunction, kFuncLoad));
        EXPECT_EQ(c.channel(0).dac, Converter::zeroVoltCode(binary)) << binary;
        c.setLines(true, true, binary, true);
        EXPECT_EQ(c.channel(0).dac, Converter::zeroVoltCode(binary));
        c.pulseLdac();
        EXPECT_EQ(c.channel(0).dac, 0x7000);
    }
}

TEST(Converter, RstinLowResetsAndHoldsTheRegisters) {
    Converter c;
    c.frame(word(false, kRegData, 0, 0x1234));
    c.frame(word(false, kRegCoarseGain, 0, 2));
    c.frame(word(false, kRegFineGain, 0, 5));
    c.frame(word(false, kRegOffset, 0, 7));
    c.frame(word(false, kRegFunction, kFuncControl, 0x21));
    c.pulseLdac();
    c.setLines(true, true, false, false);      // two's complement, reset
    c.frame(word(false, kRegData, 0, 0x4321)); // ignored while in reset
    c.setLines(true, true, false, true);
    const auto& a = c.channel(0);
    EXPECT_EQ(a.input, 0x0000);
    EXPECT_EQ(a.dac, 0x0000);
    EXPECT_EQ(a.coarse, 0);
    EXPECT_EQ(a.fine, 0);
    EXPECT_EQ(a.offset, 0);
    EXPECT_EQ(c.functionWord(), 0);
}

TEST(Converter, FunctionReadbackShowsThePinLevels) {
    Converter c;
    // Both pins inputs of the converter, the written level bits are not what a read shows.
    c.frame(word(false, kRegFunction, kFuncControl, kFnD0Level | kFnD1Level));
    EXPECT_EQ(c.functionReadback(), 0); // undriven pins read low
    c.setBoardDriveLevels(true, false);
    c.setBoardDrive(0, true);
    c.setBoardDrive(1, true);
    EXPECT_EQ(c.functionReadback(), kFnD0Level);
    c.setBoardDriveLevels(false, true);
    EXPECT_EQ(readTwice(c, kRegFunction, kFuncControl), 0x810000u | kFnD1Level);
    // As outputs the converter's own level bits show, whatever the board drives.
    c.frame(word(false, kRegFunction, kFuncControl, kFnD0Output | kFnD1Output | kFnD0Level));
    EXPECT_EQ(c.functionReadback(), kFnD0Output | kFnD1Output | kFnD0Level);
}

TEST(Converter, OutputFollowsCodingRangeAndTrims) {
    Converter c;
    c.setLines(false, true, true, true); // LDAC low: writes show at once
    const auto& err = kChannelErrors[1];
    // The converter's own non-linearity is 0 at zero scale and at 0 V, tiny at full scale.
    const auto ideal = [&](double fs, int n, double fine, double offsetCode) {
        const double lsb = 2 * fs / 65536.0;
        const double nl = Converter::nonlinearityLsb(1, static_cast<uint16_t>(n + 32768));
        return lsb * ((n + nl) * (1 + (fine + err.gainFineSteps) / 65536.0) + offsetCode / 8.0 +
                      err.offsetLsb);
    };
    c.frame(word(false, kRegData, 1, 0x0000));
    EXPECT_NEAR(c.outputVolts(1), ideal(10, -32768, 0, 0), 1e-12);
    EXPECT_NEAR(c.outputVolts(1), -10.0 - 4.5 / 2 * kLsb10 - 2.7 * kLsb10, 1e-12);

    c.setLines(false, true, false, true); // two's complement: 0x0000 is 0 V, 0x8000 -FS
    EXPECT_NEAR(c.outputVolts(1), ideal(10, 0, 0, 0), 1e-12);
    c.frame(word(false, kRegData, 1, 0x8000));
    EXPECT_NEAR(c.outputVolts(1), ideal(10, -32768, 0, 0), 1e-12);
    c.frame(word(false, kRegData, 1, 0x7FFF));
    EXPECT_NEAR(c.outputVolts(1), ideal(10, 32767, 0, 0), 1e-12);

    // Range 10.5263 V (a 32-bit float), fine gain -3 (0x3D), offset -16 LSB (0x80).
    c.frame(word(false, kRegCoarseGain, 1, 2));
    c.frame(word(false, kRegFineGain, 1, 0x3D));
    c.frame(word(false, kRegOffset, 1, 0x80));
    EXPECT_NEAR(c.outputVolts(1), ideal(10.5263f, 32767, -3, -128), 1e-12);
    EXPECT_EQ(Converter::fullScale(1), 10.2564f);
    EXPECT_EQ(Converter::fullScale(3), 10.0f);
}

// Each channel bows by about one LSB and steps by a few tenths at its carries, differently
// from the others, and a sweep of the outputs (with trims set) finds exactly the INL and DNL
// the model states.
TEST(Converter, NonlinearityIsAboutOneLsbAndWhatASweepFinds) {
    Converter c;
    c.setLines(false, true, true, true);
    c.frame(word(false, kRegCoarseGain, kAddrAllDacs, 1));
    c.frame(word(false, kRegFineGain, kAddrAllDacs, 0x05));
    c.frame(word(false, kRegOffset, kAddrAllDacs, 0xF0));
    std::array<std::array<double, 257>, kChannels> curves{};
    for (int ch = 0; ch < kChannels; ++ch) {
        const auto volts = [&](uint32_t p) {
            c.frame(word(false, kRegData, static_cast<uint8_t>(ch), static_cast<uint16_t>(p)));
            return c.outputVolts(ch);
        };
        const double v0 = volts(0);
        const double step = (volts(0xFFFF) - v0) / 65535;
        for (uint32_t p = 0; p <= 0x10000; p += 0x100) {
            const auto q = static_cast<uint16_t>(std::min(p, 0xFFFFu));
            const double inl = (volts(q) - v0) / step - q;
            EXPECT_NEAR(inl, Converter::endPointInlLsb(ch, q), 1e-6) << ch << " " << q;
            curves[ch][p >> 8] = inl;
        }
        double peak = 0;
        for (uint32_t p = 0; p <= 0xFFFF; ++p)
            peak =
                std::max(peak, std::abs(Converter::endPointInlLsb(ch, static_cast<uint16_t>(p))));
        EXPECT_GT(peak, 0.9) << ch;
        EXPECT_LT(peak, 1.25) << ch;

        const auto& nl = kChannelNonlinearity[ch];
        const struct {
            uint16_t p;
            double dnl;
        } carries[] = {{0x2000, nl.carry2000Lsb}, {0x4000, nl.carry4000Lsb}, {0x8000, 0},
                       {0xC000, nl.carryC000Lsb}, {0xE000, nl.carry2000Lsb}, {0x1234, 0}};
        for (const auto& carry : carries) {
            const double measured = (volts(carry.p) - volts(carry.p - 1u)) / step - 1;
            EXPECT_NEAR(measured, carry.dnl, 1e-3) << ch << " " << carry.p;
            EXPECT_NEAR(Converter::dnlLsb(ch, carry.p), measured, 1e-6) << ch << " " << carry.p;
        }
        EXPECT_GE(std::abs(nl.carry4000Lsb), 0.2) << ch;
        EXPECT_LE(std::abs(nl.carry4000Lsb), 0.4) << ch;
        EXPECT_EQ(Converter::nonlinearityLsb(ch, 0x8000), 0.0);
        EXPECT_NEAR(Converter::nonlinearityLsb(ch, 0x0000), 0.0, 1e-12);
        for (int other = 0; other < ch; ++other) {
            double apart = 0;
            for (std::size_t i = 0; i < curves[ch].size(); ++i)
                apart = std::max(apart, std::abs(curves[ch][i] - curves[other][i]));
            EXPECT_GT(apart, 0.3) << ch << " " << other;
        }
    }
}

} // namespace
} // namespace tq::sim
