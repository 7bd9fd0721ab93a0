// play: a list of points from a CSV file, or a generated shape, played on the board in time
// (bench/Sequence.h) until it ends or SIGINT/SIGTERM stops it.

#include "cli/Commands.h"
#include "cli/Interrupt.h"
#include "cli/Parse.h"

#include "bench/Quantities.h"
#include "bench/Sequence.h"

#include <QFileInfo>

#include <optional>

namespace tq::cli {

namespace {

// The command's words, each named once; its usage text is the command table's.
constexpr std::string_view kPlay = "play";
constexpr std::string_view kRate = "--rate";
constexpr std::string_view kCount = "--count";
constexpr std::string_view kForever = "--forever";
constexpr std::string_view kEnd = "--end";
constexpr std::string_view kCsv = "--csv";
constexpr std::string_view kShape = "--shape";
constexpr std::string_view kFreq = "--freq";
constexpr std::string_view kAmplitude = "--amplitude";
constexpr std::string_view kOffset = "--offset";
constexpr std::string_view kPhase = "--phase";
constexpr std::string_view kSteps = "--steps";
constexpr std::string_view kChannels = "--channels";
constexpr std::string_view kJson = "--json"; // the program's own option, allowed here too

struct PlayWords {
    bench::PlayOptions options;
    QString csv;
    std::optional<bench::Shape> shape; // for every channel of `channels`
    std::vector<bench::Channel> channels;
    bool haveRate = false, haveFreq = false, haveAmplitude = false;
};

bench::Outcome<std::vector<bench::Channel>> ParseChannelList(std::string_view list) {
    std::vector<bench::Channel> channels;
    while (!list.empty()) {
        const std::size_t comma = list.find(',');
        const auto channel = ParseChannel(list.substr(0, comma));
        if (!channel) return channel.error();
        for (const bench::Channel c : bench::Expand(*channel))
            channels.push_back(c);
        list = comma == std::string_view::npos ? std::string_view() : list.substr(comma + 1);
    }
    return channels;
}

bench::Outcome<PlayWords> ParsePlayWords(Args args) {
    PlayWords w;
    bench::Shape shape;
    bool haveShape = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string_view word = args[i];
        if (word == kForever) {
            w.options.count.reset();
            continue;
        }
        if (word == kJson) continue;
        if (i + 1 >= args.size()) return UsageOf(kPlay);
        const std::string_view v = args[++i];
        const auto number = [&](double& into) -> bench::Status {
            const auto n = ParseNumber(v, word.substr(2));
            if (!n) return n.error();
            into = *n;
            return {};
        };
        bench::Status taken;
        if (word == kRate) {
            taken = number(w.options.rate);
            w.haveRate = true;
        } else if (word == kCount) {
            const auto n = ParseInteger(v, "count");
            if (!n) return n.error();
            w.options.count = *n;
        } else if (word == kEnd) {
            const auto end = ParseKey(v, "end", bench::kEndLevels);
            if (!end) return end.error();
            w.options.end = bench::kEndLevels[static_cast<std::size_t>(*end)].level;
        } else if (word == kCsv) {
            w.csv = QFileInfo(QString::fromUtf8(v)).absoluteFilePath();
        } else if (word == kShape) {
            const auto waveform = ParseKey(v, "shape", bench::kWaveformWords);
            if (!waveform) return waveform.error();
            shape.waveform = bench::kWaveformWords[static_cast<std::size_t>(*waveform)].waveform;
            haveShape = true;
        } else if (word == kFreq) {
            taken = number(shape.frequency);
            w.haveFreq = true;
        } else if (word == kAmplitude) {
            taken = number(shape.amplitude);
            w.haveAmplitude = true;
        } else if (word == kOffset) {
            taken = number(shape.offset);
        } else if (word == kPhase) {
            taken = number(shape.phaseDegrees);
        } else if (word == kSteps) {
            const auto n = ParseInteger(v, "steps");
            if (!n) return n.error();
            if (*n < 2 || *n > bench::kShapeMaxSteps)
                return bench::UsageError("--steps takes 2 to 65536");
            shape.steps = static_cast<int>(*n);
        } else if (word == kChannels) {
            auto channels = ParseChannelList(v);
            if (!channels) return channels.error();
            w.channels = std::move(channels.value());
        } else {
            return bench::UsageError(
                Cat({"unknown word ", Quoted(word), "; usage: ", FindCommand(kPlay)->usage}));
        }
        if (!taken) return taken.error();
    }
    if (!w.haveRate || w.csv.isEmpty() == !haveShape) return UsageOf(kPlay);
    if (haveShape) {
        if (!w.haveFreq || !w.haveAmplitude || w.channels.empty()) return UsageOf(kPlay);
        w.shape = shape;
    } else if (!w.channels.empty()) {
        return bench::UsageError("--channels goes with --shape; a CSV file names its channels");
    }
    return w;
}

} // namespace

bench::Outcome<Step> ParsePlay(Args args) {
    const auto words = ParsePlayWords(args);
    if (!words) return words.error();
    return Step{[w = *words](Context& ctx) -> bench::Outcome<Reply> {
        bench::Sequence sequence;
        if (w.shape) {
            std::vector<bench::Shape> shapes;
            for (const bench::Channel c : w.channels) {
                shapes.push_back(*w.shape);
                shapes.back().channel = c;
            }
            sequence = std::move(shapes);
        } else {
            auto table = bench::ReadSequenceCsv(w.csv);
            if (!table) return table.error();
            sequence = std::move(table.value());
        }
        // Refused here, before the signals are held.
        if (bench::Status s = bench::CheckPlay(*ctx.bench, sequence, w.options); !s)
            return s.error();
        const InterruptHold hold;
        const auto report = bench::Play(*ctx.bench, sequence, w.options,
                                        {.cancelled = InterruptPending, .progress = {}});
        if (!report) return report.error();
        Reply reply;
        reply.json = bench::PlayReportJson(*report);
        if (!ctx.out.json()) ctx.out.message(bench::PlaySummary(*report));
        if (report->stopped) {
            reply.exitCode = kCancelled;
            reply.failure = "stopped by a signal";
        }
        return reply;
    }};
}

} // namespace tq::cli
