#pragma once
// What the global options of tq5802ctl chose, and the exit codes every command ends with.

#include "bench/Bench.h"
#include "bench/Outcome.h"

#include <QString>

namespace tq::cli {

// The program's exit codes; --help and the README list them.
enum ExitCode : int {
    kDone = 0,
    kTransferFailed = 1, // a transfer failed on the way
    kUsage = 2,          // a usage or value error: nothing was sent
    kNoBoard = 3,        // no board, or its firmware could not be started
    kDriverLoad = 4,     // the driver library could not be loaded
};

int ExitCodeOf(bench::Error::Kind kind);

struct Options {
    bench::Model model = bench::Model::TQ5802R;
    QString driverPath;   // absolute
    QString firmwarePath; // absolute
    int board = 0;
    bool json = false;      // JSON Lines on standard output
    bool keepGoing = false; // a batch runs past failing lines
};

// The firmware image used without --firmware: TQ5802.hex beside the program.
QString DefaultFirmwarePath();

} // namespace tq::cli
