// The exported Vendor_Request, called through our driver library loaded as the programs load
// it, against a bare libusb_control_transfer, both on the same emulated board. The two sides
// take turns over the repetitions (in alternating order), each timed on the wall clock: the
// emulated board answers on other threads, so CPU time would miss most of the work. Prints
// the median of the per-repetition ratios.

#include "EmulatedBoard.h"
#include "Median.h"
#include "Preload.h"

#include "board/DriverLibrary.h"

#include <benchmark/benchmark.h>
#include <libusb.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <unistd.h>
#include <vector>

using tq::test::Median;

namespace {

using tq::usbtest::EmulatedBoard;

constexpr const char* kOurs = "Vendor_Request";
constexpr const char* kBare = "libusb_control_transfer";
constexpr int kDefaultRepetitions = 9;

int echo(const tq::usbtest::SetupPacket&, std::span<uint8_t> data) {
    std::fill(data.begin(), data.end(), uint8_t{0xA5});
    return static_cast<int>(data.size());
}

// Keeps each run's time per request, and prints the machine's description only once.
class Reporter : public benchmark::ConsoleReporter {
public:
    // Colours only on a terminal.
    Reporter() : ConsoleReporter(isatty(STDOUT_FILENO) ? OO_ColorTabular : OO_None) {}
    bool ReportContext(const Context& context) override {
        if (contextShown_) return true;
        contextShown_ = true;
        const bool ok = ConsoleReporter::ReportContext(context);
        // Each run matches one benchmark; the column must fit both names.
        name_field_width_ = std::max(name_field_width_, std::strlen(kBare) + 11);
        return ok;
    }
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& r : runs)
            if (!r.error_occurred)
                times[r.run_name.function_name].push_back(r.GetAdjustedRealTime());
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, std::vector<double>> times;

private:
    bool contextShown_ = false;
};

// Takes "--repetitions=N" out of the arguments.
int takeRepetitions(int& argc, char** argv) {
    int repetitions = kDefaultRepetitions;
    int kept = 0;
    for (int i = 0; i < argc; ++i) {
        if (std::strncmp(argv[i], "--repetitions=", 14) == 0)
            repetitions = std::max(1, std::atoi(argv[i] + 14));
        else
            argv[kept++] = argv[i];
    }
    argc = kept;
    return repetitions;
}

} // namespace

int main(int argc, char** argv) {
    tq::usbtest::RunWithPreload(argv);
    const int repetitions = takeRepetitions(argc, argv);
    benchmark::Initialize(&argc, argv);

    // One board for both sides, made before either side's libusb context.
    EmulatedBoard board;
    board.setFirmwareRunning(true);
    board.setResponder(echo);
    board.plug();

    tq::board::DriverLibrary library(QStringLiteral(TQ_BIN_DIR "/libQRV_CYUSB_USB4.so"));
    int32_t count = 0;
    int32_t handle = 0;
    std::array<uint8_t, 128> list{};
    library.Search_For_Boards(0x0456, 0xB202, &count, list.data());
    if (library.Connect(0x0456, 0xB202, list[0], &handle) != 0) {
        std::fprintf(stderr, "our driver library found no board: %s\n",
                     library.lastErrorText().c_str());
        return 1;
    }

    libusb_context* ctx = nullptr;
    libusb_init(&ctx);
    libusb_device_handle* bare = libusb_open_device_with_vid_pid(ctx, 0x0456, 0xB202);
    if (!bare) {
        std::fputs("libusb found no board\n", stderr);
        libusb_exit(ctx);
        return 1;
    }

    benchmark::RegisterBenchmark(
        kOurs,
        [&](benchmark::State& state) {
            std::array<uint8_t, 3> buffer{};
            for (auto _ : state) {
                if (library.Vendor_Request(handle, 0xDD, 0x81, 0, 1, 3, buffer.data()) != 0)
                    state.SkipWithError("request failed");
                benchmark::DoNotOptimize(buffer);
            }
        })
        ->UseRealTime()
        ->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark(
        kBare,
        [&](benchmark::State& state) {
            std::array<uint8_t, 3> buffer{};
            for (auto _ : state) {
                if (libusb_control_transfer(bare, 0xC0, 0xDD, 0x81, 0, buffer.data(), 3, 1000) != 3)
                    state.SkipWithError("request failed");
                benchmark::DoNotOptimize(buffer);
            }
        })
        ->UseRealTime()
        ->Unit(benchmark::kMicrosecond);

    Reporter reporter;
    for (int r = 0; r < repetitions; ++r) {
        const bool oursFirst = r % 2 == 0;
        for (const char* name : {oursFirst ? kOurs : kBare, oursFirst ? kBare : kOurs})
            benchmark::RunSpecifiedBenchmarks(&reporter, std::string("^") + name + "/");
    }
    libusb_close(bare);
    libusb_exit(ctx);
    benchmark::Shutdown();

    const auto& ours = reporter.times[kOurs];
    const auto& plain = reporter.times[kBare];
    std::vector<double> ratios;
    for (std::size_t i = 0; i < std::min(ours.size(), plain.size()); ++i)
        if (plain[i] > 0) ratios.push_back(ours[i] / plain[i]);
    if (ratios.empty()) {
        std::fputs("no ratio: a side failed\n", stderr);
        return 1;
    }
    const auto [low, high] = std::minmax_element(ratios.begin(), ratios.end());
    std::printf("Vendor_Request / bare libusb_control_transfer = %.3f (median of %zu "
                "repetitions, %.3f to %.3f)\n",
                Median(ratios), ratios.size(), *low, *high);
    return 0;
}
