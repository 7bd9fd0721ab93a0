#pragma once
// Each client's error/event queue and standard event status register, as IEEE 488.2 and
// SCPI define them: standard negative error numbers, and positive ones for this device.

#include <cstdint>
#include <deque>
#include <string>
#include <string_view>

namespace tq::scpi {

// The device's own error numbers.
inline constexpr int kTransferFailed = 101; // a transfer with the board failed (driver status)
inline constexpr int kBoardGone = 102;      // the board no longer answers or was unplugged
inline constexpr int kMeterFailed = 103;    // the meter of an automatic calibration failed
// Standard numbers the command table gives for the board's own reasons.
inline constexpr int kHardwareMissing = -241; // a feature this board model does not have

// The text of an error number: "Syntax error", "Transfer failed"... ("Error" if unknown).
std::string_view ErrorText(int code);

class ErrorQueue {
public:
    static constexpr std::size_t kCapacity = 16;

    // Adds `code` with an optional detail. A full queue keeps its oldest entries and its
    // last one becomes -350 "Queue overflow".
    void push(int code, std::string_view detail = {});
    // The oldest entry as SYSTem:ERRor? answers it, `-113,"Undefined header;detail"`;
    // `0,"No error"` when empty.
    std::string next();
    std::size_t count() const { return entries_.size(); }
    void clear() { entries_.clear(); }

private:
    struct Entry {
        int code;
        std::string detail;
    };
    std::deque<Entry> entries_;
};

// Standard event status register bits.
enum EventBit : int {
    kOperationComplete = 1 << 0,
    kQueryError = 1 << 2,
    kDeviceError = 1 << 3,
    kExecutionError = 1 << 4,
    kCommandError = 1 << 5,
};

// What the server keeps per client.
struct Session {
    ErrorQueue errors;
    int esr = 0; // standard event status register
    int ese = 0; // its enable mask
    // The meter CALibration#:AUTO reads (CALibration:METer; empty: the server's first), and
    // its routing command.
    std::string meterUrl;
    std::string meterRoute;

    // Queues the error and sets its class's event bit.
    void fail(int code, std::string_view detail = {});
};

} // namespace tq::scpi
