// The driver library loaded by its path, as a program loads it: both ABIs and the extras.

#include "board/driver_abi.h"
#include "drivers/sim/sim_abi.h"

#include <QLibrary>

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <string>
#include <vector>

namespace {

std::vector<uint8_t> pathBytes(const std::string& path) {
    std::vector<uint8_t> bytes(path.begin(), path.end());
    bytes.push_back(0);
    return bytes;
}

uint8_t mirror(uint8_t b) {
    uint8_t r = 0;
    for (int i = 0; i < 8; ++i) {
        if (b & (1u << i)) r = static_cast<uint8_t>(r | (0x80u >> i));
    }
    return r;
}

class SimLibrary : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(lib.load()) << lib.errorString().toStdString();
        resolve(search, "Search_For_Boards");
        resolve(connect, "Connect");
        resolve(download, "Download_Firmware");
        resolve(vendor, "Vendor_Request");
        resolve(loadFirmware, "LoadFirmWare");
        resolve(vendorIo, "VendorIORequest");
        resolve(reset, "TQSim_Reset");
        resolve(setAbsent, "TQSim_SetAbsent");
        resolve(setFailing, "TQSim_SetFailingTransfers");
        resolve(unplug, "TQSim_Unplug");
        resolve(replug, "TQSim_Replug");
        resolve(outputVolts, "TQSim_OutputVolts");
        resolve(getTemperature, "TQSim_GetDieTemperature");
        resolve(setTemperature, "TQSim_SetDieTemperature");
        resolve(readRegisters, "TQSim_ReadRegisters");
        reset();
    }
    template <typename Fn> void resolve(Fn& fn, const char* name) {
        fn = reinterpret_cast<Fn>(lib.resolve(name));
        ASSERT_NE(fn, nullptr) << name;
    }
    // Search, connect, download: the newer back end's start.
    int16_t open(const std::string& image, int32_t& handle) {
        int32_t count = 0;
        std::array<uint8_t, 128> list{};
        search(0x0456, 0xB202, &count, list.data());
        connect(0x0456, 0xB202, list[0], &handle);
        auto bytes = pathBytes(image);
        return download(handle, bytes.data());
    }

    QLibrary lib{QStringLiteral(TQ_SIM_LIBRARY)};
    Search_For_Boards_fn search = nullptr;
    Connect_fn connect = nullptr;
    Download_Firmware_fn download = nullptr;
    Vendor_Request_fn vendor = nullptr;
    LoadFirmWare_fn loadFirmware = nullptr;
    VendorIORequest_fn vendorIo = nullptr;
    TQSim_Reset_fn reset = nullptr;
    TQSim_SetAbsent_fn setAbsent = nullptr;
    TQSim_SetFailingTransfers_fn setFailing = nullptr;
    TQSim_Unplug_fn unplug = nullptr;
    TQSim_Replug_fn replug = nullptr;
    TQSim_OutputVolts_fn outputVolts = nullptr;
    TQSim_GetDieTemperature_fn getTemperature = nullptr;
    TQSim_SetDieTemperature_fn setTemperature = nullptr;
    TQSim_ReadRegisters_fn readRegisters = nullptr;
};

TEST_F(SimLibrary, NewerBackEndWritesReadsAndMeasures) {
    int32_t count = 0;
    std::array<uint8_t, 128> list{};
    ASSERT_EQ(search(0x0456, 0xB202, &count, list.data()), 0);
    EXPECT_EQ(count, 1);
    EXPECT_EQ(list[0], 1);
    int32_t handle = 0;
    ASSERT_EQ(open(TQ_SHIPPED_HEX, handle), 0);
    EXPECT_NE(handle, 0);

    uint8_t zero = 0;
    ASSERT_EQ(vendor(handle, 0xD9, 0x10, 0x8000, 0, 0, &zero), 0);
    std::array<uint8_t, 4> buf{};
    ASSERT_EQ(vendor(handle, 0xDD, 0x90, 0, 1, 3, buf.data()), 0);
    ASSERT_EQ(vendor(handle, 0xDD, 0x90, 0, 1, 3, buf.data()), 0);
    EXPECT_EQ(mirror(buf[1]) << 8 | mirror(buf[2]), 0x8000);
    EXPECT_NEAR(outputVolts(0), 3.4 * 20.0 / 65536.0, 1e-9); // 0 V code plus A's offset

    setTemperature(-12.5);
    EXPECT_EQ(getTemperature(), -12.5);
    ASSERT_EQ(vendor(handle, 0xDA, 0, 0, 1, 2, buf.data()), 0);
    const int counts = mirror(buf[0]) << 8 | mirror(buf[1]);
    EXPECT_NEAR(counts / 4096.0 * 3.29 / 0.005 - 255.5, -12.5, 0.5);

    EXPECT_NE(vendor(handle + 1, 0xDD, 0x90, 0, 1, 3, buf.data()), 0);
    EXPECT_NE(vendor(handle, 0xDD, 0x90, 0, 1, 3, nullptr), 0);
    EXPECT_NE(vendor(handle, 0xDD, 0x90, 0, 1, -1, buf.data()), 0);
    EXPECT_TRUE(std::isnan(outputVolts(4)));
}

