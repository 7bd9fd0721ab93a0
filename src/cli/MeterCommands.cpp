// calibrate and sweep: the bench library's automatic calibration and characterisation
// against a SCPI meter (bench/Meter.h).
//
// Without a routing command (--route) the user moves the probe: the terminal asks, and
// --non-interactive refuses before anything is sent. SIGINT or SIGTERM stops a run within
// one reading (Interrupt.h); the bench library puts the board back before the exit.

#include "cli/Commands.h"
#include "cli/Interrupt.h"
#include "cli/Parse.h"

#include "bench/AutoCalibration.h"
#include "bench/Sweep.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>

#include <cstdio>
#include <optional>

#include <poll.h>
#include <unistd.h>

namespace tq::cli {

namespace {

constexpr std::string_view kMeterWords =
    "--meter URL [--route CMD] [--samples N] [--settle MS] [--nplc N] [--read] "
    "[--timeout MS] [--json] [--non-interactive]";

QString AbsolutePath(std::string_view word) {
    return QFileInfo(QString::fromUtf8(word)).absoluteFilePath();
}

// The words every meter command shares, and the ones it adds (with a value or without).
struct MeterWords {
    bench::MeterOptions meter;
    bool haveMeter = false;
    bool nonInteractive = false;
};

// Asks on the terminal; an end of input, "q" or an interrupt declines. Standard input is
// read directly, a line at most, and polled so that a held interrupt is seen while waiting.
bool AskOnTerminal(bench::Channel channel) {
    const std::string_view caption = bench::ChannelCaption(channel);
    std::fprintf(stderr, "Connect the meter to the output of %.*s, then press Enter (q to stop): ",
                 static_cast<int>(caption.size()), caption.data());
    std::fflush(stderr);
    std::string line;
    for (;;) {
        if (InterruptPending()) return false;
        pollfd in{STDIN_FILENO, POLLIN, 0};
        if (::poll(&in, 1, 100) <= 0) continue;
        char c = 0;
        if (::read(STDIN_FILENO, &c, 1) != 1) return false;
        if (c == '\n') break;
        if (line.size() < 64) line += c;
    }
    return line.empty() || (line[0] != 'q' && line[0] != 'Q');
}

// A run stopped by SIGINT or SIGTERM says so.
bench::Error Stopped(bench::Error error) {
    if (error.kind == bench::Error::Kind::Cancelled && TakeInterrupt())
        error.message = "interrupted: " + error.message + "; the board was put back as it was";
    return error;
}

// Reads the shared words; `extra` takes the command's own (returns false for an unknown
// word, or an error). Every value is checked here, before the board is opened.
template <class Extra>
bench::Outcome<MeterWords> ParseMeterWords(Args args, std::string_view usage, Extra extra) {
    MeterWords w;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string_view word = args[i];
        const auto value = [&]() -> std::optional<std::string_view> {
            if (i + 1 >= args.size()) return std::nullopt;
            return args[++i];
        };
        const auto number = [&](std::string_view what) -> bench::Outcome<double> {
            const auto v = value();
            if (!v) return UsageOf(usage);
            return ParseNumber(*v, what);
        };
        if (word == "--meter") {
            const auto v = value();
            if (!v) return UsageOf(usage);
            w.meter.url = QString::fromUtf8(*v);
            w.haveMeter = true;
        } else if (word == "--route") {
            const auto v = value();
            if (!v) return UsageOf(usage);
            w.meter.routeTemplate = QString::fromUtf8(*v);
        } else if (word == "--samples") {
            const auto n = number("samples");
            if (!n) return n.error();
            if (!(*n >= 1 && *n <= bench::kMaxSamples) || *n != static_cast<int>(*n))
                return bench::UsageError(Cat(
                    {"--samples takes a whole number, 1 to ", std::to_string(bench::kMaxSamples)}));
            w.meter.samples = static_cast<int>(*n);
        } else if (word == "--settle" || word == "--timeout") {
            const auto n = number(word.substr(2));
            if (!n) return n.error();
            // The meter needs at least a millisecond to answer; settling may take none.
            const bool settle = word == "--settle";
            const double least = settle ? 0 : 1;
            const auto most =
                static_cast<double>((settle ? bench::kMaxSettle : bench::kMaxTimeout).count());
            if (!(*n >= least && *n <= most))
                return bench::UsageError(
                    Cat({std::string(word), " takes milliseconds, ", settle ? "0" : "1", " to ",
                         std::to_string(static_cast<long long>(most))}));
            (word == "--settle" ? w.meter.settle : w.meter.timeout) =
                std::chrono::milliseconds(static_cast<long long>(*n));
        } else if (word == "--nplc") {
            const auto n = number("NPLC");
            if (!n) return n.error();
            if (!(*n >= 0 && *n <= bench::kMaxNplc))
                return bench::UsageError(
                    Cat({"--nplc takes 0 to ", QString::number(bench::kMaxNplc).toStdString()}));
            w.meter.nplc = *n;
            w.meter.query = bench::MeterOptions::Query::ConfigureRead;
        } else if (word == "--read") {
            w.meter.query = bench::MeterOptions::Query::ConfigureRead;
        } else if (word == "--json") {
            // Taken by the program (Cli.cpp) as its own --json.
        } else if (word == "--non-interactive") {
            w.nonInteractive = true;
        } else {
            const auto taken = extra(word, value);
            if (!taken) return taken.error();
            if (!*taken)
                return bench::UsageError(
                    Cat({"unknown word ", Quoted(word), "; usage: ", std::string(usage)}));
        }
    }
    if (!w.haveMeter) return UsageOf(usage);
    if (w.meter.routeTemplate.isEmpty() && w.nonInteractive)
        return bench::UsageError("without --route the probe is moved by hand, which "
                                 "--non-interactive does not allow");
    return w;
}

bench::Outcome<std::unique_ptr<bench::Meter>> OpenMeter(const MeterWords& w) {
    auto meter = bench::Meter::connect(w.meter);
    if (!meter) return meter.error();
    if (w.meter.routeTemplate.isEmpty()) meter.value()->setProbeRequest(AskOnTerminal);
    return meter;
}

bench::Outcome<Reply> Answer(QJsonObject json, std::string text) {
    Reply r;
    r.json = std::move(json);
    r.text = std::move(text);
    return r;
}

} // namespace

