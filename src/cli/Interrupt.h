#pragma once
// SIGINT and SIGTERM held back while a meter run (calibrate, sweep) is under way: the run
// sees them between readings, puts the board back as it found it, and the program then ends
// with exit code 6, instead of dying with trims half written.

#include <csignal>

namespace tq::cli {

class InterruptHold {
public:
    // Blocks SIGINT and SIGTERM on this thread and so on every thread started after it
    // (driver and meter threads), so that they stay pending for InterruptPending().
    InterruptHold();
    // Takes a signal still pending (the run has answered for it), then release().
    ~InterruptHold();
    InterruptHold(const InterruptHold&) = delete;
    InterruptHold& operator=(const InterruptHold&) = delete;

    // Unblocks as before: a pending signal is delivered now.
    void release();

private:
    sigset_t before_{};
    bool held_ = false;
};

// A SIGINT or SIGTERM waits to be taken.
bool InterruptPending();
// Takes a waiting SIGINT or SIGTERM; false when there was none.
bool TakeInterrupt();

} // namespace tq::cli
