#include "bench/Sequence.h"

#include "bench/FileInput.h"
#include "bench/Meter.h"
#include "bench/Quantities.h"
#include "bench/Words.h"
#include "device/RegisterMap.h"

#include <QJsonObject>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <numbers>
#include <thread>

namespace tq::bench {

namespace {

using Clock = std::chrono::steady_clock;
using Seconds = std::chrono::duration<double>;

// The longest a wait sleeps before it looks at the cancel hook again.
constexpr auto kCancelPoll = std::chrono::milliseconds(10);
constexpr auto kProgressEvery = std::chrono::milliseconds(100);
constexpr qsizetype kQuotedMax = 40;

QString Num(double x) {
    return QString::number(x, 'g', 8);
}

Error Refused(const QString& message) {
    return UsageError(message.toStdString());
}

// A word from a file as a message may show it: control characters replaced, kept short.
QString Shown(std::string_view word) {
    return QLatin1Char('"') +
           PrintableText(QByteArray(word.data(), static_cast<qsizetype>(word.size())), kQuotedMax) +
           QLatin1Char('"');
}

// The whole word as a number: a decimal with an optional exponent, or for codes also
// hexadecimal after 0x.
std::optional<double> WordNumber(std::string_view word, bool hexAllowed) {
    if (hexAllowed && word.size() > 2 && word[0] == '0' && (word[1] == 'x' || word[1] == 'X')) {
        uint32_t v = 0;
        const auto [end, ec] = std::from_chars(word.data() + 2, word.data() + word.size(), v, 16);
        if (ec != std::errc() || end != word.data() + word.size()) return std::nullopt;
        return v;
    }
    return WholeNumber(word);
}

std::optional<SequenceColumn> ColumnFromName(std::string_view name) {
    constexpr std::string_view kCodeSuffix = "_code";
    SequenceColumn column;
    if (name.size() > kCodeSuffix.size() &&
        SameWord(name.substr(name.size() - kCodeSuffix.size()), kCodeSuffix)) {
        column.unit = SequenceUnit::Code;
        name.remove_suffix(kCodeSuffix.size());
    }
    const std::optional<Channel> channel = ChannelFromText(name);
    if (!channel || *channel == Channel::All) return std::nullopt;
    column.channel = *channel;
    return column;
}

// The line's comma-separated fields, trimmed.
void SplitFields(std::string_view line, std::vector<std::string_view>& fields) {
    fields.clear();
    for (std::size_t start = 0;;) {
        const std::size_t comma = line.find(',', start);
        fields.push_back(Trimmed(line.substr(start, comma - start)));
        if (comma == std::string_view::npos) break;
        start = comma + 1;
    }
}

Status CheckColumns(std::span<const Channel> channels) {
    if (channels.empty()) return Refused(QStringLiteral("a sequence needs at least one channel"));
    std::array<bool, 4> seen{};
    for (const Channel c : channels)
        if (c == Channel::All || std::exchange(seen[ChannelIndex(c)], true))
            return Refused(QStringLiteral("a sequence names each of A, B, C and D at most once"));
    return {};
}

QString RangeOf(const Bench& bench, Channel c) {
    const double fs = bench.rangeVolts(c);
    return QStringLiteral("%1 to %2 V").arg(Num(-fs), Num(fs));
}

bool WithinRange(const Bench& bench, Channel c, double volts) {
    const double fs = bench.rangeVolts(c);
    return std::isfinite(volts) && volts >= -fs && volts <= fs;
}

// What a play sends: the channels of a point and, for point i, their codes.
struct Plan {
    std::vector<Channel> channels;
    std::optional<int64_t> total; // points to play
    std::function<void(int64_t, std::span<Bench::ChannelCode>)> fill;
};

Outcome<Plan> TablePlan(const Bench& bench, const SequenceTable& table, const PlayOptions& o) {
    const std::size_t width = table.columns.size();
    const std::size_t points = table.points();
    if (points == 0 || table.values.size() != points * width)
        return Refused(QStringLiteral("a sequence needs at least one point, each with a value "
                                      "for every channel"));
    if (points > kSequenceMaxPoints)
        return Refused(
            QStringLiteral("a sequence holds at most %1 points").arg(kSequenceMaxPoints));
    std::vector<int32_t> codes(table.values.size());
    for (std::size_t i = 0; i < table.values.size(); ++i) {
        const SequenceColumn& column = table.columns[i % width];
        const Channel c = column.channel;
        const double v = table.values[i];
        const QString where = QStringLiteral("point %1, %2: ")
                                  .arg(i / width + 1)
                                  .arg(QString::fromUtf8(ChannelCaption(c)));
        if (column.unit == SequenceUnit::Volts) {
            if (!WithinRange(bench, c, v))
                return Refused(
                    where +
                    QStringLiteral("%1 V is outside its range, %2").arg(Num(v), RangeOf(bench, c)));
            codes[i] = bench.voltsToCode(c, v);
        } else {
            if (!std::isfinite(v) || v != std::floor(v) || v < device::DataCodeMin ||
                v > device::DataCodeMax)
                return Refused(where + QStringLiteral("code %1 is not a whole number from 0 to "
                                                      "65535")
                                           .arg(Num(v)));
            codes[i] = static_cast<int32_t>(v);
        }
    }
    Plan plan;
    for (const SequenceColumn& column : table.columns)
        plan.channels.push_back(column.channel);
    if (o.count) plan.total = *o.count * static_cast<int64_t>(points);
    plan.fill = [codes = std::move(codes), width, points](int64_t i, auto out) {
        const std::size_t row = static_cast<std::size_t>(i) % points;
        for (std::size_t j = 0; j < width; ++j)
            out[j].code = codes[row * width + j];
    };
    return plan;
}

Outcome<Plan> ShapePlan(const Bench& bench, const std::vector<Shape>& shapes,
                        const PlayOptions& o) {
    if (shapes.empty()) return Refused(QStringLiteral("a sequence needs at least one channel"));
    for (const Shape& s : shapes) {
        const QString who = QString::fromUtf8(ChannelCaption(s.channel)) + QStringLiteral(": ");
        if (!std::isfinite(s.amplitude) || s.amplitude < 0 || !std::isfinite(s.offset) ||
            !std::isfinite(s.phaseDegrees))
            return Refused(who + QStringLiteral("amplitude, offset and phase must be numbers, "
                                                "the amplitude not below 0"));
        if (!std::isfinite(s.frequency) || s.frequency <= 0 || s.frequency > o.rate / 2)
            return Refused(who + QStringLiteral("frequency %1 Hz is outside 0 to %2 Hz (two "
                                                "points a period at %3 points/s)")
                                     .arg(Num(s.frequency), Num(o.rate / 2), Num(o.rate)));
        if (s.waveform == Waveform::Steps && (s.steps < 2 || s.steps > kShapeMaxSteps))
            return Refused(
                who +
                QStringLiteral("steps %1 is outside 2 to %2").arg(s.steps).arg(kShapeMaxSteps));
        for (const double extreme : {s.offset - s.amplitude, s.offset + s.amplitude})
            if (!WithinRange(bench, s.channel, extreme))
                return Refused(who + QStringLiteral("the %1 reaches %2 V, outside its range, %3")
                                         .arg(QString::fromUtf8(WaveformName(s.waveform)),
                                              Num(extreme), RangeOf(bench, s.channel)));
    }
    Plan plan;
    for (const Shape& s : shapes)
        plan.channels.push_back(s.channel);
    if (o.count)
        plan.total = std::max<int64_t>(
            1, std::llround(static_cast<double>(*o.count) * o.rate / shapes.front().frequency));
    plan.fill = [&bench, shapes, rate = o.rate](int64_t i, auto out) {
        const double t = static_cast<double>(i) / rate;
        for (std::size_t j = 0; j < shapes.size(); ++j)
            out[j].code = bench.voltsToCode(shapes[j].channel, ShapeVolts(shapes[j], t));
    };
    return plan;
}

Outcome<Plan> MakePlan(const Bench& bench, const Sequence& sequence, const PlayOptions& o) {
    const std::vector<Channel> channels = SequenceChannels(sequence);
    if (Status s = CheckColumns(channels); !s) return s.error();
    const double most = MaxRate(channels.size());
    if (!std::isfinite(o.rate) || o.rate < kMinRate || o.rate > most)
        return Refused(QStringLiteral("rate %1 points/s is outside %2 to %3 points/s, the most "
                                      "for %4 channel(s) at %5 transfers/s")
                           .arg(Num(o.rate), Num(kMinRate), Num(most))
                           .arg(channels.size())
                           .arg(Num(kTransfersPerSecond)));
    if (o.count && (*o.count < 1 || *o.count > kMaxCount))
        return Refused(QStringLiteral("count %1 is outside 1 to %2").arg(*o.count).arg(kMaxCount));
    if (const auto* table = std::get_if<SequenceTable>(&sequence))
        return TablePlan(bench, *table, o);
    return ShapePlan(bench, std::get<std::vector<Shape>>(sequence), o);
}

// Sleeps until the deadline; false as soon as the cancel hook asks to stop.
bool WaitUntil(Clock::time_point deadline, const std::function<bool()>& cancelled) {
    for (;;) {
        if (cancelled && cancelled()) return false;
        const Clock::time_point now = Clock::now();
        if (now >= deadline) return true;
        std::this_thread::sleep_until(std::min(deadline, now + kCancelPoll));
    }
}

Status WriteZero(Bench& bench, std::span<const Channel> channels) {
    std::vector<Bench::ChannelCode> codes;
    for (const Channel c : channels)
        codes.push_back({c, bench.voltsToCode(c, 0.0)});
    return bench.setCodesTogether(codes);
}

} // namespace

// ---- Lists ---------------------------------------------------------------------------------

Outcome<SequenceTable> ParseSequenceCsv(std::string_view text) {
    SequenceTable table;
    std::vector<std::string_view> fields;
    int lineNumber = 0;
    for (std::size_t start = 0; start < text.size();) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        const std::string_view line = Trimmed(text.substr(start, end - start));
        start = end + 1;
        ++lineNumber;
        if (line.empty() || line.front() == '#') continue;
        const QString where = QStringLiteral("line %1: ").arg(lineNumber);
        SplitFields(line, fields);
        if (table.columns.empty()) {
            for (const std::string_view name : fields) {
                const std::optional<SequenceColumn> column = ColumnFromName(name);
                if (!column)
                    return Refused(where + QStringLiteral("column %1 is not one of A, B, C, D "
                                                          "(volts) or A_code .. D_code")
                                               .arg(Shown(name)));
                if (std::ranges::any_of(table.columns, [&](const SequenceColumn& c) {
                        return c.channel == column->channel;
                    }))
                    return Refused(where +
                                   QStringLiteral("channel %1 is named twice")
                                       .arg(QString::fromUtf8(ChannelName(column->channel))));
                table.columns.push_back(*column);
            }
            continue;
        }
        if (fields.size() != table.columns.size())
            return Refused(where + QStringLiteral("%1 values where the header names %2")
                                       .arg(fields.size())
                                       .arg(table.columns.size()));
        if (table.points() >= kSequenceMaxPoints)
            return Refused(
                where +
                QStringLiteral("a sequence holds at most %1 points").arg(kSequenceMaxPoints));
        for (std::size_t j = 0; j < fields.size(); ++j) {
            const bool code = table.columns[j].unit == SequenceUnit::Code;
            const std::optional<double> v = WordNumber(fields[j], code);
            if (!v)
                return Refused(where + QStringLiteral("%1 is not a number").arg(Shown(fields[j])));
            table.values.push_back(*v);
        }
    }
    if (table.columns.empty())
        return Refused(
            QStringLiteral("no header row naming the channels (A..D or A_code..D_code)"));
    if (table.points() == 0) return Refused(QStringLiteral("the list has no points"));
    return table;
}

