#include "board/BoardStart.h"

#include "RecordingDriver.h"

#include <gtest/gtest.h>

#include <string>

namespace tq::board {
namespace {

using testing::RecordingDriver;

std::vector<uint8_t> bytesOf(const std::string& s) {
    std::vector<uint8_t> v(s.begin(), s.end());
    v.push_back(0);
    return v;
}

TEST(BoardStart, OpenBoardSearchesConnectsAndDownloadsInOrder) {
    SharedState state;
    RecordingDriver driver;
    BoardStart::SetFirmwarePath(state, "/opt/tq5802");
    EXPECT_EQ(state.FirmwarePath, "/opt/tq5802/TQ5802.hex");

    EXPECT_EQ(BoardStart::OpenBoard(state, driver), 0);
    ASSERT_EQ(driver.calls.size(), 3u);
    EXPECT_EQ(driver.calls[0].entry, "Search_For_Boards");
    EXPECT_EQ(driver.calls[0].args, (std::vector<int64_t>{0x0456, 0xB202, 0}));
    EXPECT_EQ(driver.calls[0].bytes, std::vector<uint8_t>(128, 0)); // list cleared
    EXPECT_EQ(driver.calls[1].entry, "Connect");
    EXPECT_EQ(driver.calls[1].args, (std::vector<int64_t>{0x0456, 0xB202, 7}));
    EXPECT_EQ(driver.calls[2].entry, "Download_Firmware");
    EXPECT_EQ(driver.calls[2].args, std::vector<int64_t>{0x1234});
    EXPECT_EQ(driver.calls[2].bytes, bytesOf("/opt/tq5802/TQ5802.hex"));
    EXPECT_EQ(state.BoardHandle, 0x1234);
    EXPECT_TRUE(BoardStart::StartBoard(state, driver, Backend::Newer));
}

TEST(BoardStart, FailingDownloadIsReturned) {
    SharedState state;
    RecordingDriver driver;
    driver.downloadResult = 3;
    BoardStart::SetFirmwarePath(state, "/opt/tq5802/");
    EXPECT_EQ(state.FirmwarePath, "/opt/tq5802/TQ5802.hex");
    EXPECT_EQ(BoardStart::OpenBoard(state, driver), 3);
    EXPECT_FALSE(BoardStart::StartBoard(state, driver, Backend::Newer));
}

TEST(BoardStart, LegacyStartLoadsFirmwareAndSucceedsFromOne) {
    SharedState state;
    RecordingDriver driver;
    BoardStart::SetFirmwarePath(state, "/opt/tq5802");
    for (const int16_t result : {int16_t{1}, int16_t{2}, int16_t{0}, int16_t{-3}}) {
        driver.loadFirmWareResult = result;
        EXPECT_EQ(BoardStart::StartBoard(state, driver, Backend::Legacy), result >= 1);
        EXPECT_EQ(state.DriverStatus, result);
    }
    for (const auto& c : driver.calls) {
        EXPECT_EQ(c.entry, "LoadFirmWare"); // no search, no connect
        EXPECT_EQ(c.bytes, bytesOf("/opt/tq5802/TQ5802.hex"));
    }
}

TEST(BoardStart, PathBytesFitAnyLengthAndKeepUtf8) {
    SharedState state;
    const std::string longPath = "/" + std::string(599, 'd');
    BoardStart::PathToBytes(state, longPath);
    EXPECT_EQ(state.FirmwarePathBytes, bytesOf(longPath));

    // A shorter path after a longer one leaves no stale bytes behind its terminator.
    const std::string utf8 = "/home/j\xC3\xBCrgen/\xE6\xB8\xAC/TQ5802.hex";
    BoardStart::PathToBytes(state, utf8);
    EXPECT_EQ(state.FirmwarePathBytes, bytesOf(utf8));

    RecordingDriver driver;
    BoardStart::SetFirmwarePath(state, "/" + std::string(700, 'p'));
    BoardStart::OpenBoard(state, driver);
    EXPECT_EQ(driver.calls.back().bytes, bytesOf(state.FirmwarePath));

    // Bytes never built from the path are built before the driver sees them.
    SharedState fresh;
    fresh.FirmwarePath = "/x/TQ5802.hex";
    BoardStart::OpenBoard(fresh, driver);
    EXPECT_EQ(driver.calls.back().bytes, bytesOf("/x/TQ5802.hex"));
}

} // namespace
} // namespace tq::board