bench::Outcome<Step> ParseCalibrate(Args args) {
    const std::string usage = Cat({"calibrate ", kMeterWords, " [--channels A,B,...]"});
    bench::CalibrationOptions options;
    const auto words = ParseMeterWords(
        args, usage, [&](std::string_view word, auto value) -> bench::Outcome<bool> {
            if (word != "--channels") return false;
            const auto list = value();
            if (!list) return UsageOf(usage);
            options.channels.clear();
            std::string_view rest = *list;
            while (!rest.empty()) {
                const std::size_t comma = rest.find(',');
                const auto channel = ParseChannel(rest.substr(0, comma));
                if (!channel) return channel.error();
                if (*channel == bench::Channel::All)
                    options.channels.assign(bench::kChannels.begin(), bench::kChannels.end());
                else
                    options.channels.push_back(*channel);
                rest =
                    comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
            }
            return true;
        });
    if (!words) return words.error();
    return Step{[w = *words, options](Context& ctx) -> bench::Outcome<Reply> {
        auto meter = OpenMeter(w);
        if (!meter) return meter.error();
        bench::CalibrationHooks hooks;
        if (!ctx.out.json())
            hooks.progress = [&ctx](const bench::CalibrationProgress& p) {
                // Before each measurement its number; at the end the count measured.
                if (p.what.isEmpty())
                    ctx.out.message(QStringLiteral("[%1/%2] done").arg(p.step).arg(p.steps));
                else
                    ctx.out.message(
                        QStringLiteral("[%1/%2] %3").arg(p.step + 1).arg(p.steps).arg(p.what));
            };
        hooks.cancelled = InterruptPending;
        const auto results = bench::Calibrate(*ctx.bench, *meter.value(), options, hooks);
        if (!results) return Stopped(results.error());
        QStringList outside;
        for (const bench::ChannelCalibration& r : *results)
            if (!r.withinTolerance)
                outside.append(QString::fromUtf8(bench::ChannelName(r.channel)));
        const bool all = outside.isEmpty();
        QJsonObject json{{QStringLiteral("meter"), w.meter.url},
                         {QStringLiteral("within_tolerance"), all},
                         {QStringLiteral("channels"), bench::CalibrationJsonArray(*results)}};
        std::string text = bench::CalibrationTable(*results).toStdString();
        text += all ? "every channel is within 0.5 LSB at 0 V and at zero scale"
                    : "not every channel came within 0.5 LSB: see the table";
        auto reply = Answer(json, text);
        if (!all) {
            reply.value().exitCode = kOutOfTolerance;
            reply.value().failure =
                QStringLiteral("calibration ended outside 0.5 LSB on %1: trims put back as found")
                    .arg(outside.join(QStringLiteral(", ")))
                    .toStdString();
        }
        return reply;
    }};
}

