#pragma once
// What a run against the meter (calibration, sweep) relies on before it trusts a reading:
// readings a channel's output can give, a meter seen to follow the channel it is meant to
// be on, the channels put back as the run found them, and the run's cancel check on the
// meter. Failures are Errors of kind Meter that say what was seen.

#include "bench/Bench.h"
#include "bench/Meter.h"

#include <QString>

#include <functional>
#include <span>
#include <utility>
#include <vector>

namespace tq::bench {

// A reading is the channel's output only within its range widened by this fraction.
inline constexpr double kRangeMargin = 0.05;
// A step of the output must appear at the meter within this fraction of its nominal size.
inline constexpr double kStepTolerance = 0.05;

// Refuses `volts`, read on `channel` of full scale `rangeVolts`, when no output can give it;
// `what` says what was loaded, e.g. "0 V".
Status CheckReading(Channel channel, double rangeVolts, double volts, const QString& what);

// Refuses a meter whose reading changed by `seenVolts` while the channel's output stepped
// by `nominalVolts`, e.g. "DAC B stepped by 10 V, the meter saw 0.0004 V: is it on DAC B?".
Status CheckFollows(Channel channel, double nominalVolts, double seenVolts);

// The registers of some channels as a run found them.
class ChannelsAsFound {
public:
    // Reads them (serial data output must be on).
    static Outcome<ChannelsAsFound> read(Bench& bench, std::span<const Channel> channels);
    enum Part { Whole, DataOnly };
    // Writes back range, trims and then data code (or the data code alone), of every channel
    // read or of one; the first failure is returned after everything else was still tried.
    Status restore(Bench& bench) const;
    Status restore(Bench& bench, Channel channel, Part part = Whole) const;

private:
    std::vector<std::pair<Channel, ChannelRegisters>> saved_;
};

// Puts a cancel check on a meter for the scope's length, then the one it had.
class MeterCancelScope {
public:
    MeterCancelScope(Meter& meter, std::function<bool()> cancelled)
        : meter_(meter), before_(meter.setCancelCheck(std::move(cancelled))) {}
    ~MeterCancelScope() { meter_.setCancelCheck(std::move(before_)); }
    MeterCancelScope(const MeterCancelScope&) = delete;
    MeterCancelScope& operator=(const MeterCancelScope&) = delete;

private:
    Meter& meter_;
    std::function<bool()> before_;
};

} // namespace tq::bench
