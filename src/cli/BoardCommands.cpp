// The commands that work one board operation each: list, code, volts, range, trim, read,
// lines, function, clear, load and temp.

#include "cli/Commands.h"
#include "cli/Parse.h"

#include "bench/Quantities.h"

#include "device/Encodings.h"
#include "device/RegisterMap.h"

#include <QJsonArray>

#include <charconv>
#include <cmath>
#include <limits>
#include <optional>

namespace tq::cli {

namespace {

using bench::Channel;
using bench::Outcome;
using bench::Status;

// Volts as the window's entries show them: five decimals.
double ShownVolts(float volts) {
    return device::RoundDecimals(volts, 5);
}

// Shortest text that reads back as x; never "-0".
void AppendNumber(std::string& text, double x) {
    char buffer[32];
    text.append(buffer, std::to_chars(buffer, buffer + sizeof buffer, x == 0 ? 0.0 : x).ptr);
}

void AppendInt(std::string& text, int64_t x) {
    char buffer[24];
    text.append(buffer, std::to_chars(buffer, buffer + sizeof buffer, x).ptr);
}

void AppendHex4(std::string& text, int32_t code) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    const char hex[] = {'0',
                        'x',
                        kDigits[(code >> 12) & 0xF],
                        kDigits[(code >> 8) & 0xF],
                        kDigits[(code >> 4) & 0xF],
                        kDigits[code & 0xF]};
    text.append(hex, sizeof hex);
}

// A reply per channel: the single channel's fields, or for ALL one entry per channel. Text
// replies are built without Qt strings: a batch writes one per line.
template <class Fill> Reply PerChannel(Context& ctx, Channel channel, Fill fill) {
    Reply reply;
    if (ctx.out.json()) {
        if (channel != Channel::All) {
            reply.json.insert(QStringLiteral("channel"),
                              QString::fromUtf8(bench::ChannelName(channel)));
            fill(channel, reply.json, nullptr);
            return reply;
        }
        QJsonArray channels;
        for (const Channel c : bench::Expand(channel)) {
            QJsonObject o{{QStringLiteral("channel"), QString::fromUtf8(bench::ChannelName(c))}};
            fill(c, o, nullptr);
            channels.append(o);
        }
        reply.json.insert(QStringLiteral("channel"), QStringLiteral("ALL"));
        reply.json.insert(QStringLiteral("channels"), channels);
        return reply;
    }
    for (const Channel c : bench::Expand(channel)) {
        if (!reply.text.empty()) reply.text += '\n';
        reply.text += bench::ChannelName(c);
        reply.text += ' ';
        QJsonObject unused;
        fill(c, unused, &reply.text);
    }
    return reply;
}

// A data code and the volts it gives in the channel's range under the present coding.
void DataFields(const bench::Bench& b, Channel c, int32_t code, QJsonObject& json,
                std::string* text) {
    const double volts = ShownVolts(b.codeToVolts(c, code));
    if (text) {
        *text += "data ";
        AppendInt(*text, code);
        *text += " (";
        AppendHex4(*text, code);
        *text += ") = ";
        AppendNumber(*text, volts);
        *text += " V";
        return;
    }
    json.insert(QStringLiteral("code"), code);
    json.insert(QStringLiteral("volts"), volts);
}

void RangeFields(int32_t coarse, QJsonObject& json, std::string* text) {
    const float fs = device::RangeFromCoarseCode(coarse, std::numeric_limits<float>::quiet_NaN());
    if (text) {
        *text += "coarse ";
        AppendInt(*text, coarse);
        if (std::isnan(fs)) {
            *text += " (no range)";
        } else {
            *text += " = \u00B1";
            AppendNumber(*text, ShownVolts(fs));
            *text += " V";
        }
        return;
    }
    json.insert(QStringLiteral("code"), coarse);
    json.insert(QStringLiteral("fullScaleVolts"),
                std::isnan(fs) ? QJsonValue() : QJsonValue(ShownVolts(fs)));
}

// asked: the value the user gave, told beside the register's own when the step rounded it.
void TrimFields(const char* name, int32_t code, double lsb, QJsonObject& json, std::string* text,
                std::optional<double> asked = {}, const char* step = nullptr) {
    const bool rounded = asked && *asked != lsb;
    if (text) {
        *text += name;
        *text += ' ';
        AppendInt(*text, code);
        *text += " = ";
        AppendNumber(*text, lsb);
        *text += " LSB";
        if (rounded) {
            *text += " (";
            AppendNumber(*text, *asked);
            *text += " rounded to ";
            *text += step;
            *text += ')';
        }
        return;
    }
    json.insert(QStringLiteral("code"), code);
    json.insert(QStringLiteral("lsb"), lsb);
    if (rounded) json.insert(QStringLiteral("askedLsb"), *asked);
}

Outcome<Reply> Done(Status status, Reply reply) {
    if (!status) return status.error();
    return reply;
}

// For commands without words.
bool NoWords(Args args) {
    return args.empty();
}

// ---- Control lines and function register as settings ---------------------------------------

Reply LinesReply(Context& ctx, const bench::ControlLines& l) {
    Reply r;
    for (const bench::LineSwitch& line : bench::kLineSwitches) {
        const bool on = l.*line.member;
        if (ctx.out.json()) {
            r.json.insert(QString::fromUtf8(line.jsonKey), on);
            continue;
        }
        if (!r.text.empty()) r.text += ' ';
        r.text += Cat({line.key, "=", line.words[on ? 1 : 0]});
    }
    return r;
}

std::string_view SettingText(const bench::FunctionFlags& f, const bench::FunctionSetting& s) {
    if (!s.isPin()) return bench::kSwitchWords[f.*s.on ? 1 : 0];
    return bench::kPinWords[!(f.*s.on) ? 0 : f.*s.high ? 2 : 1];
}

Reply FunctionReply(Context& ctx, const bench::FunctionFlags& f) {
    Reply r;
    if (ctx.out.json()) {
        r.json = QJsonObject{{QStringLiteral("register"), QStringLiteral("function")},
                             {QStringLiteral("code"), f.word()}};
        for (const bench::FunctionBit& bit : bench::kFunctionBits)
            r.json.insert(QString::fromUtf8(bit.jsonKey), f.*bit.member);
        return r;
    }
    r.text = QStringLiteral("function 0x%1:").arg(f.word(), 2, 16, QLatin1Char('0')).toStdString();
    for (const bench::FunctionSetting& s : bench::kFunctionSettings)
        r.text += Cat({" ", s.key, "=", SettingText(f, s)});
    return r;
}

} // namespace

