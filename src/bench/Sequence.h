#pragma once
// Sequences in time: the channels step through a list of points, or follow generated shapes,
// at a rate in points per second.
//
// Each point updates its channels together: every channel's code goes into its input
// register with LDAC held high, and the last write of the point pulses LDAC, so the outputs
// of a point change at the same moment. Deadlines are absolute on a monotonic clock (a long
// run does not drift), met by sleeping. Everything is checked before the first transfer:
// a value outside its channel's range is refused naming the point, never clipped.

#include "bench/Bench.h"
#include "bench/Channel.h"
#include "bench/Outcome.h"

#include <QJsonObject>
#include <QString>

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string_view>
#include <variant>
#include <vector>

namespace tq::bench {

// ---- Lists of points -----------------------------------------------------------------------

enum class SequenceUnit { Volts, Code };

struct SequenceColumn {
    Channel channel = Channel::A; // A..D
    SequenceUnit unit = SequenceUnit::Volts;
    bool operator==(const SequenceColumn&) const = default;
};

// Points in order, each with one value per column: volts in the channel's own range, or a
// data code 0..65535 in the present coding.
struct SequenceTable {
    std::vector<SequenceColumn> columns; // each channel at most once
    std::vector<double> values;          // point after point, columns.size() values each
    std::size_t points() const { return columns.empty() ? 0 : values.size() / columns.size(); }
};

// Limits of what a file or a list may hold.
inline constexpr std::size_t kSequenceMaxPoints = 1'000'000;
inline constexpr int64_t kSequenceMaxFileBytes = 64 << 20;

// A CSV list: a header row naming the columns, A..D for volts or A_code..D_code for codes
// (any letter case, each channel once), then one row per point with a number in every
// column. Blank lines and lines starting with '#' are skipped. A refusal names the line.
Outcome<SequenceTable> ParseSequenceCsv(std::string_view text);
// The same read from a file, refused above kSequenceMaxFileBytes.
Outcome<SequenceTable> ReadSequenceCsv(const QString& path);

// ---- Shapes --------------------------------------------------------------------------------

// Named by the table of quantities (bench/Quantities.h).
enum class Waveform { Sine, Triangle, Square, Ramp, Steps };

// One channel's shape. With x the position in the period, frac(frequency t + phase / 360):
// sine offset + A sin(2 pi x); triangle rises from offset through offset + A at x = 1/4 and
// offset - A at 3/4; square offset + A for x < 1/2, else offset - A; ramp rises from
// offset - A to offset + A; steps holds `steps` equal levels from offset - A to offset + A.
// Every shape stays within offset - A .. offset + A.
struct Shape {
    Channel channel = Channel::A;
    Waveform waveform = Waveform::Sine;
    double amplitude = 1; // volts, peak (half of peak to peak), >= 0
    double offset = 0;    // volts
    double frequency = 1; // Hz, > 0 and at most half the rate
    double phaseDegrees = 0;
    int steps = 4; // levels of Steps, 2..kShapeMaxSteps
};
inline constexpr int kShapeMaxSteps = 65536;

// The shape's volts `seconds` after the start.
double ShapeVolts(const Shape& shape, double seconds);

// A list, or shapes played together (each channel once).
using Sequence = std::variant<SequenceTable, std::vector<Shape>>;

// ---- Playing -------------------------------------------------------------------------------

enum class EndLevel {
    Hold, // the outputs stay at the last point played
    Zero, // the played channels go to 0 V together
};

struct PlayOptions {
    double rate = 1000; // points per second
    // Times through the list, or periods of the first shape; nullopt plays until stopped.
    std::optional<int64_t> count = 1;
    EndLevel end = EndLevel::Hold;
};

struct PlayProgress {
    int64_t points = 0;
    double achievedRate = 0;
    int64_t late = 0;
};

struct PlayHooks {
    std::function<bool()> cancelled;                   // polled before each point and while waiting
    std::function<void(const PlayProgress&)> progress; // about ten times a second
};

struct PlayReport {
    int64_t points = 0; // points played
    double seconds = 0; // from the first point's start to the last one's
    double requestedRate = 0;
    double achievedRate = 0; // (points - 1) / seconds; the requested rate for one point
    int64_t late = 0;        // points started more than one period after their deadline
    double maxLatenessSeconds = 0;
    bool stopped = false; // the cancel hook ended it
};

// The transfer rate a point's timing is planned for: one control transfer per USB
// high-speed microframe. A point takes one transfer per channel.
inline constexpr double kTransfersPerSecond = 8000;
inline constexpr double kMinRate = 0.001; // points per second
inline constexpr int64_t kMaxCount = 1'000'000'000;
int TransfersPerPoint(std::size_t channels);
// The fastest rate for points of this many channels.
double MaxRate(std::size_t channels);

// The channels a sequence sets, in the order a point writes them.
std::vector<Channel> SequenceChannels(const Sequence& sequence);

// What play() would refuse, without sending anything: an empty or malformed sequence,
// a value outside its channel's range (naming the point), a rate above MaxRate (naming it),
// a count below 1.
Status CheckPlay(const Bench& bench, const Sequence& sequence, const PlayOptions& options);

// Plays the sequence. The control lines are held (LDAC, CLR and RSTIN high, no pulse after
// each write) while it plays and written back as they were afterwards; the end level is
// written whether it finished, was stopped or a transfer failed. A failed transfer ends the
// play with an Error saying how many points were played (and whether the board is gone).
Outcome<PlayReport> Play(Bench& bench, const Sequence& sequence, const PlayOptions& options,
                         const PlayHooks& hooks = {});

// The report in words for a terminal, and as a JSON object.
QString PlaySummary(const PlayReport& report);
QJsonObject PlayReportJson(const PlayReport& report);

} // namespace tq::bench
