#pragma once
// What the global options of tq5802ctl chose, and the exit codes every command ends with.

#include "bench/Bench.h"
#include "bench/Outcome.h"
#include "bench/Sweep.h"

#include <QString>

#include <functional>

namespace tq::cli {

// The program's exit codes; --help and docs/scripting.md list them.
enum ExitCode : int {
    kDone = 0,
    kTransferFailed = 1, // a transfer failed on the way
    kUsage = 2,          // a usage or value error: nothing was sent
    kNoBoard = 3,        // no board, or its firmware could not be started
    kDriverLoad = 4,     // the driver library could not be loaded
    kMeter = 5,          // the meter could not be reached or answered nonsense
    kCancelled = 6,      // the user stopped a calibration, sweep or play
    kOutOfTolerance = 7, // a calibration ran but a channel ended outside 0.5 LSB
};

// How each kind of error ends a command: its exit code and its name in JSON errors.
int ExitCodeOf(bench::Error::Kind kind);
QString KindName(bench::Error::Kind kind);

struct Options {
    bench::Model model = bench::Model::TQ5802R;
    QString driverPath;   // absolute
    QString firmwarePath; // absolute
    int board = 0;
    bool json = false;      // JSON Lines on standard output
    bool keepGoing = false; // a batch runs past failing lines
    // Draws a sweep's plot into a file; empty unless the plot library was loaded (--plot).
    std::function<bench::Status(const bench::SweepResult&, const QString&)> renderPlot;
};

} // namespace tq::cli
