// The USB driver through the real libusb against the emulated board.

#include "EmulatedBoard.h"
#include "UsbDriver.h"

#include <gtest/gtest.h>

#include <array>

using tq::usb::DriverOptions;
using tq::usb::Error;
using tq::usb::UsbDriver;
using tq::usbtest::AfterRelease;
using tq::usbtest::EmulatedBoard;
using tq::usbtest::SetupPacket;

namespace {

constexpr int32_t kVendor = 0x0456;
constexpr int32_t kProduct = 0xB202;

DriverOptions fastOptions() {
    DriverOptions o;
    o.settleTime = std::chrono::milliseconds(100);
    o.reenumerationTimeout = std::chrono::milliseconds(3000);
    return o;
}

} // namespace

TEST(UsbEnumeration, NoBoardAmongOtherDevices) {
    EmulatedBoard bus;
    bus.plug(0x1234, 0x5678);
    UsbDriver driver(fastOptions());
    int32_t count = -1;
    std::array<uint8_t, 128> list{};
    list.fill(0xEE);
    EXPECT_EQ(driver.searchForBoards(kVendor, kProduct, count, list), Error::None);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(list[0], 0);
    int32_t handle = -1;
    EXPECT_EQ(driver.connect(kVendor, kProduct, list[0], handle), Error::NoDevice);
    EXPECT_EQ(handle, 0);
}

TEST(UsbEnumeration, OneBoardIsFoundAndOpened) {
    EmulatedBoard bus;
    bus.plug();
    UsbDriver driver(fastOptions());
    int32_t count = 0;
    std::array<uint8_t, 128> list{};
    ASSERT_EQ(driver.searchForBoards(kVendor, kProduct, count, list), Error::None);
    EXPECT_EQ(count, 1);
    EXPECT_EQ(list[0], 1);
    EXPECT_EQ(list[1], 0);
    int32_t handle = 0;
    ASSERT_EQ(driver.connect(kVendor, kProduct, list[0], handle), Error::None);
    EXPECT_GT(handle, 0);

    bus.setFirmwareRunning(true);
    bus.setResponder([](const SetupPacket&, std::span<uint8_t> data) {
        for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(0x10 + i);
        return static_cast<int>(data.size());
    });
    std::array<uint8_t, 3> in{};
    EXPECT_EQ(driver.vendorRequest(handle, 0xDD, 0x81, 0, 1, in), Error::None);
    EXPECT_EQ(in, (std::array<uint8_t, 3>{0x10, 0x11, 0x12}));
}