// ---- Commands -----------------------------------------------------------------------------

Outcome<Step> ParseList(Args args) {
    if (!NoWords(args)) return UsageOf("list");
    return Step{[](Context& ctx) -> Outcome<Reply> {
        const Outcome<std::vector<int>> boards = bench::Bench::listBoards(ctx.options.driverPath);
        if (!boards) return boards.error();
        if (boards->empty()) return bench::Error{bench::Error::Kind::NoBoard, "no board found"};
        Reply r;
        QJsonArray list;
        for (std::size_t i = 0; i < boards->size(); ++i) {
            const int id = (*boards)[i];
            if (ctx.out.json())
                list.append(QJsonObject{{QStringLiteral("board"), static_cast<int>(i)},
                                        {QStringLiteral("id"), id}});
            else
                r.text += (i == 0 ? "board " : "\nboard ") + std::to_string(i) + ": id " +
                          std::to_string(id);
        }
        r.json.insert(QStringLiteral("boards"), list);
        return r;
    }};
}

Outcome<Step> ParseCode(Args args) {
    constexpr std::string_view usage = "code";
    if (args.size() != 2) return UsageOf(usage);
    const Outcome<Channel> channel = ParseChannel(args[0]);
    if (!channel) return channel.error();
    const Outcome<int64_t> code = ParseInteger(args[1], "a data code, 0 to 65535");
    if (!code) return code.error();
    return Step{[c = *channel, n = *code](Context& ctx) -> Outcome<Reply> {
        bench::Bench& b = *ctx.bench;
        return Done(b.setCode(c, n),
                    PerChannel(ctx, c, [&](Channel one, QJsonObject& j, std::string* t) {
                        DataFields(b, one, static_cast<int32_t>(n), j, t);
                    }));
    }};
}

Outcome<Step> ParseVolts(Args args) {
    if (args.size() != 2) return UsageOf("volts");
    const Outcome<Channel> channel = ParseChannel(args[0]);
    if (!channel) return channel.error();
    const Outcome<double> volts = ParseNumber(args[1], "volts within the channel's range");
    if (!volts) return volts.error();
    return Step{[c = *channel, v = *volts](Context& ctx) -> Outcome<Reply> {
        bench::Bench& b = *ctx.bench;
        return Done(b.setVolts(c, v),
                    PerChannel(ctx, c, [&](Channel one, QJsonObject& j, std::string* t) {
                        DataFields(b, one, b.voltsToCode(one, v), j, t);
                    }));
    }};
}