Outcome<SequenceTable> ReadSequenceCsv(const QString& path) {
    Outcome<QByteArray> bytes = ReadInputFile(path, kSequenceMaxFileBytes);
    if (!bytes) return bytes.error();
    Outcome<SequenceTable> table = ParseSequenceCsv(
        std::string_view(bytes->constData(), static_cast<std::size_t>(bytes->size())));
    if (!table)
        return Refused(path + QStringLiteral(", ") + QString::fromStdString(table.error().message));
    return table;
}

// ---- Shapes --------------------------------------------------------------------------------

double ShapeVolts(const Shape& s, double seconds) {
    const double cycles = s.frequency * seconds + s.phaseDegrees / 360.0;
    const double x = cycles - std::floor(cycles); // 0 <= x < 1
    double unit = 0;                              // -1 .. 1
    switch (s.waveform) {
    case Waveform::Sine:
        unit = std::sin(2 * std::numbers::pi * x);
        break;
    case Waveform::Triangle:
        unit = x < 0.25 ? 4 * x : x < 0.75 ? 2 - 4 * x : 4 * x - 4;
        break;
    case Waveform::Square:
        unit = x < 0.5 ? 1 : -1;
        break;
    case Waveform::Ramp:
        unit = 2 * x - 1;
        break;
    case Waveform::Steps: {
        const int n = std::max(s.steps, 2);
        const int level = std::min(static_cast<int>(x * n), n - 1);
        unit = 2.0 * level / (n - 1) - 1;
        break;
    }
    }
    return s.offset + s.amplitude * unit;
}

