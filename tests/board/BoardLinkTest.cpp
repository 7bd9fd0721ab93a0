#include "board/BoardLink.h"

#include "RecordingDriver.h"

#include <gtest/gtest.h>

namespace tq::board {
namespace {

using testing::Call;
using testing::RecordingDriver;

struct DeclareTest : ::testing::Test {
    SharedState state;
    RecordingDriver driver;
    std::vector<Transfer> seen;
    BoardLink newer{state, driver, Backend::Newer};

    DeclareTest() {
        state.BoardHandle = 0x1234;
        newer.addObserver([this](const Transfer& t) { seen.push_back(t); });
    }

    // Handle, request, value, index, direction, length of the n-th recorded request.
    std::vector<int64_t> args(std::size_t n) const { return driver.calls.at(n).args; }
};

TEST_F(DeclareTest, WriteChoosesPulseByRegisterAndCheckBox) {
    state.Check1Value = 1;
    state.ReadWriteBit = 1;
    newer.WriteRegister(0, 2, 0x8000); // data register of DAC A
    EXPECT_EQ(args(0), (std::vector<int64_t>{0x1234, 0xD9, 0x10, 0x8000, 0, 0}));
    EXPECT_EQ(driver.calls[0].bytes, std::vector<uint8_t>{0}); // one byte holding 0
    EXPECT_EQ(state.ReadWriteBit, 0);

    state.Check1Value = 2; // grayed still pulses
    newer.WriteRegister(3, 5, 0x80);
    EXPECT_EQ(args(1), (std::vector<int64_t>{0x1234, 0xD9, 0x2B, 0x80, 0, 0}));

    state.Check1Value = 0;
    newer.WriteRegister(0, 2, 0x8000);
    EXPECT_EQ(args(2)[1], 0xDD);

    state.Check1Value = 1; // the function register is never pulsed
    newer.WriteRegister(1, 0, 0x3F);
    EXPECT_EQ(args(3), (std::vector<int64_t>{0x1234, 0xDD, 0x01, 0x3F, 0, 0}));
}

TEST_F(DeclareTest, CommandByteKeepsEachFieldInItsBits) {
    EXPECT_EQ(BoardLink::CommandByte(1, 0, 1), 0x81);
    EXPECT_EQ(BoardLink::CommandByte(0, 2, 4), 0x14);
    // An out-of-range address must not turn into another register.
    EXPECT_EQ(BoardLink::CommandByte(0, 2, 9), 0x11);
    state.Check1Value = 0;
    newer.WriteRegister(0, 2, 0x18000); // data beyond 16 bits keeps only D15..D0
    EXPECT_EQ(args(0)[3], 0x8000);
}

TEST_F(DeclareTest, ReadSendsTheReadWordTwiceAndDecodesTheSecondAnswer) {
    driver.replies = {{0xFF, 0xFF, 0xFF}, {0x55, 0x01, 0x80}};
    EXPECT_EQ(newer.ReadRegister(1, 0), 0x8001);
    ASSERT_EQ(driver.calls.size(), 2u);
    const std::vector<int64_t> read{0x1234, 0xDD, 0x81, 0, 1, 3};
    EXPECT_EQ(args(0), read);
    EXPECT_EQ(args(1), read);
    EXPECT_EQ(state.ReadbackValue, 0x8001);
    EXPECT_EQ(state.ReadWriteBit, 1);
    EXPECT_EQ(state.ReadBuffer[0], 0x55);
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[1].received, (std::array<uint8_t, 3>{0x55, 0x01, 0x80}));
}

TEST_F(DeclareTest, ControlLineWordFollowsTheFlags) {
    newer.WriteControlLines();
    EXPECT_EQ(args(0), (std::vector<int64_t>{0x1234, 0xDE, 0x9F, 0, 0, 0}));
    state.LdacLine = 0;
    state.DriveD1Line = 1;
    newer.WriteControlLines();
    EXPECT_EQ(args(1), (std::vector<int64_t>{0x1234, 0xDE, 0x8F, 2, 0, 0}));
    state.DriveD1Line = 0;
    state.DriveD0Line = 1;
    newer.WriteControlLines();
    EXPECT_EQ(args(2)[3], 1);
}

TEST_F(DeclareTest, AdcWordIsSignedAndDriveRequestsReadNothing) {
    driver.replies = {{0x2A, 0x0C}, {0x01, 0x00}};
    EXPECT_EQ(newer.ReadAdcWord(), 0x5430); // 0x2A -> 0x54, 0x0C -> 0x30
    EXPECT_EQ(args(0), (std::vector<int64_t>{0x1234, 0xDA, 0, 0, 1, 2}));
    EXPECT_EQ(newer.ReadAdcWord(), -32768); // mirrored top byte 0x80

    newer.DriveRequest(kDriveD0, 1);
    newer.DriveRequest(kDriveD1, 0);
    EXPECT_EQ(args(2), (std::vector<int64_t>{0x1234, 0xDB, 1, 0, 1, 0}));
    EXPECT_EQ(args(3), (std::vector<int64_t>{0x1234, 0xDC, 0, 0, 1, 0}));
    EXPECT_EQ(driver.calls[3].bytes, std::vector<uint8_t>{0});
}

TEST_F(DeclareTest, FailedStatusReachesObserverAndStateWithoutChangingTheFlow) {
    driver.statuses = {-5, 0};
    driver.replies = {{0x00, 0x00, 0x00}, {0x00, 0x80, 0x00}};
    newer.ReadRegister(0, 3);
    EXPECT_EQ(driver.calls.size(), 2u); // the second read is still sent
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].status, -5);
    EXPECT_FALSE(seen[0].succeeded());
    EXPECT_EQ(seen[0].request, 0xDD);
    EXPECT_TRUE(Describe(seen[0]).contains(QStringLiteral("status -5")));
    EXPECT_EQ(state.DriverStatus, 0);

    driver.statuses = {3};
    newer.WriteControlLines();
    EXPECT_EQ(state.DriverStatus, 3);
    EXPECT_EQ(seen.back().status, 3);
}