Outcome<Step> ParseRange(Args args) {
    if (args.size() != 2) return UsageOf("range");
    const Outcome<Channel> channel = ParseChannel(args[0]);
    if (!channel) return channel.error();
    const Outcome<double> fs = ParseNumber(args[1], "a full scale: " + bench::RangeChoices(", "));
    if (!fs) return fs.error();
    const Outcome<int32_t> coarse = bench::RangeCodeFromVolts(*fs);
    if (!coarse) return coarse.error();
    return Step{[c = *channel, code = *coarse](Context& ctx) -> Outcome<Reply> {
        return Done(ctx.bench->setRange(c, code),
                    PerChannel(ctx, c, [&](Channel, QJsonObject& j, std::string* t) {
                        RangeFields(code, j, t);
                    }));
    }};
}

Outcome<Step> ParseTrim(Args args) {
    constexpr std::string_view usage = "trim";
    if (args.empty()) return UsageOf(usage);
    const Outcome<Channel> channel = ParseChannel(args[0]);
    if (!channel) return channel.error();
    std::optional<double> fine;
    std::optional<double> offset;
    for (std::size_t i = 1; i < args.size(); i += 2) {
        const Outcome<int> which = ParseChoice(args[i], "trim option", {"--fine", "--offset"});
        if (!which) return which.error();
        if (i + 1 >= args.size()) return UsageOf(usage);
        const Outcome<double> lsb =
            ParseNumber(args[i + 1], *which == 0 ? "fine gain in LSB, -32 to 31"
                                                 : "offset in LSB, -16 to 15.875");
        if (!lsb) return lsb.error();
        (*which == 0 ? fine : offset) = *lsb;
    }
    if (!fine && !offset) return UsageOf(usage);
    return Step{[c = *channel, fine, offset](Context& ctx) -> Outcome<Reply> {
        const Status status = ctx.bench->setTrims(c, fine, offset);
        Reply r = PerChannel(ctx, c, [&](Channel, QJsonObject& j, std::string* t) {
            if (fine) {
                const int32_t code = device::FineGainToCode(static_cast<float>(*fine));
                QJsonObject o;
                TrimFields("fine", code, device::CodeToFineGain(code), o, t, fine, "a whole LSB");
                if (!t) j.insert(QStringLiteral("fine"), o);
            }
            if (fine && offset && t) *t += ", ";
            if (offset) {
                const int32_t code = device::OffsetToCode(static_cast<float>(*offset));
                QJsonObject o;
                TrimFields("offset", code, device::CodeToOffset(code), o, t, offset,
                           "the nearest 1/8 LSB");
                if (!t) j.insert(QStringLiteral("offset"), o);
            }
        });
        return Done(status, std::move(r));
    }};
}

Outcome<Step> ParseRead(Args args) {
    constexpr std::string_view usage = "read";
    if (args.empty()) return UsageOf(usage);
    const Outcome<int> which =
        ParseChoice(args[0], "register", {"data", "coarse", "fine", "offset", "function"});
    if (!which) return which.error();
    if (*which == 4) {
        if (args.size() != 1) return UsageOf(usage);
        return Step{[](Context& ctx) -> Outcome<Reply> {
            const Outcome<bench::FunctionFlags> flags = ctx.bench->readFunction();
            if (!flags) return flags.error();
            return FunctionReply(ctx, *flags);
        }};
    }
    if (args.size() != 2) return UsageOf(usage);
    const Outcome<Channel> channel = ParseChannel(args[1]);
    if (!channel) return channel.error();
    static constexpr std::array<int16_t, 4> kCodes{device::DataRegister, device::CoarseGainRegister,
                                                   device::FineGainRegister,
                                                   device::OffsetRegister};
    static constexpr std::array<const char*, 4> kNames{"data", "coarse", "fine", "offset"};
    const auto index = static_cast<std::size_t>(*which);
    return Step{[c = *channel, index](Context& ctx) -> Outcome<Reply> {
        bench::Bench& b = *ctx.bench;
        // Every channel is read before anything is written out, so a failure leaves no half
        // answer behind.
        std::array<int32_t, 4> values{};
        for (const Channel one : bench::Expand(c)) {
            const Outcome<int32_t> value = b.readRegister(kCodes[index], one);
            if (!value) return value.error();
            values[bench::ChannelIndex(one)] = *value;
        }
        Reply r = PerChannel(ctx, c, [&](Channel one, QJsonObject& j, std::string* t) {
            const int32_t v = values[bench::ChannelIndex(one)];
            switch (index) {
            case 0:
                return DataFields(b, one, v, j, t);
            case 1:
                return RangeFields(v & device::CoarseGainCodeMask, j, t);
            case 2: {
                const int32_t code = v & device::FineGainFieldMask;
                return TrimFields("fine", code, device::CodeToFineGain(code), j, t);
            }
            default: {
                const int32_t code = v & device::OffsetFieldMask;
                return TrimFields("offset", code, device::CodeToOffset(code), j, t);
            }
            }
        });
        r.json.insert(QStringLiteral("register"), QLatin1String(kNames[index]));
        return r;
    }};
}

