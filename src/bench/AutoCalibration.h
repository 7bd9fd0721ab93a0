#pragma once
// Two-point calibration of several channels against a meter, without the user reading it:
// per channel, the offset step with the 0 V code loaded and then the fine gain step with
// zero scale loaded, by the same arithmetic as the window's manual calibration
// (device/Calibration.h), written to the offset and fine gain registers. Passes repeat
// until both residuals are within the tolerance or the pass limit is reached.
//
// A cancelled or failed run writes every selected channel's offset and fine gain back as
// they were before it started. Every run, finished or not, loads each channel's data
// register back as it found it.

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
    int32_t offsetCode = 0; // registers as last written
    int32_t fineCode = 0;
};

struct CalibrationProgress {
    Channel channel = Channel::A;
    int step = 0;  // measurements done so far, 0-based
    int steps = 0; // the most the run can take
    QString what;  // e.g. "DAC B, pass 1: offset at 0 V"
};

struct CalibrationHooks {
    std::function<void(const CalibrationProgress&)> progress; // before each measurement
    std::function<bool()> cancelled;                          // polled between measurements
};

// Runs the calibration. Refuses channels that are All or repeated, and a board whose serial
// data output is off (the registers must be read back). Cancelling gives an Error of kind
// Cancelled after the trims were restored.
Outcome<std::vector<ChannelCalibration>> Calibrate(Bench& bench, Meter& meter,
                                                   const CalibrationOptions& options,
                                                   const CalibrationHooks& hooks = {});

// The errors before and after as a table for a terminal, one line per channel.
QString CalibrationTable(const std::vector<ChannelCalibration>& results);
// The same as a JSON array of channel objects, and as its text.
QJsonArray CalibrationJsonArray(const std::vector<ChannelCalibration>& results);
QByteArray CalibrationJson(const std::vector<ChannelCalibration>& results);

} // namespace tq::bench
