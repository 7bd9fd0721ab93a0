#include "cli/Commands.h"

#include "cli/Parse.h"

#include "bench/Quantities.h"

#include <QJsonValue>

#include <array>

namespace tq::cli {

// Each command's parser, in the file named beside it.
bench::Outcome<Step> ParseList(Args);      // BoardCommands.cpp
bench::Outcome<Step> ParseCode(Args);      // BoardCommands.cpp
bench::Outcome<Step> ParseVolts(Args);     // BoardCommands.cpp
bench::Outcome<Step> ParseRange(Args);     // BoardCommands.cpp
bench::Outcome<Step> ParseTrim(Args);      // BoardCommands.cpp
bench::Outcome<Step> ParseRead(Args);      // BoardCommands.cpp
bench::Outcome<Step> ParseLines(Args);     // BoardCommands.cpp
bench::Outcome<Step> ParseFunction(Args);  // BoardCommands.cpp
bench::Outcome<Step> ParseClear(Args);     // BoardCommands.cpp
bench::Outcome<Step> ParseLoad(Args);      // BoardCommands.cpp
bench::Outcome<Step> ParseTemp(Args);      // BoardCommands.cpp
bench::Outcome<Step> ParseSnapshot(Args);  // SnapshotCommand.cpp
bench::Outcome<Step> ParseBatch(Args);     // BatchCommand.cpp
bench::Outcome<Step> ParseServe(Args);     // ServeCommand.cpp
bench::Outcome<Step> ParseCalibrate(Args); // MeterCommands.cpp
bench::Outcome<Step> ParseSweep(Args);     // MeterCommands.cpp
bench::Outcome<Step> ParsePlay(Args);      // PlayCommand.cpp

namespace {

const std::array kCommands{
    Command{.name = "list",
            .usage = "list",
            .summary = "the boards the driver library finds",
            .opensBoard = false,
            .parse = ParseList},
    Command{.name = "code",
            .usage = "code CH N",
            .summary = "write data code N (0..65535, or 0x0000..0xFFFF)",
            .parse = ParseCode},
    Command{.name = "volts",
            .usage = "volts CH V",
            .summary = "write the code of V volts in the channel's own range",
            .parse = ParseVolts},
    Command{.name = "range",
            .usage = "range CH " + bench::RangeChoices(),
            .summary = "set the output range (full scale in volts)",
            .parse = ParseRange},
    Command{.name = "trim",
            .usage = "trim CH [--fine LSB] [--offset LSB]",
            .summary = "set the fine gain (-32..31) and offset (-16..15.875) trims",
            .parse = ParseTrim},
    Command{.name = "read",
            .usage = "read data|coarse|fine|offset CH | read function",
            .summary = "read a register back, as code and volts or LSB",
            .parse = ParseRead},
    Command{.name = "lines",
            .usage = "lines " + bench::LineSettingsUsage(),
            .summary = "set the control lines; without settings, show them",
            .parse = ParseLines},
    Command{.name = "function",
            .usage = "function " + bench::FunctionSettingsUsage(),
            .summary = "set the function register; without settings, read it",
            .parse = ParseFunction},
    Command{.name = "clear",
            .usage = "clear",
            .summary = "CLEAR all channels (function register)",
            .parse = ParseClear},
    Command{.name = "load",
            .usage = "load",
            .summary = "LOAD all channels (function register)",
            .parse = ParseLoad},
    Command{.name = "temp",
            .usage = "temp",
            .summary = "measure the die temperature",
            .parse = ParseTemp},
    Command{.name = "snapshot",
            .usage = "snapshot save|load FILE",
            .summary = "save the board's set-up to a file, or write one back",
            .parse = ParseSnapshot},
    Command{.name = "batch",
            .usage = "batch [FILE]",
            .summary = "run commands, one per line, from FILE or standard input",
            .inBatch = false,
            .parse = ParseBatch},
    Command{.name = "serve",
            .usage = "serve [--listen ADDR:PORT] [--allow CIDR]... [--max-clients N] "
                     "[--meter URL [--meter-route CMD]]...",
            .summary = "serve the board over SCPI on TCP (default 127.0.0.1:5025) until stopped",
            .inBatch = false,
            .parse = ParseServe},
    Command{.name = "calibrate",
            .usage = "calibrate --meter URL [--channels A,B,...] [--route CMD] [--samples N] "
                     "[--settle MS] [--nplc N] [--read] [--timeout MS] [--json] "
                     "[--non-interactive]",
            .summary = "calibrate offset and gain against a SCPI meter (tcp://HOST[:PORT] or "
                       "usbtmc:///dev/usbtmcN) until within 0.5 LSB",
            .inBatch = false,
            .parse = ParseCalibrate},
    Command{.name = "sweep",
            .usage = "sweep --meter URL --channel CH [--points N | --every-code] [--out FILE.csv] "
                     "[--json-out FILE.json] [--plot FILE.png|FILE.svg] [--route CMD] "
                     "[--samples N] [--settle MS] [--nplc N] [--read] [--timeout MS] [--json] "
                     "[--non-interactive]",
            .summary = "measure a channel's transfer function: offset, gain, INL and DNL",
            .inBatch = false,
            .parse = ParseSweep},
    Command{.name = "play",
            .usage = "play --rate HZ [--count N | --forever] [--end " +
                     bench::KeyChoices(bench::kEndLevels) + "] (--csv FILE | --shape " +
                     bench::KeyChoices(bench::kWaveformWords) +
                     " --freq HZ --amplitude V [--offset V] [--phase DEG] [--steps N] "
                     "--channels A,B,...)",
            .summary = "play a list of points (CSV, header A..D in volts or A_code..D_code) or "
                       "a shape, each point's channels moving together; --count is times through "
                       "the list or periods of the shape; SIGINT or SIGTERM stops it",
            .parse = ParsePlay},
};

} // namespace

std::span<const Command> Commands() {
    return kCommands;
}

const Command* FindCommand(std::string_view name) {
    for (const Command& c : kCommands)
        if (c.name == name) return &c;
    return nullptr;
}

bench::Outcome<LineWords> SplitWords(std::string_view line) {
    LineWords out;
    out.end = line.size();
    std::size_t i = 0;
    const auto blank = [&](std::size_t k) {
        return line[k] == ' ' || line[k] == '\t' || line[k] == '\r';
    };
    while (i < line.size()) {
        if (blank(i)) {
            ++i;
            continue;
        }
        if (line[i] == '#') {
            out.end = i;
            break;
        }
        // A word runs to the next blank outside quotes; "..." keeps blanks and '#', and \"
        // or \\ inside it stand for the character.
        std::string word;
        while (i < line.size() && !blank(i)) {
            if (line[i] != '"') {
                word += line[i++];
                continue;
            }
            const std::size_t open = i++;
            while (i < line.size() && line[i] != '"') {
                if (line[i] == '\\' && i + 1 < line.size() &&
                    (line[i + 1] == '"' || line[i + 1] == '\\'))
                    ++i;
                word += line[i++];
            }
            if (i == line.size())
                return bench::UsageError(
                    Cat({"the quote at column ", std::to_string(open + 1), " is not closed"}));
            ++i;
        }
        out.words.push_back(std::move(word));
    }
    return out;
}

bench::Outcome<Parsed> ParseCommand(Args words, bool inBatch) {
    if (words.empty()) return bench::UsageError("no command given");
    const Command* command = FindCommand(words.front());
    if (!command) {
        std::string names;
        for (const Command& c : kCommands)
            names += Cat({names.empty() ? "" : ", ", c.name});
        return bench::UsageError(Cat({"unknown command ", Quoted(words.front()), ": use ", names}));
    }
    if (inBatch && !command->inBatch)
        return bench::UsageError(std::string(command->name) + " cannot run inside a batch");
    bench::Outcome<Step> step = command->parse(words.subspan(1));
    if (!step) return step.error();
    return Parsed{command, std::move(step.value())};
}

void Stamp(const Context& context, QJsonObject& o, std::string_view command, bool ok,
           int transfers) {
    if (!command.empty()) o.insert(QStringLiteral("command"), QString::fromUtf8(command));
    o.insert(QStringLiteral("ok"), ok);
    o.insert(QStringLiteral("transfers"), transfers);
    if (context.line > 0) o.insert(QStringLiteral("line"), context.line);
}

int RunCommand(Context& context, const Parsed& parsed, std::string_view lineText) {
    const int before = context.transfers;
    bench::Outcome<Reply> reply = parsed.step(context);
    const int transfers = context.transfers - before;
    if (!reply)
        return WriteError(context, parsed.command->name, reply.error(), transfers, lineText);
    Reply& r = reply.value();
    if (r.written) return r.exitCode;
    const bool ok = r.exitCode == kDone;
    if (context.out.json()) {
        if (!ok)
            r.json.insert(
                QStringLiteral("error"),
                QJsonObject{{QStringLiteral("kind"), r.exitCode == kCancelled
                                                         ? KindName(bench::Error::Kind::Cancelled)
                                                         : QStringLiteral("tolerance")},
                            {QStringLiteral("message"), QString::fromUtf8(r.failure)}});
        Stamp(context, r.json, parsed.command->name, ok, transfers);
        context.out.object(r.json);
    } else if (!r.text.empty()) {
        context.out.line(r.text);
    }
    if (!ok) context.out.message(QStringLiteral("tq5802ctl: ") + QString::fromUtf8(r.failure));
    return r.exitCode;
}

int WriteError(Context& context, std::string_view command, const bench::Error& e, int transfers,
               std::string_view lineText) {
    if (context.out.json()) {
        QJsonObject error{{QStringLiteral("kind"), KindName(e.kind)},
                          {QStringLiteral("message"), QString::fromStdString(e.message)}};
        if (e.request >= 0) error.insert(QStringLiteral("request"), e.request);
        if (e.kind != bench::Error::Kind::Usage) error.insert(QStringLiteral("status"), e.status);
        QJsonObject o{{QStringLiteral("error"), error}};
        if (!lineText.empty()) o.insert(QStringLiteral("text"), QString::fromUtf8(Shown(lineText)));
        Stamp(context, o, command, false, transfers);
        context.out.object(o);
    }
    QString where;
    if (context.line > 0)
        where = QStringLiteral("line %1: %2: ")
                    .arg(context.line)
                    .arg(QString::fromUtf8(Shown(lineText)));
    context.out.message(QStringLiteral("tq5802ctl: ") + where + QString::fromStdString(e.message));
    return ExitCodeOf(e.kind);
}

} // namespace tq::cli
