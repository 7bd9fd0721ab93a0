// The USB driver through the real libusb against the emulated board.

#include "UsbDriver.h"
#include "EmulatedBoard.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

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
        for (std::size_t i = 0; i < data.size(); ++i)
            data[i] = static_cast<uint8_t>(0x10 + i);
        return static_cast<int>(data.size());
    });
    std::array<uint8_t, 3> in{};
    EXPECT_EQ(driver.vendorRequest(handle, 0xDD, 0x81, 0, 1, in), Error::None);
    EXPECT_EQ(in, (std::array<uint8_t, 3>{0x10, 0x11, 0x12}));
}

namespace {

std::vector<uint8_t> readFile(const char* path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A board attached, found and connected; its firmware not yet loaded.
struct Connected {
    explicit Connected(AfterRelease mode) : driver(fastOptions()) {
        bus.plug();
        bus.setAfterRelease(mode);
        int32_t count = 0;
        std::array<uint8_t, 128> list{};
        EXPECT_EQ(driver.searchForBoards(kVendor, kProduct, count, list), Error::None);
        EXPECT_EQ(driver.connect(kVendor, kProduct, list[0], handle), Error::None);
        bus.clearRecords();
    }
    EmulatedBoard bus;
    UsbDriver driver;
    int32_t handle = 0;
};

std::size_t vendorTransfers(const std::vector<tq::usbtest::ControlRecord>& records) {
    return static_cast<std::size_t>(
        std::count_if(records.begin(), records.end(),
                      [](const auto& r) { return (r.setup.requestType & 0x60) == 0x40; }));
}

} // namespace

TEST(UsbFirmware, RealImageLandsInRamWithTheCpuHeldThenReleased) {
    Connected board(AfterRelease::Stay);
    ASSERT_EQ(board.driver.downloadFirmware(board.handle, FX2_FIRMWARE_HEX), Error::None);

    const auto image = readFile(FX2_FIRMWARE_BIN);
    ASSERT_GT(image.size(), 4096u);
    EXPECT_EQ(board.bus.ram(0, image.size()), image);
    EXPECT_EQ(board.bus.cpucsWrites(), (std::vector<uint8_t>{1, 0}));

    // Hold first, release last, RAM in between in chunks of at most 4 KiB.
    const auto records = board.bus.records();
    std::vector<tq::usbtest::ControlRecord> loads;
    std::copy_if(records.begin(), records.end(), std::back_inserter(loads),
                 [](const auto& r) { return r.setup.request == 0xA0; });
    ASSERT_GE(loads.size(), 4u);
    EXPECT_EQ(loads.front().setup.value, 0xE600);
    EXPECT_EQ(loads.front().data, std::vector<uint8_t>{1});
    EXPECT_EQ(loads.back().setup.value, 0xE600);
    EXPECT_EQ(loads.back().data, std::vector<uint8_t>{0});
    for (const auto& r : loads) {
        EXPECT_EQ(r.setup.requestType, 0x40);
        EXPECT_EQ(r.setup.index, 0);
        EXPECT_LE(r.data.size(), 4096u);
    }
    EXPECT_EQ(loads.size(), 2 + (image.size() + 4095) / 4096);
}

TEST(UsbFirmware, FxloadLoadsTheSameRamWithNoFewerTransfers) {
    g_autofree gchar* fxload = g_find_program_in_path("fxload");
    if (!fxload) GTEST_SKIP() << "fxload is not installed";
    Connected ours(AfterRelease::Stay);
    ASSERT_EQ(ours.driver.downloadFirmware(ours.handle, FX2_FIRMWARE_HEX), Error::None);
    const auto ourRecords = ours.bus.records();

    EmulatedBoard bus;
    bus.plug();
    const std::string root = bus.rootDir();
    const std::string node = bus.devnode();
    std::vector<std::string> args = {"fxload", "-t", "fx2lp", "-D", node, "-I", FX2_FIRMWARE_HEX};
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    std::string preloadEnv = "LD_PRELOAD=libumockdev-preload.so.0";
    std::string dirEnv = "UMOCKDEV_DIR=" + root;
    std::string pathEnv = std::string("PATH=") + g_getenv("PATH");
    std::array<char*, 4> envp{preloadEnv.data(), dirEnv.data(), pathEnv.data(), nullptr};
    gchar* out = nullptr;
    gchar* err = nullptr;
    gint wait = 0;
    GError* error = nullptr;
    ASSERT_TRUE(g_spawn_sync(nullptr, argv.data(), envp.data(), G_SPAWN_SEARCH_PATH, nullptr,
                             nullptr, &out, &err, &wait, &error))
        << (error ? error->message : "");
    const std::string fxloadOutput = std::string(out ? out : "") + (err ? err : "");
    g_free(out);
    g_free(err);
    ASSERT_TRUE(g_spawn_check_wait_status(wait, nullptr)) << fxloadOutput;

    const auto image = readFile(FX2_FIRMWARE_BIN);
    EXPECT_EQ(bus.ram(0, image.size()), image);
    EXPECT_EQ(bus.ram(0, image.size()), ours.bus.ram(0, image.size()));
    EXPECT_EQ(bus.cpucsWrites(), ours.bus.cpucsWrites());
    const auto fxloadRecords = bus.records();
    EXPECT_FALSE(fxloadRecords.empty() || fxloadRecords.front().viaUrb);
    const std::size_t ourCount = vendorTransfers(ourRecords);
    const std::size_t fxloadCount = vendorTransfers(fxloadRecords);
    EXPECT_LE(ourCount, fxloadCount);
    RecordProperty("our_transfers", static_cast<int>(ourCount));
    RecordProperty("fxload_transfers", static_cast<int>(fxloadCount));
    std::printf("firmware of %zu bytes: our download %zu vendor transfers, fxload %zu\n",
                image.size(), ourCount, fxloadCount);
}

TEST(UsbFirmware, FaultyFilesSendNothing) {
    Connected board(AfterRelease::Stay);
    const std::string dir = ::testing::TempDir();
    const std::string bad = dir + "/tq_bad.hex";
    {
        std::ofstream f(bad);
        f << ":0300000002000FED\n:00000001FF\n"; // checksum off by one
    }
    EXPECT_EQ(board.driver.downloadFirmware(board.handle, bad), Error::Parse);
    EXPECT_EQ(board.driver.downloadFirmware(board.handle, dir + "/tq_missing.hex"), Error::File);
    {
        std::ofstream f(bad);
        f << ":020000040001F9\n:0100000055AA\n:00000001FF\n"; // beyond the loader's 64 KiB
    }
    EXPECT_EQ(board.driver.downloadFirmware(board.handle, bad), Error::Parse);
    {
        std::ofstream f(bad);
        f << ":0100000055AA\n:01E600000019\n:00000001FF\n"; // the CPU's reset register
    }
    EXPECT_EQ(board.driver.downloadFirmware(board.handle, bad), Error::Parse);
    EXPECT_NE(board.driver.lastError().find("line 2: data at 0xE600"), std::string::npos)
        << board.driver.lastError();
    EXPECT_TRUE(board.bus.records().empty());
    EXPECT_EQ(board.driver.downloadFirmware(board.handle + 7, FX2_FIRMWARE_HEX), Error::NoDevice);
    EXPECT_TRUE(board.bus.records().empty());
}

TEST(UsbFirmware, BoardIsFoundAgainAfterReEnumeration) {
    Connected board(AfterRelease::Renumerate);
    const std::string before = board.bus.devnode();
    ASSERT_EQ(board.driver.downloadFirmware(board.handle, FX2_FIRMWARE_HEX), Error::None);
    EXPECT_EQ(board.bus.enumerations(), 2);
    EXPECT_NE(board.bus.devnode(), before);

    // The same handle now reaches the running firmware on the new device.
    board.bus.setResponder([](const SetupPacket&, std::span<uint8_t> data) {
        std::fill(data.begin(), data.end(), uint8_t{0x5A});
        return static_cast<int>(data.size());
    });
    board.bus.clearRecords();
    std::array<uint8_t, 2> in{};
    EXPECT_EQ(board.driver.vendorRequest(board.handle, 0xDA, 0, 0, 1, in), Error::None);
    EXPECT_EQ(in, (std::array<uint8_t, 2>{0x5A, 0x5A}));
    const auto records = board.bus.records();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].devnode, board.bus.devnode());
}

