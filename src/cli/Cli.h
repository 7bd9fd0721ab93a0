#pragma once
// tq5802ctl's whole run: global options, the command, the board opened for it.

namespace tq::cli {

// Returns the exit code (see Options.h).
int Run(int argc, char** argv);

} // namespace tq::cli
