// Our Vendor_Request path against a bare libusb_control_transfer loop, both on the same
// emulated board; prints the ratio of their times per request.

#include "EmulatedBoard.h"
#include "UsbDriver.h"

#include <benchmark/benchmark.h>
#include <libusb.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <unistd.h>

namespace {

using tq::usbtest::EmulatedBoard;

int echo(const tq::usbtest::SetupPacket&, std::span<uint8_t> data) {
    std::fill(data.begin(), data.end(), uint8_t{0xA5});
    return static_cast<int>(data.size());
}

void OurVendorRequest(benchmark::State& state) {
    EmulatedBoard board;
    board.setFirmwareRunning(true);
    board.setResponder(echo);
    board.plug();
    tq::usb::UsbDriver driver;
    int32_t count = 0;
    int32_t handle = 0;
    std::array<uint8_t, 128> list{};
    driver.searchForBoards(0x0456, 0xB202, count, list);
    if (driver.connect(0x0456, 0xB202, list[0], handle) != tq::usb::Error::None) {
        state.SkipWithError("no board");
        return;
    }
    std::array<uint8_t, 3> buffer{};
    for (auto _ : state) {
        if (driver.vendorRequest(handle, 0xDD, 0x81, 0, 1, buffer) != tq::usb::Error::None)
            state.SkipWithError("request failed");
        benchmark::DoNotOptimize(buffer);
    }
}

void BareControlTransfer(benchmark::State& state) {
    EmulatedBoard board;
    board.setFirmwareRunning(true);
    board.setResponder(echo);
    board.plug();
    libusb_context* ctx = nullptr;
    libusb_init(&ctx);
    libusb_device_handle* handle = libusb_open_device_with_vid_pid(ctx, 0x0456, 0xB202);
    if (!handle) {
        state.SkipWithError("no board");
        libusb_exit(ctx);
        return;
    }
    std::array<uint8_t, 3> buffer{};
    for (auto _ : state) {
        if (libusb_control_transfer(handle, 0xC0, 0xDD, 0x81, 0, buffer.data(), 3, 1000) != 3)
            state.SkipWithError("request failed");
        benchmark::DoNotOptimize(buffer);
    }
    libusb_close(handle);
    libusb_exit(ctx);
}

BENCHMARK(OurVendorRequest)->Unit(benchmark::kMicrosecond);
BENCHMARK(BareControlTransfer)->Unit(benchmark::kMicrosecond);

class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& r : runs)
            times[r.benchmark_name()] = r.GetAdjustedRealTime();
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> times;
};

} // namespace

int main(int argc, char** argv) {
    // The emulation needs umockdev's preload library from the process's start.
    if (const char* p = std::getenv("LD_PRELOAD"); !p || !std::strstr(p, "libumockdev-preload")) {
        setenv("LD_PRELOAD", "libumockdev-preload.so.0", 1);
        setenv("ASAN_OPTIONS", "verify_asan_link_order=0", 1);
        execv("/proc/self/exe", argv);
        return 1;
    }
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const double ours = reporter.times["OurVendorRequest"];
    const double bare = reporter.times["BareControlTransfer"];
    if (ours > 0 && bare > 0)
        std::printf("Vendor_Request / bare libusb_control_transfer = %.3f\n", ours / bare);
    return 0;
}
