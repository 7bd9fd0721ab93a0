#pragma once
// Two-point calibration of several channels against a meter, without the user reading it:
// per channel, the offset step with the 0 V code loaded and then the fine gain step with
// zero scale loaded, by the same arithmetic as the window's manual calibration
// (device/Calibration.h), written to the offset and fine gain registers. Passes repeat
// until both residuals are within the tolerance or the pass limit is reached.
//
// Before a channel is trimmed the meter must be seen to follow it: every measurement of the
// two points checks that the step from zero scale to 0 V reached the meter within
// kStepTolerance (MeterChecks.h), and every reading that it lies within the channel's range.
// A meter that fails either check ends the run with an Error of kind Meter saying what was
// seen; so do readings that are not one number (Meter.h).
//
// A run that fails or is cancelled puts every selected channel's range, trims and data code
// back as it found them. A channel that ends outside the tolerance gets its range and trims
// back too (ChannelCalibration::restored); one within it keeps its new trims. Every run loads
// each channel's data register back as it found it.

#include "bench/Bench.h"
#include "bench/Meter.h"

#include <QJsonArray>
#include <QString>

#include <functional>
#include <vector>

namespace tq::bench {

struct CalibrationOptions {
    std::vector<Channel> channels{kChannels.begin(), kChannels.end()};
    double toleranceLsb = 0.5; // both residuals within this end the passes
    int maxPasses = 3;
};

// The output's error at the two calibration points.
struct PointErrors {
    double offsetVolts = 0;    // output at the 0 V code
    double zeroScaleVolts = 0; // output at zero scale minus its ideal, -R
    double offsetLsb = 0;      // the same in LSB of the channel's range (2R / 65536)
    double zeroScaleLsb = 0;
};

struct ChannelCalibration {
    Channel channel = Channel::A;
    float rangeVolts = 10;
    PointErrors before;
    PointErrors after;
    int passes = 0;
    bool withinTolerance = false;
    // A correction was beyond the register's range and limited to it.
    bool offsetLimited = false;
    bool gainLimited = false;
    int32_t offsetCode = 0; // registers as last written by the passes
    int32_t fineCode = 0;
    bool restored = false; // outside the tolerance: the trims were put back as found
};

struct CalibrationProgress {
    Channel channel = Channel::A;
    int step = 0; // measurements done so far
    // The most the run can take; it shrinks when a channel ends early, and equals step at
    // the run's end.
    int steps = 0;
    QString what; // the measurement about to be made, e.g. "DAC B, pass 1: zero scale";
                  // empty at the end
};

struct CalibrationHooks {
    // Before each measurement, and once at the end of a run that succeeded.
    std::function<void(const CalibrationProgress&)> progress;
    // Polled before each meter reading and while the output settles (it may be called from
    // any thread the run runs on): true stops the run within one reading.
    std::function<bool()> cancelled;
};

// Runs the calibration. Refuses channels that are All or repeated, and a board whose serial
// data output is off (the registers must be read back). Cancelling gives an Error of kind
// Cancelled after the channels were put back; a failure to put them back is added to the
// run's error.
Outcome<std::vector<ChannelCalibration>> Calibrate(Bench& bench, Meter& meter,
                                                   const CalibrationOptions& options,
                                                   const CalibrationHooks& hooks = {});

// The errors before and after as a table for a terminal, one line per channel.
QString CalibrationTable(const std::vector<ChannelCalibration>& results);
// The same as a JSON array of channel objects, and as its text.
QJsonArray CalibrationJsonArray(const std::vector<ChannelCalibration>& results);
QByteArray CalibrationJson(const std::vector<ChannelCalibration>& results);

} // namespace tq::bench
