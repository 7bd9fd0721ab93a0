#pragma once
// Characterisation of one channel's transfer function against a meter: its output measured
// at evenly spaced codes plus runs of consecutive codes around the major carries (or at
// every code), and from those the offset and gain errors, end-point and best-fit INL and DNL.
//
// Codes here are positions from zero scale, 0..65535 (offset binary). Under two's
// complement coding the code written is the position with its top bit flipped, so code 0
// is always zero scale and code 32768 always 0 V.
//
// Units: errors in LSB of the channel's ideal step, 2R / 65536; INL in LSB of the measured
// end-point (or best-fit) step; DNL in LSB of the measured end-point step.

#include "bench/Bench.h"
#include "bench/Meter.h"

#include <QByteArray>
#include <QJsonObject>
#include <QString>

#include <chrono>
#include <functional>
#include <optional>
#include <vector>

namespace tq::bench {

struct SweepOptions {
    Channel channel = Channel::A;
    int points = 1025; // evenly spaced codes from 0 to 65535, 3..65536
    bool everyCode = false;
    // Consecutive codes measured each side of every major carry (multiples of carryStep),
    // so the DNL at the carry and its neighbours is known; 0 for none.
    int carryNeighbours = 3;
    int carryStep = 4096;
};

struct SweepPoint {
    int32_t code = 0; // position from zero scale
    double idealVolts = 0;
    double volts = 0;    // measured mean
    double stddev = 0;   // of the samples
    double errorLsb = 0; // (volts - ideal) in ideal LSB
    double inlEndPointLsb = 0;
    double inlBestFitLsb = 0;
    std::optional<double> dnlLsb; // when code - 1 was measured too
    bool evenlySpaced = true;     // one of the evenly spaced codes the best fit is made on
};

struct SweepResult {
    Channel channel = Channel::A;
    float rangeVolts = 10;
    int samples = 1;
    bool twosComplement = false;    // the coding the codes were written in
    std::vector<SweepPoint> points; // by code
    double offsetErrorLsb = 0;      // error at the 0 V code (32768)
    double zeroScaleErrorLsb = 0;   // error at code 0
    double gainErrorLsb = 0;        // measured span (code 0 to 65535) minus the ideal, in LSB
    double inlEndPointMaxLsb = 0;   // largest magnitude, with its sign
    int32_t inlEndPointAt = 0;
    double inlBestFitMaxLsb = 0;
    int32_t inlBestFitAt = 0;
    double dnlMaxLsb = 0; // most positive and most negative DNL measured
    double dnlMinLsb = 0;
    int32_t dnlMaxAt = 0;
    int32_t dnlMinAt = 0;
    int dnlCount = 0; // code pairs whose DNL is known
    // Time per point: all of it, and ours (everything but waiting for the meter and settling).
    double perPointMs = 0;
    double overheadPerPointMs = 0;
};

struct SweepProgress {
    int done = 0;
    int total = 0;
};

struct SweepHooks {
    // Every few points, and once with done == total after a sweep that succeeded.
    std::function<void(const SweepProgress&)> progress;
    // Polled before each meter reading and while the output settles: true stops the sweep
    // within one reading.
    std::function<bool()> cancelled;
};

// The codes a sweep with these options measures, ascending and without repeats, each
// flagged when it is one of the evenly spaced ones.
struct SweepCode {
    int32_t code = 0;
    bool evenlySpaced = true;
};
std::vector<SweepCode> SweepCodes(const SweepOptions& options);

// Measures and analyses. Zero scale and 0 V are measured first: unless their step reaches
// the meter within kStepTolerance (MeterChecks.h) nothing else is measured. A reading
// outside the channel's range, or one that is not a number, ends the sweep too; each is an
// Error of kind Meter. Refuses a board whose serial data output is off. The channel's range,
// trims and data code are put back as they were afterwards, whatever the outcome
// (cancelled: an Error of kind Cancelled).
Outcome<SweepResult> RunSweep(Bench& bench, Meter& meter, const SweepOptions& options,
                              const SweepHooks& hooks = {});

// The analysis alone: fills every field of the result but the timing from its points'
// code, volts, stddev and evenlySpaced. Needs codes 0, 32768 and 65535 among them (else a
// Usage error). Results no converter can give are Errors of kind Meter: a span from code 0
// to 65535 off its nominal size by more than kStepTolerance (falling included), or
// neighbouring codes whose outputs differ by more than 8 LSB from the average step.
Status AnalyseSweep(SweepResult& result);

// The summary, a few lines for a terminal or a log.
QString SweepSummary(const SweepResult& result);
// One line per point: code, written code, ideal and measured volts, spread, error, INL, DNL.
QByteArray SweepCsv(const SweepResult& result);
// The summary's figures as a JSON object, without the points.
QJsonObject SweepSummaryJson(const SweepResult& result);
// The summary and every point.
QByteArray SweepJson(const SweepResult& result);
// Writes bytes to a file, naming it in the error.
Status WriteFile(const QString& path, const QByteArray& bytes);

} // namespace tq::bench
