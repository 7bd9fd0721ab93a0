// The sequence player on the simulated board: four channels of a sine at 1,000 points/s for
// ten seconds a repetition (bench_sequence [seconds] [repetitions] [rate]). Each point's
// lateness is taken from the board's side, the moment its pulse transfer arrives, against
// the first point's plus i periods; the CPU time is the process's own. Prints, as medians
// over the repetitions: the achieved rate over the asked one, the share of points within
// 1 ms of their deadline, and the share of one core used.

#include "Median.h"
#include "bench/Sequence.h"
#include "board/DriverLibrary.h"

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

using tq::test::Median;

namespace {

using Clock = std::chrono::steady_clock;

double CpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    const auto s = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
    return s(u.ru_utime) + s(u.ru_stime);
}

} // namespace

int main(int argc, char** argv) {
    using namespace tq;
    const double seconds = argc > 1 ? std::atof(argv[1]) : 10;
    const int repetitions = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
    const double rate = argc > 3 ? std::atof(argv[3]) : 1000;

    board::DriverLibrary library(QStringLiteral(TQ_BIN_DIR "/libTQ5802Sim.so"));
    bench::Bench b(library, bench::Model::TQ5802R);
    if (bench::Status s = b.start(QStringLiteral(TQ_BIN_DIR "/TQ5802.hex")); !s) {
        std::fprintf(stderr, "%s\n", s.error().message.c_str());
        return 1;
    }
    std::vector<Clock::time_point> pulses;
    b.declare().addObserver([&](const board::Transfer& t) {
        if (t.request == board::kWriteAndPulse) pulses.push_back(Clock::now());
    });
    std::vector<bench::Shape> shapes;
    for (const bench::Channel c : bench::kChannels)
        shapes.push_back({.channel = c,
                          .amplitude = 9,
                          .frequency = 7,
                          .phaseDegrees = 90.0 * static_cast<double>(bench::ChannelIndex(c))});
    const bench::PlayOptions options{.rate = rate, .count = std::llround(seconds * 7)};

    std::vector<double> achieved, within, cpu;
    for (int r = 0; r < repetitions; ++r) {
        pulses.clear();
        const double cpu0 = CpuSeconds();
        const Clock::time_point wall0 = Clock::now();
        const auto report = bench::Play(b, shapes, options);
        const double wall = std::chrono::duration<double>(Clock::now() - wall0).count();
        if (!report) {
            std::fprintf(stderr, "%s\n", report.error().message.c_str());
            return 1;
        }
        std::size_t onTime = 0;
        for (std::size_t i = 0; i < pulses.size(); ++i) {
            const double late = std::chrono::duration<double>(pulses[i] - pulses[0]).count() -
                                static_cast<double>(i) / rate;
            onTime += late <= 1e-3 ? 1 : 0;
        }
        achieved.push_back(report->achievedRate / rate);
        within.push_back(static_cast<double>(onTime) / static_cast<double>(pulses.size()));
        cpu.push_back((CpuSeconds() - cpu0) / wall);
        std::printf("repetition %d: %s\n", r + 1, qPrintable(bench::PlaySummary(*report)));
    }
    std::printf("achieved / asked rate = %.5f, points within 1 ms = %.4f, share of one core = "
                "%.4f (medians of %d repetitions of %g s at %g points/s, four channels)\n",
                Median(achieved), Median(within), Median(cpu), repetitions, seconds, rate);
    return 0;
}