bench::Outcome<Step> ParseSweep(Args args) {
    const std::string usage = Cat({"sweep ", kMeterWords,
                                   " --channel CH [--points N | --every-code] [--out FILE.csv] "
                                   "[--json-out FILE.json] [--plot FILE.png|FILE.svg]"});
    bench::SweepOptions options;
    bool haveChannel = false;
    QString csv, json, plot;
    const auto words = ParseMeterWords(
        args, usage, [&](std::string_view word, auto value) -> bench::Outcome<bool> {
            if (word == "--every-code") {
                options.everyCode = true;
                return true;
            }
            if (word != "--channel" && word != "--points" && word != "--out" &&
                word != "--json-out" && word != "--plot")
                return false;
            const auto v = value();
            if (!v) return UsageOf(usage);
            if (word == "--channel") {
                const auto channel = ParseChannel(*v);
                if (!channel) return channel.error();
                if (*channel == bench::Channel::All)
                    return bench::UsageError("a sweep measures one channel: A, B, C or D");
                options.channel = *channel;
                haveChannel = true;
            } else if (word == "--points") {
                const auto n = ParseInteger(*v, "points");
                if (!n) return n.error();
                if (*n < 3 || *n > 65536) return bench::UsageError("--points takes 3 to 65536");
                options.points = static_cast<int>(*n);
            } else {
                (word == "--out" ? csv : word == "--plot" ? plot : json) = AbsolutePath(*v);
            }
            return true;
        });
    if (!words) return words.error();
    if (!haveChannel) return UsageOf(usage);
    return Step{[w = *words, options, csv, json, plot](Context& ctx) -> bench::Outcome<Reply> {
        if (!plot.isEmpty() && !ctx.options.renderPlot)
            return bench::UsageError("plots cannot be drawn: the plot library was not loaded");
        auto meter = OpenMeter(w);
        if (!meter) return meter.error();
        bench::SweepHooks hooks;
        if (!ctx.out.json())
            hooks.progress = [&ctx](const bench::SweepProgress& p) {
                if (p.done % 256 == 0 || p.done == p.total)
                    ctx.out.message(
                        QStringLiteral("[%1/%2] codes measured").arg(p.done).arg(p.total));
            };
        hooks.cancelled = InterruptPending;
        const auto result = bench::RunSweep(*ctx.bench, *meter.value(), options, hooks);
        if (!result) return Stopped(result.error());
        if (!csv.isEmpty())
            if (bench::Status s = bench::WriteFile(csv, bench::SweepCsv(*result)); !s)
                return s.error();
        if (!json.isEmpty())
            if (bench::Status s = bench::WriteFile(json, bench::SweepJson(*result)); !s)
                return s.error();
        if (!plot.isEmpty())
            if (bench::Status s = ctx.options.renderPlot(*result, plot); !s) return s.error();
        QJsonObject summary = bench::SweepSummaryJson(*result);
        summary.insert(QStringLiteral("meter"), w.meter.url);
        summary.insert(QStringLiteral("points"), static_cast<int>(result->points.size()));
        if (!csv.isEmpty()) summary.insert(QStringLiteral("csv"), csv);
        if (!json.isEmpty()) summary.insert(QStringLiteral("json"), json);
        if (!plot.isEmpty()) summary.insert(QStringLiteral("plot"), plot);
        std::string text = bench::SweepSummary(*result).trimmed().toStdString();
        for (const QString& file : {csv, json, plot})
            if (!file.isEmpty()) text += "\nwrote " + file.toStdString();
        return Answer(summary, text);
    }};
}

} // namespace tq::cli
