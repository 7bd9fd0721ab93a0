#include "drivers/sim/SimBoard.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>

namespace tq::sim {
namespace {

constexpr std::string_view kImage = ":030000000200807B\n:00000001FF\n";

class SimBoardTest : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(board.downloadFirmware(kImage).ok()); }

    Status write(uint8_t command, uint16_t data, uint8_t request = kReqShiftWord) {
        return board.vendorRequest(request, command, data, 0, {});
    }
    // One read request: the three received bytes, as they arrive.
    std::array<uint8_t, 3> readRaw(uint8_t command) {
        std::array<uint8_t, 3> buf{0xEE, 0xEE, 0xEE};
        EXPECT_EQ(board.vendorRequest(kReqShiftWord, command, 0, 1, buf), Status::Ok);
        return buf;
    }
    static uint32_t decode(const std::array<uint8_t, 3>& b) {
        return uint32_t{SimBoard::mirror(b[0])} << 16 | uint32_t{SimBoard::mirror(b[1])} << 8 |
               SimBoard::mirror(b[2]);
    }
    Status lines(int32_t value, int32_t index = 0) {
        return board.vendorRequest(kReqControlLines, value, index, 0, {});
    }

    SimBoard board;
};

TEST_F(SimBoardTest, WriteThenReadTwiceGivesTheRegisterBitMirrored) {
    ASSERT_EQ(write(0x10, 0x8001, kReqWriteAndPulse), Status::Ok);
    const auto first = readRaw(0x90);
    const auto second = readRaw(0x90);
    // First answer: the write word itself; second: the read's command byte and the data.
    EXPECT_EQ(decode(first), 0x108001u);
    EXPECT_EQ((std::array<uint8_t, 3>{second}), (std::array<uint8_t, 3>{0x09, 0x01, 0x80}));
    EXPECT_EQ(decode(second), 0x908001u);
    // 0xD9 pulsed LDAC, so the DAC register took the value too.
    EXPECT_EQ(board.converter().channel(0).dac, 0x8001);
}

TEST_F(SimBoardTest, ShiftWordAloneDoesNotPulse) {
    ASSERT_EQ(write(0x11, 0x1234), Status::Ok);
    EXPECT_EQ(board.converter().channel(1).input, 0x1234);
    EXPECT_EQ(board.converter().channel(1).dac, 0x8000);
    ASSERT_EQ(write(0x05, 0), Status::Ok); // LOAD
    EXPECT_EQ(board.converter().channel(1).dac, 0x1234);
}

TEST_F(SimBoardTest, ShortReadsGetTheTopBytes) {
    ASSERT_EQ(write(0x12, 0xA5C3), Status::Ok);
    std::array<uint8_t, 1> one{};
    ASSERT_EQ(board.vendorRequest(kReqShiftWord, 0x92, 0, 1, one), Status::Ok);
    EXPECT_EQ(SimBoard::mirror(one[0]), 0x12);
}

TEST_F(SimBoardTest, SdoOffReadsAllOnes) {
    ASSERT_EQ(write(0x01, 0x0001), Status::Ok);
    readRaw(0x81);
    EXPECT_EQ(decode(readRaw(0x81)), 0xFFFFFFu);
}

TEST_F(SimBoardTest, ControlLinesReachTheConverter) {
    ASSERT_EQ(write(0x13, 0x4000), Status::Ok);
    ASSERT_EQ(lines(0x8F), Status::Ok); // LDAC low: loads, then follows
    const auto& c = board.converter();
    EXPECT_FALSE(c.ldac());
    EXPECT_EQ(c.channel(3).dac, 0x4000);
    ASSERT_EQ(write(0x13, 0x4100), Status::Ok);
    EXPECT_EQ(c.channel(3).dac, 0x4100);
    ASSERT_EQ(lines(0x9B, 3), Status::Ok); // 2s complement, drive levels high
    EXPECT_FALSE(c.binary());
    EXPECT_TRUE(c.ldac());
    EXPECT_TRUE(c.boardDriveLevel(0));
    EXPECT_TRUE(c.boardDriveLevel(1));
    ASSERT_EQ(lines(0x93), Status::Ok); // CLR low
    EXPECT_EQ(c.channel(3).dac, 0x0000);
    ASSERT_EQ(lines(0x9D), Status::Ok); // RSTIN low
    EXPECT_EQ(c.channel(3).input, 0x8000);
}

TEST_F(SimBoardTest, DriveRequestsPutThePinLevelIntoTheFunctionRead) {
    ASSERT_EQ(lines(0x9F, 2), Status::Ok); // board would drive D1 high, D0 low
    ASSERT_EQ(board.vendorRequest(kReqDriveD1, 1, 0, 1, {}), Status::Ok);
    readRaw(0x81);
    EXPECT_EQ(decode(readRaw(0x81)), 0x810008u);
    ASSERT_EQ(board.vendorRequest(kReqDriveD1, 0, 0, 1, {}), Status::Ok);
    readRaw(0x81);
    EXPECT_EQ(decode(readRaw(0x81)), 0x810000u);
}

TEST_F(SimBoardTest, TemperatureReadingIsTwoMirroredBytesHighFirst) {
    std::array<uint8_t, 2> buf{};
    ASSERT_EQ(board.vendorRequest(kReqReadAdc, 0, 0, 1, buf), Status::Ok);
    const int reading = SimBoard::mirror(buf[0]) << 8 | SimBoard::mirror(buf[1]);
    EXPECT_EQ(reading, 1746); // 25 degrees: 1.4025 V
    const auto degrees = [](int counts) { return counts / 4096.0 * 3.29 / 0.005 - 255.5; };
    for (const double t : {-40.0, 0.0, 25.0, 66.0, 125.0}) {
        board.setDieTemperature(t);
        ASSERT_EQ(board.vendorRequest(kReqReadAdc, 0, 0, 1, buf), Status::Ok);
        const int counts = SimBoard::mirror(buf[0]) << 8 | SimBoard::mirror(buf[1]);
        EXPECT_NEAR(degrees(counts), t, 0.5) << t; // one count is 0.16 degrees
    }
    EXPECT_EQ(SimBoard::temperatureReading(-300), 0);
    EXPECT_EQ(SimBoard::temperatureReading(500), 4095);
    EXPECT_EQ(SimBoard::temperatureReading(std::nan("")), 0);
}