TEST_F(SimLibrary, LegacyBackEndWritesReadsAndMeasures) {
    auto bytes = pathBytes(TQ_SHIPPED_HEX);
    ASSERT_EQ(loadFirmware(bytes.data()), 1);
    uint8_t zero = 0;
    ASSERT_EQ(vendorIo(0xD9, 0x10, 0x8000, 0, 0, &zero), 0);
    std::array<uint8_t, 4> buf{};
    ASSERT_EQ(vendorIo(0xDD, 0x90, 0, 1, 3, buf.data()), 0);
    ASSERT_EQ(vendorIo(0xDD, 0x90, 0, 1, 3, buf.data()), 0);
    EXPECT_EQ(mirror(buf[1]) << 8 | mirror(buf[2]), 0x8000);
    ASSERT_EQ(vendorIo(0xDA, 0, 0, 1, 2, buf.data()), 0);
    EXPECT_EQ(mirror(buf[0]) << 8 | mirror(buf[1]), 1746);
    EXPECT_NE(vendorIo(0x1D9, 0x10, 0, 0, 0, &zero), 0);

    TQSimRegisters regs{};
    ASSERT_EQ(readRegisters(&regs), 0);
    EXPECT_EQ(regs.input[0], 0x8000);
    EXPECT_EQ(regs.firmwareRunning, 1);
    EXPECT_EQ(readRegisters(nullptr), -1);
}

TEST_F(SimLibrary, StartFailsWithoutBoardOrImage) {
    int32_t handle = 0;
    EXPECT_NE(open("/nonexistent/TQ5802.hex", handle), 0);
    auto missing = pathBytes("/nonexistent/TQ5802.hex");
    EXPECT_EQ(loadFirmware(missing.data()), 0);
    EXPECT_EQ(loadFirmware(nullptr), 0);

    setAbsent(1);
    int32_t count = 7;
    std::array<uint8_t, 128> list{};
    EXPECT_EQ(search(0x0456, 0xB202, &count, list.data()), 0);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(list[0], 0);
    EXPECT_NE(open(TQ_SHIPPED_HEX, handle), 0);
    EXPECT_EQ(handle, 0);
    auto image = pathBytes(TQ_SHIPPED_HEX);
    EXPECT_EQ(loadFirmware(image.data()), 0);
}

TEST_F(SimLibrary, FaultsReportNonZeroStatus) {
    int32_t handle = 0;
    ASSERT_EQ(open(TQ_SHIPPED_HEX, handle), 0);
    std::array<uint8_t, 3> buf{};
    setFailing(1);
    EXPECT_NE(vendor(handle, 0xDD, 0x90, 0, 1, 3, buf.data()), 0);
    EXPECT_NE(vendorIo(0xDD, 0x90, 0, 1, 3, buf.data()), 0);
    setFailing(0);
    EXPECT_EQ(vendor(handle, 0xDD, 0x90, 0, 1, 3, buf.data()), 0);

    unplug();
    EXPECT_NE(vendor(handle, 0xDD, 0x90, 0, 1, 3, buf.data()), 0);
    replug();
    EXPECT_NE(vendor(handle, 0xDD, 0x90, 0, 1, 3, buf.data()), 0); // connection gone
    ASSERT_EQ(open(TQ_SHIPPED_HEX, handle), 0);
    EXPECT_EQ(vendor(handle, 0xDD, 0x90, 0, 1, 3, buf.data()), 0);
}

} // namespace