// ---- Playing -------------------------------------------------------------------------------

int TransfersPerPoint(std::size_t channels) {
    return static_cast<int>(channels);
}

double MaxRate(std::size_t channels) {
    return kTransfersPerSecond / std::max(TransfersPerPoint(channels), 1);
}

std::vector<Channel> SequenceChannels(const Sequence& sequence) {
    std::vector<Channel> channels;
    if (const auto* table = std::get_if<SequenceTable>(&sequence))
        for (const SequenceColumn& c : table->columns)
            channels.push_back(c.channel);
    else
        for (const Shape& s : std::get<std::vector<Shape>>(sequence))
            channels.push_back(s.channel);
    return channels;
}

Status CheckPlay(const Bench& bench, const Sequence& sequence, const PlayOptions& options) {
    Outcome<Plan> plan = MakePlan(bench, sequence, options);
    if (!plan) return plan.error();
    return {};
}

Outcome<PlayReport> Play(Bench& bench, const Sequence& sequence, const PlayOptions& options,
                         const PlayHooks& hooks) {
    Outcome<Plan> plan = MakePlan(bench, sequence, options);
    if (!plan) return plan.error();
    const std::vector<Channel>& channels = plan->channels;

    const ControlLines before = bench.lines();
    // Writes are ignored while RSTIN is low and a pulse while CLR is low.
    ControlLines held = before;
    held.ldac = held.clr = held.rstin = true;
    held.pulseAfterWrite = false;
    if (held != before)
        if (Status s = bench.setLines(held); !s) {
            bench.setLines(before);
            return s.error();
        }

    PlayReport report;
    report.requestedRate = options.rate;
    std::vector<Bench::ChannelCode> codes;
    for (const Channel c : channels)
        codes.push_back({c, 0});
    Status failed;
    const Clock::time_point t0 = Clock::now();
    Clock::time_point first = t0;
    Clock::time_point last = t0;
    Clock::time_point reported = t0;
    for (int64_t i = 0; !plan->total || i < *plan->total; ++i) {
        // From the start, not from the previous point: waits never add up to a drift.
        const Clock::time_point deadline = t0 + std::chrono::duration_cast<Clock::duration>(
                                                    Seconds(static_cast<double>(i) / options.rate));
        if (!WaitUntil(deadline, hooks.cancelled)) {
            report.stopped = true;
            break;
        }
        last = Clock::now();
        if (i == 0) first = last;
        const double lateness = Seconds(last - deadline).count();
        if (lateness * options.rate > 1) ++report.late;
        report.maxLatenessSeconds = std::max(report.maxLatenessSeconds, lateness);
        plan->fill(i, codes);
        failed = bench.setCodesTogether(codes);
        if (!failed) break;
        ++report.points;
        if (hooks.progress && last - reported >= kProgressEvery) {
            reported = last;
            const double s = Seconds(last - first).count();
            hooks.progress({report.points, s > 0 ? static_cast<double>(report.points - 1) / s : 0,
                            report.late});
        }
    }
    report.seconds = Seconds(last - first).count();
    report.achievedRate = report.points > 1 && report.seconds > 0
                              ? static_cast<double>(report.points - 1) / report.seconds
                              : options.rate;

    Status ended = options.end == EndLevel::Zero ? WriteZero(bench, channels) : Status{};
    Status restored = held != before ? bench.setLines(before) : Status{};
    if (!failed) {
        Error e = failed.error();
        e.message = (bench.boardPresent()
                         ? QStringLiteral("playing stopped after %1 points: ")
                         : QStringLiteral("the board is gone (unplugged?) after %1 points: "))
                        .arg(report.points)
                        .toStdString() +
                    e.message;
        return e;
    }
    if (!ended) return ended.error();
    if (!restored) return restored.error();
    return report;
}

QString PlaySummary(const PlayReport& r) {
    return QStringLiteral("%1 %2 points in %3 s: %4 points/s of %5 asked, %6 late by more than "
                          "one period, largest lateness %7 ms")
        .arg(r.stopped ? QStringLiteral("stopped after") : QStringLiteral("played"))
        .arg(r.points)
        .arg(QString::number(r.seconds, 'f', 3), QString::number(r.achievedRate, 'g', 7),
             Num(r.requestedRate))
        .arg(r.late)
        .arg(QString::number(r.maxLatenessSeconds * 1e3, 'f', 3));
}

QJsonObject PlayReportJson(const PlayReport& r) {
    return QJsonObject{
        {QStringLiteral("points"), static_cast<double>(r.points)},
        {QStringLiteral("seconds"), r.seconds},
        {QStringLiteral("requestedRate"), r.requestedRate},
        {QStringLiteral("achievedRate"), r.achievedRate},
        {QStringLiteral("late"), static_cast<double>(r.late)},
        {QStringLiteral("maxLatenessMs"), r.maxLatenessSeconds * 1e3},
        {QStringLiteral("stopped"), r.stopped},
    };
}

} // namespace tq::bench