TEST_F(DeclareTest, LegacyBackendSendsTheSameArgumentsWithoutHandle) {
    BoardLink legacy{state, driver, Backend::Legacy};
    state.Check1Value = 1;
    driver.replies = {{}, {0x55, 0x01, 0x80}, {0x01, 0x00}};
    legacy.WriteRegister(0, 2, 0x8000);
    EXPECT_EQ(legacy.ReadRegister(1, 0), 0x8001);
    legacy.ReadAdcWord();
    driver.statuses = {-1};
    legacy.DriveRequest(kDriveD1, 1);
    for (const Call& c : driver.calls)
        EXPECT_EQ(c.entry, "VendorIORequest");
    EXPECT_EQ(args(0), (std::vector<int64_t>{0xD9, 0x10, 0x8000, 0, 0}));
    EXPECT_EQ(args(2), (std::vector<int64_t>{0xDD, 0x81, 0, 1, 3}));
    EXPECT_EQ(args(3), (std::vector<int64_t>{0xDA, 0, 0, 1, 2}));
    EXPECT_EQ(args(4), (std::vector<int64_t>{0xDC, 1, 0, 1, 0}));
    EXPECT_EQ(state.DriverStatus, -1);
}

TEST(ReverseBits, MirrorsTheBitOrder) {
    EXPECT_EQ(BoardLink::ReverseBits(0x01), 0x80);
    EXPECT_EQ(BoardLink::ReverseBits(0x0F), 0xF0);
    EXPECT_EQ(BoardLink::ReverseBits(0xA5), 0xA5);
    EXPECT_EQ(BoardLink::ReverseBits(0x2A), 0x54);
}

} // namespace
} // namespace tq::board
