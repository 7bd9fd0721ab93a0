// A calibration run against the simulated board must really converge: the offset step at
// the 0 V code, then the gain step at zero scale, each computed by the device model's own
// calibration steps from the voltmeter reading, leave 0 V, zero scale and full scale within
// one LSB.

#include "device/Calibration.h"
#include "drivers/sim/SimBoard.h"

#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <string>

namespace tq::sim {
namespace {

constexpr std::string_view kImage = ":030000000200807B\n:00000001FF\n";

// A voltmeter reading as the user types it into the measured-voltage entry.
std::string reading(double volts) {
    char buffer[32];
    const auto end = std::to_chars(buffer, buffer + sizeof buffer, volts).ptr;
    return std::string(buffer, end);
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
    const auto offset = device::CalibrateOffset(regs().offset, reading(offsetBefore), range);
    ASSERT_TRUE(offset);
    EXPECT_FALSE(offset->limited);
    write(kRegOffset, static_cast<uint16_t>(offset->code));
    EXPECT_LT(std::abs(volts()), 0.1 * lsb);

    write(kRegData, 0x0000);
    const double zeroScaleBefore = volts() + range;
    ASSERT_GT(std::abs(zeroScaleBefore), 1.5 * lsb);
    const auto gain = device::CalibrateGain(regs().fine, reading(volts()), range,
                                            device::PositiveGainCode::Scaled31of32);
    ASSERT_TRUE(gain);
    EXPECT_FALSE(gain->limited);
    write(kRegFineGain, static_cast<uint16_t>(gain->code));
    EXPECT_LT(std::abs(volts() + range), lsb);

    write(kRegData, 0xFFFF);
    EXPECT_LT(std::abs(volts() - (range - lsb)), lsb);
    write(kRegData, 0x8000);
    EXPECT_LT(std::abs(volts()), lsb);
    EXPECT_EQ(board.converter().strayWrites(), 0u);
}

INSTANTIATE_TEST_SUITE_P(ChannelsAndRanges, Calibration,
                         testing::Combine(testing::Values(0, 2), testing::Values(0, 2)));

} // namespace
} // namespace tq::sim