TEST(UsbFirmware, BoardThatNeverComesBackTimesOut) {
    Connected board(AfterRelease::Vanish);
    EXPECT_EQ(board.driver.downloadFirmware(board.handle, FX2_FIRMWARE_HEX), Error::Timeout);
    std::array<uint8_t, 1> none{};
    EXPECT_NE(board.driver.vendorRequest(board.handle, 0xDE, 0x9F, 0, 0, {none.data(), 0}),
              Error::None);
}

TEST(UsbVendorRequest, SetupPacketAndDataOfEachRequest) {
    Connected board(AfterRelease::Stay);
    board.bus.setFirmwareRunning(true);
    board.bus.setResponder([](const SetupPacket& s, std::span<uint8_t> data) {
        for (std::size_t i = 0; s.in() && i < data.size(); ++i)
            data[i] = static_cast<uint8_t>(s.request + i);
        return static_cast<int>(data.size());
    });
    struct Case {
        uint8_t request;
        int32_t value;
        int32_t index;
        uint8_t direction;
        int32_t length;
    };
    const std::array<Case, 7> cases{{{0xD9, 0x10, 0x8000, 0, 0},
                                     {0xDD, 0x00, 0x0123, 0, 0},
                                     {0xDD, 0x81, 0, 1, 3},
                                     {0xDA, 0, 0, 1, 2},
                                     {0xDE, 0x9F, 0x0002, 0, 0},
                                     {0xDB, 1, 0, 1, 0},
                                     {0xDC, 0, 0, 1, 0}}};
    for (const Case& c : cases) {
        std::array<uint8_t, 4> buffer{};
        EXPECT_EQ(board.driver.vendorRequest(board.handle, c.request, c.value, c.index, c.direction,
                                             {buffer.data(), static_cast<std::size_t>(c.length)}),
                  Error::None);
        for (int32_t i = 0; c.direction == 1 && i < c.length; ++i)
            EXPECT_EQ(buffer[static_cast<std::size_t>(i)], c.request + i);
    }
    const auto records = board.bus.records();
    ASSERT_EQ(records.size(), cases.size());
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const auto& s = records[i].setup;
        EXPECT_EQ(s.requestType, cases[i].direction ? 0xC0 : 0x40) << i;
        EXPECT_EQ(s.request, cases[i].request) << i;
        EXPECT_EQ(s.value, cases[i].value) << i;
        EXPECT_EQ(s.index, cases[i].index) << i;
        EXPECT_EQ(s.length, cases[i].length) << i;
        EXPECT_EQ(records[i].data.size(), static_cast<std::size_t>(cases[i].length)) << i;
    }

    // Out-of-range fields are refused before anything is sent.
    std::array<uint8_t, 1> none{};
    EXPECT_EQ(board.driver.vendorRequest(board.handle, 0xDD, 0x10000, 0, 0, {none.data(), 0}),
              Error::InvalidArgument);
    EXPECT_EQ(board.driver.vendorRequest(board.handle, 0xDD, 0, -1, 0, {none.data(), 0}),
              Error::InvalidArgument);
    // So is more data than one control transfer carries, in either direction.
    std::vector<uint8_t> big(0xFFFF);
    for (const std::size_t length : {std::size_t{4097}, std::size_t{0xFFFF}})
        for (const uint8_t direction : {uint8_t{0}, uint8_t{1}})
            EXPECT_EQ(board.driver.vendorRequest(board.handle, 0xDD, 0, 0, direction,
                                                 {big.data(), length}),
                      Error::InvalidArgument)
                << length;
    EXPECT_EQ(board.bus.records().size(), cases.size());
    EXPECT_EQ(board.driver.vendorRequest(board.handle, 0xDD, 0, 0, 0, {big.data(), 4096}),
              Error::None);
}

