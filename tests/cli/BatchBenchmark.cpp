// tq5802ctl's batch against a bare loop calling the simulated board library's Vendor_Request,
// both writing data registers on the same simulated board. The two sides alternate over the
// repetitions; each prints its rate, then the median ratio.
//
// The batch side is the whole command path short of starting the process and the board:
// reading and checking the script, running every line through the command table and the
// bench library, and writing each line's reply (to /dev/null).

#include "Median.h"
#include "board/BoardStart.h"
#include "board/driver_abi.h"
#include "cli/Commands.h"

#include <QCoreApplication>
#include <QFile>
#include <QLibrary>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

using tq::test::Median;

namespace {

using Clock = std::chrono::steady_clock;

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int lines = argc > 1 ? std::atoi(argv[1]) : 200000;
    const int repetitions = argc > 2 ? std::atoi(argv[2]) : 7;
    const QString dir = QCoreApplication::applicationDirPath();
    const QString simPath = dir + QStringLiteral("/libTQ5802Sim.so");

    // A staircase on channel A, one data-register write per line.
    QTemporaryDir temp;
    const QString scriptPath = temp.filePath(QStringLiteral("staircase.txt"));
    {
        QFile script(scriptPath);
        if (!script.open(QIODevice::WriteOnly)) return 1;
        QByteArray text;
        for (int i = 0; i < lines; ++i)
            text += "code A " + QByteArray::number(i & 0xFFFF) + '\n';
        script.write(text);
    }

    using namespace tq;
    auto opened = bench::Bench::open(
        {bench::Model::TQ5802R, simPath, dir + QStringLiteral("/TQ5802.hex"), 0});
    if (!opened) {
        std::fprintf(stderr, "cannot open the simulated board: %s\n",
                     opened.error().message.c_str());
        return 1;
    }
    QLibrary sim(simPath);
    auto search = reinterpret_cast<Search_For_Boards_fn>(sim.resolve("Search_For_Boards"));
    auto connect = reinterpret_cast<Connect_fn>(sim.resolve("Connect"));
    auto vendorRequest = reinterpret_cast<Vendor_Request_fn>(sim.resolve("Vendor_Request"));
    int32_t count = 0;
    uint8_t list[128]{};
    int32_t handle = 0;
    search(board::BoardStart::kVendorId, board::BoardStart::kProductId, &count, list);
    connect(board::BoardStart::kVendorId, board::BoardStart::kProductId, list[0], &handle);

    std::FILE* sink = std::fopen("/dev/null", "w");
    const std::string pathText = scriptPath.toStdString();
    std::vector<double> textRates, jsonRates, bareRates;
    for (int rep = 0; rep < repetitions; ++rep) {
        for (const bool json : {false, true}) {
            cli::Options options;
            options.json = json;
            cli::Output out(json ? cli::Output::Format::JsonLines : cli::Output::Format::Text, sink,
                            stderr);
            cli::Context context{options, out, opened.value().get()};
            const auto start = Clock::now();
            const std::string_view words[] = {"batch", pathText};
            const auto parsed = cli::ParseCommand(words);
            if (!parsed || cli::RunCommand(context, *parsed) != cli::kDone) return 1;
            out.flush();
            const double s = std::chrono::duration<double>(Clock::now() - start).count();
            (json ? jsonRates : textRates).push_back(lines / s);
        }
        {
            const auto start = Clock::now();
            uint8_t empty = 0;
            for (int i = 0; i < lines; ++i)
                if (vendorRequest(handle, 0xD9, 0x10, i & 0xFFFF, 0, 0, &empty) != 0) return 1;
            const double s = std::chrono::duration<double>(Clock::now() - start).count();
            bareRates.push_back(lines / s);
        }
        std::printf("repetition %d: batch %.0f writes/s (JSON Lines %.0f), bare Vendor_Request "
                    "%.0f/s\n",
                    rep + 1, textRates.back(), jsonRates.back(), bareRates.back());
    }
    std::vector<double> ratios, jsonRatios;
    for (std::size_t i = 0; i < bareRates.size(); ++i) {
        ratios.push_back(textRates[i] / bareRates[i]);
        jsonRatios.push_back(jsonRates[i] / bareRates[i]);
    }
    std::printf("median: batch %.0f writes/s, JSON Lines %.0f/s, bare %.0f/s\n", Median(textRates),
                Median(jsonRates), Median(bareRates));
    std::printf("median ratio batch / bare = %.3f (JSON Lines %.3f)\n", Median(ratios),
                Median(jsonRatios));
    std::fclose(sink);
    return 0;
}