TEST_F(SimBoardTest, UnknownOrMisdirectedRequestsStall) {
    std::array<uint8_t, 4> four{};
    EXPECT_EQ(board.vendorRequest(0xD0, 0, 0, 0, {}), Status::Pipe);
    EXPECT_EQ(board.vendorRequest(kReqReadAdc, 0, 0, 0, {}), Status::Pipe);
    EXPECT_EQ(board.vendorRequest(kReqShiftWord, 0x90, 0, 1, four), Status::Pipe);
    EXPECT_EQ(board.vendorRequest(kReqWriteAndPulse, 0x10, 0, 1, {}), Status::Pipe);
    EXPECT_EQ(board.vendorRequest(kReqControlLines, 0x9F, 0, 1, {}), Status::Pipe);
}

TEST(SimBoard, NothingAnswersBeforeTheFirmwareRuns) {
    SimBoard board;
    EXPECT_FALSE(board.firmwareRunning());
    EXPECT_EQ(board.vendorRequest(kReqShiftWord, 0x10, 0x1234, 0, {}), Status::NoFirmware);
    EXPECT_EQ(board.converter().channel(0).input, 0x8000);
}

TEST(SimBoard, DownloadAcceptsGoodImagesAndRefusesBadOnes) {
    SimBoard board;
    const auto missing =
        board.downloadFirmware(std::filesystem::path(testing::TempDir()) / "tq_sim_missing.hex");
    EXPECT_EQ(missing.status, Status::NotFound);
    ASSERT_TRUE(missing.error.has_value());
    EXPECT_EQ(missing.error->kind, firmware::HexErrorKind::FileMissing);
    const auto malformed = board.downloadFirmware(std::string_view(":0300000002FF\n"));
    EXPECT_EQ(malformed.status, Status::BadImage);
    EXPECT_FALSE(board.firmwareRunning());

    EXPECT_TRUE(board.downloadFirmware(std::filesystem::path(TQ_SHIPPED_HEX)).ok());
    EXPECT_TRUE(board.firmwareRunning());
    EXPECT_EQ(board.firmwareBytes(), 8u);
    // A bad file later leaves the running firmware alone.
    EXPECT_EQ(board.downloadFirmware(std::string_view("junk")).status, Status::BadImage);
    EXPECT_TRUE(board.firmwareRunning());
}

TEST(SimBoard, DownloadRestartsFirmwareButKeepsTheConverterRegisters) {
    SimBoard board;
    ASSERT_TRUE(board.downloadFirmware(kImage).ok());
    ASSERT_EQ(board.vendorRequest(kReqShiftWord, 0x10, 0x1234, 0, {}), Status::Ok);
    ASSERT_EQ(board.vendorRequest(kReqControlLines, 0x87, 3, 0, {}), Status::Ok);
    ASSERT_EQ(board.vendorRequest(kReqDriveD0, 1, 0, 1, {}), Status::Ok);
    ASSERT_TRUE(board.downloadFirmware(kImage).ok());
    const auto& c = board.converter();
    EXPECT_TRUE(c.ldac() && c.clr() && c.binary() && c.rstin());
    EXPECT_FALSE(c.boardDrives(0));
    EXPECT_EQ(c.channel(0).input, 0x1234);
    EXPECT_EQ(c.channel(0).dac, 0x8000); // cleared by CLR, not reloaded by the restart
}

TEST(SimBoard, FaultsFailRequestsAndChangeNothing) {
    SimBoard board;
    ASSERT_TRUE(board.downloadFirmware(kImage).ok());
    std::array<uint8_t, 3> buf{1, 2, 3};

    board.setFailingTransfers(true);
    EXPECT_EQ(board.vendorRequest(kReqShiftWord, 0x10, 0x1234, 0, {}), Status::IoError);
    EXPECT_EQ(board.vendorRequest(kReqShiftWord, 0x90, 0, 1, buf), Status::IoError);
    EXPECT_EQ(buf, (std::array<uint8_t, 3>{1, 2, 3}));
    EXPECT_EQ(board.converter().channel(0).input, 0x8000);
    board.setFailingTransfers(false);
    EXPECT_EQ(board.vendorRequest(kReqShiftWord, 0x10, 0x1234, 0, {}), Status::Ok);

    board.unplug();
    EXPECT_FALSE(board.present());
    EXPECT_EQ(board.vendorRequest(kReqShiftWord, 0x90, 0, 1, buf), Status::NoDevice);
    EXPECT_EQ(board.downloadFirmware(kImage).status, Status::NoDevice);
    board.replug();
    // Powered up afresh: no firmware, registers at their power-on values.
    EXPECT_EQ(board.vendorRequest(kReqShiftWord, 0x90, 0, 1, buf), Status::NoFirmware);
    ASSERT_TRUE(board.downloadFirmware(kImage).ok());
    EXPECT_EQ(board.converter().channel(0).input, 0x8000);

    board.setAbsent(true);
    EXPECT_EQ(board.downloadFirmware(kImage).status, Status::NoDevice);
    board.reset();
    EXPECT_TRUE(board.present());
    EXPECT_FALSE(board.firmwareRunning());
}

} // namespace
} // namespace tq::sim