Outcome<Step> ParseLines(Args args) {
    struct Change {
        std::size_t line; // index into bench::kLineSwitches
        bool value;
    };
    std::vector<Change> changes;
    for (const std::string_view word : args) {
        const auto setting = ParseSetting(word);
        if (!setting) return setting.error();
        const auto [name, value] = *setting;
        const Outcome<int> line = ParseKey(name, "line", bench::kLineSwitches);
        if (!line) return line.error();
        const bench::LineSwitch& s = bench::kLineSwitches[static_cast<std::size_t>(*line)];
        const Outcome<int> level =
            ParseChoice(value, s.words[0] == "low" ? std::string_view("level") : s.key, s.words);
        if (!level) return level.error();
        changes.push_back({static_cast<std::size_t>(*line), *level == 1});
    }
    return Step{[changes](Context& ctx) -> Outcome<Reply> {
        bench::Bench& b = *ctx.bench;
        if (changes.empty()) return LinesReply(ctx, b.lines());
        bench::ControlLines l = b.lines();
        for (const Change& change : changes)
            l.*bench::kLineSwitches[change.line].member = change.value;
        return Done(b.setLines(l), LinesReply(ctx, l));
    }};
}

Outcome<Step> ParseFunction(Args args) {
    // Each setting: a switch (0 off, 1 on) or a pin (0 in, 1 low, 2 high).
    struct Change {
        std::size_t setting; // index into bench::kFunctionSettings
        int value;
    };
    std::vector<Change> changes;
    for (const std::string_view word : args) {
        const auto setting = ParseSetting(word);
        if (!setting) return setting.error();
        const auto [name, text] = *setting;
        const Outcome<int> which = ParseKey(name, "function setting", bench::kFunctionSettings);
        if (!which) return which.error();
        const auto index = static_cast<std::size_t>(*which);
        const Outcome<int> value = bench::kFunctionSettings[index].isPin()
                                       ? ParseChoice(text, "pin", bench::kPinWords)
                                       : ParseChoice(text, "switch", bench::kSwitchWords);
        if (!value) return value.error();
        changes.push_back({index, *value});
    }
    return Step{[changes](Context& ctx) -> Outcome<Reply> {
        bench::Bench& b = *ctx.bench;
        if (changes.empty()) {
            const Outcome<bench::FunctionFlags> flags = b.readFunction();
            if (!flags) return flags.error();
            return FunctionReply(ctx, *flags);
        }
        bench::FunctionFlags f = b.function();
        for (const Change& c : changes) {
            const bench::FunctionSetting& s = bench::kFunctionSettings[c.setting];
            f.*s.on = c.value != 0;
            if (s.isPin() && c.value != 0) f.*s.high = c.value == 2;
        }
        return Done(b.setFunction(f), FunctionReply(ctx, f));
    }};
}

Outcome<Step> ParseClear(Args args) {
    if (!NoWords(args)) return UsageOf("clear");
    return Step{[](Context& ctx) -> Outcome<Reply> {
        Reply r;
        r.text = "CLEAR all channels";
        return Done(ctx.bench->clear(), r);
    }};
}

Outcome<Step> ParseLoad(Args args) {
    if (!NoWords(args)) return UsageOf("load");
    return Step{[](Context& ctx) -> Outcome<Reply> {
        Reply r;
        r.text = "LOAD all channels";
        return Done(ctx.bench->load(), r);
    }};
}

Outcome<Step> ParseTemp(Args args) {
    if (!NoWords(args)) return UsageOf("temp");
    return Step{[](Context& ctx) -> Outcome<Reply> {
        const Outcome<bench::Temperature> t = ctx.bench->temperature();
        if (!t) return t.error();
        Reply r;
        if (ctx.out.json())
            r.json = QJsonObject{
                {QStringLiteral("celsius"), device::RoundDecimals(t->value.celsius, 3)},
                {QStringLiteral("pinVolts"), device::RoundDecimals(t->value.pinVolts, 5)},
                {QStringLiteral("reading"), t->reading}};
        else
            r.text = Cat({t->value.celsiusText, " \u00B0C (pin ", t->value.voltsText, " V)"});
        return r;
    }};
}

} // namespace tq::cli
