// A calibration run against the simulated board must really converge: the offset step at
// the 0 V code, then the gain step at zero scale, with the window's own arithmetic (copied
// here in small), leave 0 V, zero scale and full scale within one LSB.

#include "drivers/sim/SimBoard.h"

#include <gtest/gtest.h>

#include <cmath>

namespace tq::sim {
namespace {

constexpr std::string_view kImage = ":030000000200807B\n:00000001FF\n";

int roundEven(double x) {
    return static_cast<int>(std::nearbyint(x));
}

// Offset step: present offset register and the measured output at the 0 V code.
int offsetCode(int reg, double measured, float range) {
    const int c = reg > 127 ? reg - 256 : reg;
    const float present = static_cast<float>(c) / 8.0f;
    const float e = static_cast<float>(-measured);
    const float correction = e / (2.0f * range / 65536.0f);
    const float next = present + correction;
    const double code = next >= 0 ? next / 15.875 * 127 : (next + 16) / 15.875 * 127 + 128;
    return roundEven(code);
}

// Gain step, newer program: a positive result is scaled by 31/32.
int fineGainCode(int reg, double measured, float range) {
    const int g = reg > 31 ? reg - 64 : reg;
    const float e = static_cast<float>(range + measured);
    int r = roundEven(e / (2.0f * range / 131072.0));
    r = r + g;
    const double code = r < 0 ? (r + 32) / 31.0 * 31 + 32 : r / 32.0 * 31;
    return roundEven(code);
}

class Calibration : public testing::TestWithParam<std::tuple<int, uint8_t>> {
protected:
    void SetUp() override {
        ASSERT_TRUE(board.downloadFirmware(kImage).ok());
        std::tie(channel, coarse) = GetParam();
        write(kRegCoarseGain, static_cast<uint16_t>(coarse));
    }
    void write(uint8_t reg, uint16_t data) {
        const auto command = static_cast<int32_t>(reg << 3 | channel);
        ASSERT_EQ(board.vendorRequest(kReqWriteAndPulse, command, data, 0, {}), Status::Ok);
    }
    const ChannelRegisters& regs() const { return board.converter().channel(channel); }
    double volts() const { return board.outputVolts(channel); }

    SimBoard board;
    int channel = 0;
    uint8_t coarse = 0;
};

TEST_P(Calibration, ConvergesWithinOneLsb) {
    const float range = Converter::fullScale(coarse);
    const double lsb = 2.0 * range / 65536.0;

    write(kRegData, 0x8000);
    const double offsetBefore = volts();
    ASSERT_GT(std::abs(offsetBefore), 1.5 * lsb) << "the channel has an error to correct";
    write(kRegOffset, static_cast<uint16_t>(offsetCode(regs().offset, offsetBefore, range)));
    EXPECT_LT(std::abs(volts()), 0.1 * lsb);

    write(kRegData, 0x0000);
    const double zeroScaleBefore = volts() + range;
    ASSERT_GT(std::abs(zeroScaleBefore), 1.5 * lsb);
    write(kRegFineGain, static_cast<uint16_t>(fineGainCode(regs().fine, volts(), range)));
    EXPECT_LT(std::abs(volts() + range), lsb);

    write(kRegData, 0xFFFF);
    EXPECT_LT(std::abs(volts() - (range - lsb)), lsb);
    write(kRegData, 0x8000);
    EXPECT_LT(std::abs(volts()), lsb);
}

INSTANTIATE_TEST_SUITE_P(ChannelsAndRanges, Calibration,
                         testing::Combine(testing::Values(0, 2), testing::Values(0, 2)));

} // namespace
} // namespace tq::sim
