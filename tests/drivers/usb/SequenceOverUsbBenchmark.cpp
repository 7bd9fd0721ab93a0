// The sequence player on our USB driver library over the emulated board (the simulated
// board's model behind it), against bare libusb_control_transfer on the same device: the
// rate the player reaches with four channels asked for the fastest rate it allows, over the
// rate of the same writes sent back to back through libusb divided by the transfers a point
// takes (or over the player's limit, should the link be faster). The sides take turns over
// the repetitions (in alternating order), each on the wall clock: the emulated board answers
// on other threads. Prints the median of the per-repetition ratios, and the CPU time each
// side's own thread spends per transfer, which other processes on the machine disturb less
// (bench_usb_sequence [repetitions] [points]).

#include "EmulatedBoard.h"
#include "Median.h"
#include "Preload.h"
#include "SimBehindUsb.h"

#include "bench/Sequence.h"
#include "board/DriverLibrary.h"

#include <libusb.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <vector>

using tq::test::Median;

namespace {

using Clock = std::chrono::steady_clock;
constexpr uint8_t kVendorOut = 0x40; // a vendor request, host to device

// CPU time of the calling thread: what each side spends itself, apart from the emulation's
// threads and from other processes.
double ThreadCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

} // namespace

int main(int argc, char** argv) {
    using namespace tq;
    usbtest::RunWithPreload(argv);
    const int repetitions = argc > 1 ? std::max(1, std::atoi(argv[1])) : 21;
    const int points = argc > 2 ? std::max(2, std::atoi(argv[2])) : 1000;

    // The emulated bus before any libusb context.
    usbtest::EmulatedBoard device(10);
    sim::SimBoard model;
    usbtest::putSimBehind(device, model);
    device.setAfterRelease(usbtest::AfterRelease::Renumerate);
    device.plug();

    board::DriverLibrary library(QStringLiteral(TQ_BIN_DIR "/libQRV_CYUSB_USB4.so"));
    bench::Bench b(library, bench::Model::TQ5802R);
    if (bench::Status s = b.start(QStringLiteral(TQ_BIN_DIR "/TQ5802.hex")); !s) {
        std::fprintf(stderr, "%s\n", s.error().message.c_str());
        return 1;
    }
    device.settle();

    // Four channels of a ramp in codes, each point different on every channel.
    bench::SequenceTable table;
    for (const bench::Channel c : bench::kChannels)
        table.columns.push_back({c, bench::SequenceUnit::Code});
    for (int i = 0; i < points; ++i)
        for (std::size_t j = 0; j < table.columns.size(); ++j)
            table.values.push_back((i * 16 + static_cast<int>(j) * 4096) % 65536);
    const int perPoint = bench::TransfersPerPoint(table.columns.size());
    const bench::PlayOptions options{.rate = bench::MaxRate(table.columns.size()), .count = 1};

    // The player's writes, replayed as they were by the bare side.
    std::vector<board::Transfer> writes;
    const int observer = b.declare().addObserver([&](const board::Transfer& t) {
        if (writes.size() < static_cast<std::size_t>(perPoint) * 2) writes.push_back(t);
    });
    device.clearRecords();
    if (const auto first = bench::Play(b, table, options); !first) {
        std::fprintf(stderr, "%s\n", first.error().message.c_str());
        return 1;
    }
    b.declare().removeObserver(observer);
    // What the denominator assumes, as the device counted it (the lines held and put back
    // around the play add a few).
    std::printf("transfers a point: %d planned, %.4f seen by the device\n", perPoint,
                static_cast<double>(device.records().size()) / points);

    libusb_context* ctx = nullptr;
    libusb_init(&ctx);
    libusb_device_handle* bare = libusb_open_device_with_vid_pid(
        ctx, usbtest::EmulatedBoard::kBoardVendor, usbtest::EmulatedBoard::kBoardProduct);
    if (!bare) {
        std::fputs("libusb found no board\n", stderr);
        libusb_exit(ctx);
        return 1;
    }

    const auto playRate = [&] {
        const auto report = bench::Play(b, table, options);
        return report ? report->achievedRate : 0.0;
    };
    // Transfers a second, back to back, as many as the play sends.
    const auto bareRate = [&] {
        const std::size_t n = static_cast<std::size_t>(points) * perPoint;
        uint8_t none = 0;
        const Clock::time_point t0 = Clock::now();
        for (std::size_t i = 0; i < n; ++i) {
            const board::Transfer& t = writes[i % writes.size()];
            if (libusb_control_transfer(bare, kVendorOut, t.request, static_cast<uint16_t>(t.value),
                                        static_cast<uint16_t>(t.index), &none, 0, 1000) < 0)
                return 0.0;
        }
        return static_cast<double>(n) / std::chrono::duration<double>(Clock::now() - t0).count();
    };

    std::vector<double> ratios, played, limits, playCpu, bareCpu;
    const double transfersEach = static_cast<double>(points) * perPoint;
    const auto timed = [&](const auto& side, std::vector<double>& cpu) {
        const double c0 = ThreadCpuSeconds();
        const double rate = side();
        cpu.push_back((ThreadCpuSeconds() - c0) / transfersEach * 1e6);
        return rate;
    };
    for (int r = 0; r < repetitions; ++r) {
        device.clearRecords();
        double play = 0, transfers = 0;
        if (r % 2 == 0) {
            play = timed(playRate, playCpu);
            transfers = timed(bareRate, bareCpu);
        } else {
            transfers = timed(bareRate, bareCpu);
            play = timed(playRate, playCpu);
        }
        if (play <= 0 || transfers <= 0) {
            std::fputs("a side failed\n", stderr);
            return 1;
        }
        const double limit = std::min(transfers / perPoint, options.rate);
        std::printf("repetition %d: played %.0f points/s; bare libusb %.0f transfers/s / %d = "
                    "%.0f points/s\n",
                    r + 1, play, transfers, perPoint, limit);
        played.push_back(play);
        limits.push_back(limit);
        ratios.push_back(play / limit);
    }
    libusb_close(bare);
    libusb_exit(ctx);

    const auto [low, high] = std::minmax_element(ratios.begin(), ratios.end());
    std::printf("highest play rate / (bare libusb transfers/s / %d transfers a point) = %.3f "
                "(median of %d repetitions, %.3f to %.3f; %.0f of %.0f points/s, the player "
                "allowing %.0f)\n",
                perPoint, Median(ratios), repetitions, *low, *high, Median(played), Median(limits),
                options.rate);
    std::printf("CPU of the sending thread per transfer: player %.1f us, bare libusb %.1f us "
                "(bare / player = %.3f)\n",
                Median(playCpu), Median(bareCpu), Median(bareCpu) / Median(playCpu));
    return 0;
}