TEST(UsbVendorRequest, TransferErrorAndUnplugGiveAStatusNotACrash) {
    Connected board(AfterRelease::Stay);
    board.bus.setFirmwareRunning(true);
    board.bus.setResponder(
        [](const SetupPacket&, std::span<uint8_t> data) { return static_cast<int>(data.size()); });
    std::array<uint8_t, 3> buffer{};
    board.bus.failRequests(1, EPIPE);
    EXPECT_EQ(board.driver.vendorRequest(board.handle, 0xDD, 0x81, 0, 1, buffer), Error::Transfer);
    EXPECT_EQ(board.driver.vendorRequest(board.handle, 0xDD, 0x81, 0, 1, buffer), Error::None);
    board.bus.failRequests(1, EPROTO);
    EXPECT_EQ(board.driver.vendorRequest(board.handle, 0xDE, 0x9F, 0, 0, {buffer.data(), 0}),
              Error::Transfer);

    board.bus.unplug();
    EXPECT_EQ(board.driver.vendorRequest(board.handle, 0xDD, 0x81, 0, 1, buffer), Error::NoDevice);
    EXPECT_NE(board.driver.downloadFirmware(board.handle, FX2_FIRMWARE_HEX), Error::None);
    int32_t count = -1;
    std::array<uint8_t, 128> list{};
    EXPECT_EQ(board.driver.searchForBoards(kVendor, kProduct, count, list), Error::None);
    EXPECT_EQ(count, 0);
}

// The board may leave the bus between answering a request and the host collecting the
// answer (a re-enumerating board does it at a random moment). The answer still arrives, and
// the next request reports the missing board instead of waiting forever.
TEST(UsbVendorRequest, BoardLeavingRightAfterAnsweringGivesTheAnswerThenNoDevice) {
    Connected board(AfterRelease::Stay);
    board.bus.setFirmwareRunning(true);
    board.bus.setResponder([](const SetupPacket&, std::span<uint8_t> data) {
        std::fill(data.begin(), data.end(), uint8_t{0x42});
        return static_cast<int>(data.size());
    });
    board.bus.unplugAfterNextTransfer();
    std::array<uint8_t, 2> in{};
    EXPECT_EQ(board.driver.vendorRequest(board.handle, 0xDA, 0, 0, 1, in), Error::None);
    EXPECT_EQ(in, (std::array<uint8_t, 2>{0x42, 0x42}));
    EXPECT_EQ(board.driver.vendorRequest(board.handle, 0xDA, 0, 0, 1, in), Error::NoDevice);
    EXPECT_EQ(board.bus.records().size(), 1u);
}

TEST(UsbLegacy, LoadsTheFirstBoardAndServesIt) {
    EmulatedBoard bus;
    bus.plug();
    UsbDriver driver(fastOptions());
    std::array<uint8_t, 2> buffer{};
    EXPECT_EQ(driver.legacyVendorRequest(0xDA, 0, 0, 1, buffer), Error::NoDevice);
    ASSERT_EQ(driver.loadFirmware(FX2_FIRMWARE_HEX), Error::None);
    bus.setResponder([](const SetupPacket&, std::span<uint8_t> data) {
        std::fill(data.begin(), data.end(), uint8_t{0x77});
        return static_cast<int>(data.size());
    });
    EXPECT_EQ(driver.legacyVendorRequest(0xDA, 0, 0, 1, buffer), Error::None);
    EXPECT_EQ(buffer, (std::array<uint8_t, 2>{0x77, 0x77}));
}

// A pulled cable as the program's watch sees it: the opened board is attached until it
// leaves, and a board plugged back is counted on the bus but is not the old handle's; the
// legacy back end opens it afresh at its next firmware load. Nothing is sent to a board.
TEST(UsbPresence, AttachedUntilUnpluggedAndCountedOnTheBus) {
    Connected board(AfterRelease::Stay);
    EXPECT_TRUE(board.driver.boardAttached(board.handle));
    EXPECT_FALSE(board.driver.boardAttached(board.handle + 1));
    EXPECT_EQ(board.driver.countBoards(kVendor, kProduct), 1);
    EXPECT_EQ(board.driver.countBoards(kVendor, kProduct + 1), 0);
    EXPECT_EQ(board.driver.countBoards(-1, kProduct), -1);

    board.bus.unplug();
    EXPECT_FALSE(board.driver.boardAttached(board.handle));
    EXPECT_EQ(board.driver.countBoards(kVendor, kProduct), 0);
    board.bus.plug();
    EXPECT_EQ(board.driver.countBoards(kVendor, kProduct), 1);
    EXPECT_FALSE(board.driver.boardAttached(board.handle));
    EXPECT_TRUE(board.bus.records().empty());
}

TEST(UsbPresence, LegacyBoardIsLoadedAgainAfterReplugging) {
    EmulatedBoard bus;
    bus.plug();
    UsbDriver driver(fastOptions());
    ASSERT_EQ(driver.loadFirmware(FX2_FIRMWARE_HEX), Error::None);
    EXPECT_TRUE(driver.boardAttached(0));
    bus.unplug();
    EXPECT_FALSE(driver.boardAttached(0));
    bus.plug();
    ASSERT_EQ(driver.loadFirmware(FX2_FIRMWARE_HEX), Error::None);
    EXPECT_TRUE(driver.boardAttached(0));
    std::array<uint8_t, 2> buffer{};
    bus.setFirmwareRunning(true);
    bus.setResponder([](const SetupPacket&, std::span<uint8_t> data) {
        std::fill(data.begin(), data.end(), uint8_t{0x55});
        return static_cast<int>(data.size());
    });
    EXPECT_EQ(driver.legacyVendorRequest(0xDA, 0, 0, 1, buffer), Error::None);
}
