#include "scpi/Commands.h"

#include "bench/AutoCalibration.h"
#include "bench/Quantities.h"
#include "device/RegisterMap.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <limits>
#include <optional>

namespace tq::scpi {

using bench::Channel;

struct Call {
    bench::Bench& bench;
    Session& session;
    const Identity& identity;
    std::span<const MeterChoice> meters;
    const std::vector<int>& suffixes;
    const std::vector<std::string>& params;
    std::vector<std::string>& answers;
    Execution& execution;
    ListSettings& list;
    int& operation;

    Channel channel() const { return bench::kChannels[static_cast<std::size_t>(suffixes[0] - 1)]; }
    int suffix() const { return suffixes[0]; }

    void answer(std::string text) { answers.push_back(std::move(text)); }
    // Hands the command's waiting to the caller (see Execution); false when refused.
    bool later(LongWork work) {
        if (execution.hadLong_) {
            session.fail(-221, "one long operation per message: send it on its own");
            return false;
        }
        execution.hadLong_ = true;
        execution.work_ = std::move(work);
        return true;
    }

    // A number, or MINimum / MAXimum standing for `min` / `max`.
    std::optional<double> number(std::size_t i, double min, double max) {
        const std::string& p = params[i];
        if (IsWord(p, "MINimum")) return min;
        if (IsWord(p, "MAXimum")) return max;
        if (const auto x = NumberFrom(p)) {
            if (std::isfinite(*x)) return x;
            session.fail(-222, p);
            return std::nullopt;
        }
        session.fail(-104, "a number is expected, not " + p);
        return std::nullopt;
    }
    // A whole number; the library checks the register's own limits.
    std::optional<int64_t> integer(std::size_t i, double min, double max) {
        const auto x = number(i, min, max);
        if (!x) return std::nullopt;
        if (*x != std::floor(*x)) {
            session.fail(-224, "a whole number is expected, not " + params[i]);
            return std::nullopt;
        }
        if (*x < -1e15 || *x > 1e15) {
            session.fail(-222, params[i]);
            return std::nullopt;
        }
        return static_cast<int64_t>(*x);
    }
    // One of the words, as its index.
    std::optional<std::size_t> choice(std::size_t i,
                                      std::initializer_list<std::string_view> words) {
        std::size_t index = 0;
        for (const std::string_view w : words) {
            if (IsWord(params[i], w)) return index;
            ++index;
        }
        session.fail(-224, params[i]);
        return std::nullopt;
    }
    std::optional<bool> boolean(std::size_t i) {
        const std::string& p = params[i];
        if (IsWord(p, "ON") || p == "1") return true;
        if (IsWord(p, "OFF") || p == "0") return false;
        session.fail(-224, "ON, OFF, 1 or 0 is expected, not " + p);
        return std::nullopt;
    }
    // One quoted string ('...' or "..."), its doubled quotes made single. Control characters
    // are refused: the text may go on to a meter as a command line.
    std::optional<std::string> string(std::size_t i) {
        const std::string& p = params[i];
        const char quote = p.empty() ? 0 : p.front();
        if (quote != '"' && quote != '\'') {
            session.fail(-104, "a quoted string is expected, not " + p);
            return std::nullopt;
        }
        std::string text;
        std::size_t k = 1;
        for (; k < p.size(); ++k) {
            if (p[k] == quote) {
                if (k + 1 == p.size() || p[k + 1] != quote) break;
                ++k;
            }
            const auto u = static_cast<unsigned char>(p[k]);
            if (u < 0x20 || u == 0x7F) {
                session.fail(-224, "a string may not hold control characters");
                return std::nullopt;
            }
            text += p[k];
        }
        if (k + 1 != p.size()) {
            session.fail(-102, "one quoted string is expected, not " + p);
            return std::nullopt;
        }
        return text;
    }
    static std::string Quoted(const std::string& text) {
        std::string out = "\"";
        for (const char ch : text)
            out += ch == '"' ? std::string("\"\"") : std::string(1, ch);
        return out + "\"";
    }
    // A register address: a number, or a channel's name (A..D, ALL).
    std::optional<int16_t> address(std::size_t i) {
        if (const auto c = bench::ChannelFromText(params[i])) return bench::AddressCode(*c);
        const auto a = integer(i, 0, 7);
        if (!a) return std::nullopt;
        if (*a < 0 || *a > 7) {
            session.fail(-222, "address " + params[i] + " is outside 0 to 7");
            return std::nullopt;
        }
        return static_cast<int16_t>(*a);
    }

    // The meter this client calibrates against: its choice, else the operator's first.
    const MeterChoice* meter() const {
        for (const MeterChoice& m : meters)
            if (m.url == session.meterUrl) return &m;
        return meters.empty() ? nullptr : &meters.front();
    }

    void report(const bench::Error& e) {
        switch (e.kind) {
        case bench::Error::Kind::Usage:
            session.fail(-222, e.message);
            break;
        case bench::Error::Kind::Transfer:
            // The driver's status alone cannot tell an unplugged board from a refused request.
            session.fail(bench.boardPresent() ? kTransferFailed : kBoardGone, e.message);
            break;
        case bench::Error::Kind::NoBoard:
        case bench::Error::Kind::DriverLoad:
            session.fail(kBoardGone, e.message);
            break;
        case bench::Error::Kind::Meter:
        case bench::Error::Kind::Cancelled:
            session.fail(kMeterFailed, e.message);
            break;
        case bench::Error::Kind::Missing:
            session.fail(kHardwareMissing, e.message);
            break;
        }
    }
    void done(const bench::Status& s) {
        if (!s) report(s.error());
    }
    // Registers read back only while serial data output is on.
    bool readable() {
        if (bench.function().sdoEnabled) return true;
        session.fail(-221, "serial data output is off: FUNCtion:SDO ON reads registers back");
        return false;
    }
    template <class T> void answerWith(const bench::Outcome<T>& value) {
        if (!value) return report(value.error());
        answer(Text(*value));
    }

    static std::string Text(double x) {
        std::array<char, 32> buffer{};
        std::snprintf(buffer.data(), buffer.size(), "%.7g", x);
        return buffer.data();
    }
    static std::string Text(float x) { return Text(static_cast<double>(x)); }
    static std::string Text(int32_t x) { return std::to_string(x); }
    static std::string Text(bool x) { return x ? "1" : "0"; }
};

namespace {

// A control line's row, from the board's table of settings.
template <std::size_t I> void SetLine(Call& c) {
    constexpr const bench::LineSwitch& line = bench::kLineSwitches[I];
    std::optional<bool> on;
    if constexpr (line.scpiWords[0].empty()) {
        on = c.boolean(0);
    } else if (const auto i = c.choice(0, {line.scpiWords[0], line.scpiWords[1]})) {
        on = *i == 1;
    }
    if (!on) return;
    bench::ControlLines lines = c.bench.lines();
    lines.*line.member = *on;
    c.done(c.bench.setLines(lines));
}
template <std::size_t I> void GetLine(Call& c) {
    constexpr const bench::LineSwitch& line = bench::kLineSwitches[I];
    const bool on = c.bench.lines().*line.member;
    if constexpr (line.scpiWords[0].empty())
        c.answer(Call::Text(on));
    else
        c.answer(ShortForm(line.scpiWords[on ? 1 : 0]));
}
template <std::size_t I> constexpr Command LineRow() {
    constexpr const bench::LineSwitch& line = bench::kLineSwitches[I];
    static_assert(!line.scpiHeader.empty());
    return {line.scpiHeader, 1, 0, SetLine<I>, GetLine<I>, line.scpiParameters, line.meaning};
}

// A function register switch's row (FUNCtion:SDO, FUNCtion:LGNDoffset).
template <std::size_t I> void SetSwitch(Call& c) {
    if (const auto on = c.boolean(0)) {
        bench::FunctionFlags flags = c.bench.function();
        flags.*bench::kFunctionSettings[I].on = *on;
        c.done(c.bench.setFunction(flags));
    }
}
template <std::size_t I> void GetSwitch(Call& c) {
    c.answer(Call::Text(c.bench.function().*bench::kFunctionSettings[I].on));
}
template <std::size_t I> constexpr Command SwitchRow() {
    constexpr const bench::FunctionSetting& s = bench::kFunctionSettings[I];
    static_assert(!s.isPin() && !s.scpiHeader.empty());
    return {s.scpiHeader, 1, 0, SetSwitch<I>, GetSwitch<I>, "ON|OFF|1|0", s.meaning};
}

bool bench::FunctionFlags::*PinFlag(const Call& c, bool level) {
    if (c.suffix() == 0)
        return level ? &bench::FunctionFlags::d0High : &bench::FunctionFlags::d0Output;
    return level ? &bench::FunctionFlags::d1High : &bench::FunctionFlags::d1Output;
}

// Calibrates the channel against the connection's meter. Without a routing command the
// client has put the meter on the channel before asking.
void RunAutoCalibration(Call& c, bool answer) {
    const MeterChoice* chosen = c.meter();
    if (!chosen)
        return c.session.fail(-221, "no meter: the server was started without serve --meter URL");
    bench::MeterOptions options;
    options.url = QString::fromStdString(chosen->url);
    options.routeTemplate = QString::fromStdString(chosen->route.value_or(c.session.meterRoute));
    options.samples = 4;
    const bool accepted = c.later([&bench = c.bench, options, channel = c.channel(),
                                   answer](std::stop_token stop) -> LongFinish {
        auto meter = bench::Meter::connect(options);
        if (!meter)
            return [e = meter.error()](Call& c) {
                c.operation &= ~kCalibrating;
                c.report(e);
            };
        meter.value()->setProbeRequest([](Channel) { return true; });
        bench::CalibrationOptions only;
        only.channels = {channel};
        bench::CalibrationHooks hooks;
        hooks.cancelled = [stop] { return stop.stop_requested(); };
        auto results = bench::Calibrate(bench, *meter.value(), only, hooks);
        return [results = std::move(results), answer](Call& c) {
            c.operation &= ~kCalibrating;
            if (!results) return c.report(results.error());
            const bench::ChannelCalibration& r = results->front();
            if (answer)
                c.answer(Call::Text(r.withinTolerance) + "," + Call::Text(r.after.offsetLsb) + "," +
                         Call::Text(r.after.zeroScaleLsb) + "," + std::to_string(r.passes));
        };
    });
    if (accepted) c.operation |= kCalibrating;
}

// SCPI's number for INFinity.
constexpr double kInfinity = 9.9e37;

// Plays the lists of the channels that have one, together, on the worker. All of it is
// checked first, so a refusal sends nothing.
void Initiate(Call& c) {
    bench::SequenceTable table;
    std::vector<const std::vector<double>*> lists;
    std::string lengths;
    for (const Channel ch : bench::kChannels) {
        const std::vector<double>& values = c.list.volts[bench::ChannelIndex(ch)];
        if (values.empty()) continue;
        table.columns.push_back({ch, bench::SequenceUnit::Volts});
        lists.push_back(&values);
        lengths += (lengths.empty() ? "" : ", ") + std::string(bench::ChannelName(ch)) + " has " +
                   std::to_string(values.size());
    }
    if (lists.empty()) return c.session.fail(-221, "no list to play: SOURce<n>:LIST:VOLTage first");
    const std::size_t points = lists.front()->size();
    if (std::ranges::any_of(lists, [&](const auto* l) { return l->size() != points; }))
        return c.session.fail(-221, "the lists differ in length: " + lengths);
    for (std::size_t i = 0; i < points; ++i)
        for (const std::vector<double>* l : lists)
            table.values.push_back((*l)[i]);
    if (const bench::Status s = bench::CheckPlay(c.bench, table, c.list.play); !s)
        return c.session.fail(-221, s.error().message);
    const bool accepted = c.later([&bench = c.bench, table = std::move(table),
                                   options = c.list.play](std::stop_token stop) -> LongFinish {
        auto report =
            bench::Play(bench, table, options,
                        {.cancelled = [stop] { return stop.stop_requested(); }, .progress = {}});
        return [report = std::move(report)](Call& c) {
            c.operation &= ~kSweeping;
            if (!report) c.report(report.error());
        };
    });
    if (accepted) c.operation |= kSweeping;
}

const std::string kRangeParameters = bench::RangeChoices() + "|MIN|MAX";
const std::string kEndParameters = UpperCase(bench::KeyChoices(bench::kEndLevels));

const Command kTable[] = {
    // ---- IEEE 488.2 common commands -----------------------------------------------------
    {"*IDN", -1, 0, nullptr,
     [](Call& c) {
         c.answer(c.identity.maker + "," + std::string(bench::ModelName(c.bench.model())) + ",0," +
                  c.identity.version);
     },
     "", "maker, model, serial number 0, software version", 1, 4, true},
    {"*RST", 0, -1,
     [](Call& c) {
         c.list = {};
         c.done(c.bench.reset());
     },
     nullptr, "", "the board's power-on set-up, as the window's start-up leaves it; no lists"},
    {"*CLS", 0, -1,
     [](Call& c) {
         c.session.errors.clear();
         c.session.esr = 0;
     },
     nullptr, "", "empties the error queue and the event status register", 1, 4, true},
    {"*OPC", 0, 0, [](Call& c) { c.session.esr |= kOperationComplete; },
     [](Call& c) { c.answer("1"); }, "",
     "commands complete in order, so the query answers 1 once the sender's long operation "
     "has ended",
     1, 4, true},
    {"*WAI", 0, -1, [](Call&) {}, nullptr, "",
     "commands run in order: waits only for the sender's long operation", 1, 4, true},
    {"*ESR", -1, 0, nullptr,
     [](Call& c) {
         c.answer(std::to_string(c.session.esr));
         c.session.esr = 0;
     },
     "", "event status register, then cleared", 1, 4, true},
    {"*ESE", 1, 0,
     [](Call& c) {
         if (const auto mask = c.integer(0, 0, 255)) {
             if (*mask < 0 || *mask > 255) return c.session.fail(-222, c.params[0]);
             c.session.ese = static_cast<int>(*mask);
         }
     },
     [](Call& c) { c.answer(std::to_string(c.session.ese)); }, "<0..255>",
     "event status enable mask", 1, 4, true},
    {"*STB", -1, 0, nullptr,
     [](Call& c) {
         int stb = c.session.errors.count() > 0 ? 0x04 : 0;
         if (c.session.esr & c.session.ese) stb |= 0x20;
         c.answer(std::to_string(stb));
     },
     "", "status byte: 4 = error queue not empty, 32 = enabled event", 1, 4, true},
    // ---- System -------------------------------------------------------------------------
    {"SYSTem:ERRor[:NEXT]", -1, 0, nullptr, [](Call& c) { c.answer(c.session.errors.next()); }, "",
     "oldest error of this connection: <number>,\"<text>\"", 1, 4, true},
    {"SYSTem:ERRor:COUNt", -1, 0, nullptr,
     [](Call& c) { c.answer(std::to_string(c.session.errors.count())); }, "",
     "errors waiting in this connection's queue", 1, 4, true},
    {"SYSTem:VERSion", -1, 0, nullptr, [](Call& c) { c.answer("1999.0"); }, "",
     "the SCPI version followed", 1, 4, true},
    {"STATus:OPERation:CONDition", -1, 0, nullptr,
     [](Call& c) { c.answer(std::to_string(c.operation)); }, "",
     "operation status: 1 = calibrating (CALibration#:AUTO), 8 = the lists are playing "
     "(INITiate)",
     1, 4, true},
    // ---- Channels: suffix 1..4 = DAC A..D ------------------------------------------------
    {"SOURce#:VOLTage[:LEVel]", 1, 0,
     [](Call& c) {
         const double fs = c.bench.rangeVolts(c.channel());
         if (const auto v = c.number(0, -fs, fs)) c.done(c.bench.setVolts(c.channel(), *v));
     },
     [](Call& c) {
         if (c.readable()) c.answerWith(c.bench.readVolts(c.channel()));
     },
     "<volts>|MIN|MAX", "output in volts within the channel's range and the present coding"},
    {"SOURce#:VOLTage:RANGe", 1, 0,
     [](Call& c) {
         const auto fs = c.number(0, bench::RangeMinVolts(), bench::RangeMaxVolts());
         if (!fs) return;
         const bench::Outcome<int32_t> code = bench::RangeCodeFromVolts(*fs);
         if (!code) return c.session.fail(-224, code.error().message);
         c.done(c.bench.setRange(c.channel(), *code));
     },
     [](Call& c) { c.answer(Call::Text(c.bench.rangeVolts(c.channel()))); }, kRangeParameters,
     "full scale in volts (coarse gain)"},
    {"SOURce#:DATA", 1, 0,
     [](Call& c) {
         if (const auto code = c.integer(0, device::DataCodeMin, device::DataCodeMax))
             c.done(c.bench.setCode(c.channel(), *code));
     },
     [](Call& c) {
         if (c.readable()) c.answerWith(c.bench.readField(device::DataRegister, c.channel()));
     },
     "<0..65535>|MIN|MAX", "data register code"},
    {"CALibration#:GAIN:FINE", 1, 0,
     [](Call& c) {
         if (const auto g = c.number(0, device::FineGainMin, device::FineGainMax))
             c.done(c.bench.setFineGain(c.channel(), *g));
     },
     [](Call& c) {
         if (c.readable()) c.answerWith(c.bench.readFineGain(c.channel()));
     },
     "<-32..31>|MIN|MAX", "fine gain trim in LSB"},
    {"CALibration#:OFFSet", 1, 0,
     [](Call& c) {
         if (const auto x = c.number(0, device::OffsetMin, device::OffsetMax))
             c.done(c.bench.setOffset(c.channel(), *x));
     },
     [](Call& c) {
         if (c.readable()) c.answerWith(c.bench.readOffset(c.channel()));
     },
     "<-16..15.875>|MIN|MAX", "offset trim in LSB, in eighths"},
    {"CALibration:METer", 1, 0,
     [](Call& c) {
         const auto url = c.string(0);
         if (!url) return;
         // Only what the operator named: a client must not make the server reach any host.
         if (std::ranges::none_of(c.meters, [&](const MeterChoice& m) { return m.url == *url; }))
             return c.session.fail(-224, "not a meter of this server (serve --meter)");
         c.session.meterUrl = *url;
     },
     [](Call& c) {
         const MeterChoice* m = c.meter();
         c.answer(Call::Quoted(m ? m->url : std::string()));
     },
     "\"tcp://HOST[:PORT]\"",
     "the meter CALibration#:AUTO reads, one of those the server was started with", 1, 4, true},
    {"CALibration:METer:ROUTe", 1, 0,
     [](Call& c) {
         const auto route = c.string(0);
         if (!route) return;
         const MeterChoice* m = c.meter();
         if (m && m->route && *m->route != *route)
             return c.session.fail(-221, "the server fixes this meter's routing command");
         c.session.meterRoute = *route;
     },
     [](Call& c) {
         const MeterChoice* m = c.meter();
         c.answer(Call::Quoted(m && m->route ? *m->route : c.session.meterRoute));
     },
     "\"ROUT:CLOS (@{n})\"",
     "the meter's routing command, {n} = 1..4; empty: the meter is on the channel already", 1, 4,
     true},
    {"CALibration#:AUTO", 0, 0, [](Call& c) { RunAutoCalibration(c, false); },
     [](Call& c) { RunAutoCalibration(c, true); }, "",
     "offset and gain calibration against the meter until within 0.5 LSB; the query "
     "answers <within 0|1>,<offset LSB>,<zero-scale LSB>,<passes>"},
    // ---- List mode: the listed channels play together, point after point -------------------
    {"SOURce#:LIST:VOLTage[:LEVel]", kList, 0,
     [](Call& c) {
         const double fs = c.bench.rangeVolts(c.channel());
         std::vector<double> values;
         for (std::size_t i = 0; i < c.params.size(); ++i) {
             const auto v = c.number(i, -fs, fs);
             if (!v) return;
             if (*v < -fs || *v > fs)
                 return c.session.fail(-222, "point " + std::to_string(i + 1) + ", " + c.params[i] +
                                                 " V, is outside the channel's range +/-" +
                                                 Call::Text(fs) + " V");
             values.push_back(*v);
         }
         c.list.volts[bench::ChannelIndex(c.channel())] = std::move(values);
     },
     [](Call& c) {
         std::string text;
         for (const double v : c.list.volts[bench::ChannelIndex(c.channel())])
             text += (text.empty() ? "" : ",") + Call::Text(v);
         c.answer(text);
     },
     "<volts>,<volts>,...", "the channel's list of points in volts, within its range"},
    {"SOURce:LIST:CLEar", 0, -1, [](Call& c) { c.list.volts = {}; }, nullptr, "",
     "every channel's list emptied"},
    {"SOURce:LIST:RATE", 1, 0,
     [](Call& c) {
         const double most = bench::MaxRate(1);
         const auto rate = c.number(0, bench::kMinRate, most);
         if (!rate) return;
         if (*rate < bench::kMinRate || *rate > most)
             return c.session.fail(-222, "rate " + c.params[0] + " is outside " +
                                             Call::Text(bench::kMinRate) + " to " +
                                             Call::Text(most) + " points/s");
         c.list.play.rate = *rate;
     },
     [](Call& c) { c.answer(Call::Text(c.list.play.rate)); }, "<points/s>|MIN|MAX",
     "points per second; INITiate refuses more than MAX divided by the channels with a list"},
    {"SOURce:LIST:COUNt", 1, 0,
     [](Call& c) {
         const std::string& p = c.params[0];
         if (IsWord(p, "INFinity") || NumberFrom(p).value_or(0) >= kInfinity)
             return c.list.play.count.reset();
         const auto n = c.integer(0, 1, static_cast<double>(bench::kMaxCount));
         if (!n) return;
         if (*n < 1 || *n > bench::kMaxCount) return c.session.fail(-222, p);
         c.list.play.count = *n;
     },
     [](Call& c) {
         const auto& n = c.list.play.count;
         c.answer(n ? std::to_string(*n) : Call::Text(kInfinity));
     },
     "<1..1000000000>|INFinity|MIN|MAX", "times through the lists; INFinity until ABORt"},
    {"SOURce:LIST:END", 1, 0,
     [](Call& c) {
         for (const bench::EndLevelWord& w : bench::kEndLevels)
             if (IsWord(c.params[0], UpperCase(w.key))) return void(c.list.play.end = w.level);
         c.session.fail(-224, c.params[0]);
     },
     [](Call& c) { c.answer(UpperCase(bench::EndLevelName(c.list.play.end))); }, kEndParameters,
     "after the lists, stopped or failed: the last point held, or the played channels at 0 V"},
    {"INITiate[:IMMediate]", 0, -1, Initiate, nullptr, "",
     "plays the lists; STATus:OPERation:CONDition? has 8 meanwhile"},
    {"ABORt", 0, -1, [](Call&) {}, nullptr, "",
     "stops this client's long operation (CALibration#:AUTO, INITiate) as soon as it arrives, "
     "restoring what the operation changed",
     1, 4, true},
    // ---- Control lines ------------------------------------------------------------------
    LineRow<0>(),
    LineRow<1>(),
    LineRow<2>(),
    LineRow<3>(),
    LineRow<6>(),
    // ---- Function register ----------------------------------------------------------------
    SwitchRow<0>(),
    SwitchRow<1>(),
    {"FUNCtion:DIO#:DIRection", 1, 0,
     [](Call& c) {
         if (const auto i = c.choice(0, {"IN", "OUT"})) {
             bench::FunctionFlags flags = c.bench.function();
             flags.*PinFlag(c, false) = *i == 1;
             c.done(c.bench.setFunction(flags));
         }
     },
     [](Call& c) { c.answer(c.bench.function().*PinFlag(c, false) ? "OUT" : "IN"); }, "IN|OUT",
     "D0 (DIO0) or D1 (DIO1, or DIO) driven by the converter (OUT) or read (IN)", 0, 1},
    {"FUNCtion:DIO#:LEVel", 1, 0,
     [](Call& c) {
         if (const auto on = c.boolean(0)) {
             bench::FunctionFlags flags = c.bench.function();
             flags.*PinFlag(c, true) = *on;
             c.done(c.bench.setFunction(flags));
         }
     },
     [](Call& c) { c.answer(Call::Text(c.bench.function().*PinFlag(c, true))); }, "ON|OFF|1|0",
     "level the converter drives on the pin", 0, 1},
    {"FUNCtion:CLEar", 0, -1, [](Call& c) { c.done(c.bench.clear()); }, nullptr, "",
     "CLEAR: every output to 0 V"},
    {"FUNCtion:LOAD", 0, -1, [](Call& c) { c.done(c.bench.load()); }, nullptr, "",
     "LOAD: the input registers into the DAC registers"},
    // ---- Measurement and raw access -------------------------------------------------------
    {"MEASure:TEMPerature", -1, 0, nullptr,
     [](Call& c) {
         const bench::Outcome<bench::Temperature> t = c.bench.temperature();
         if (!t) return c.report(t.error());
         c.answer(Call::Text(t->value.celsius));
     },
     "", "die temperature in degrees Celsius"},
    {"REGister", 3, 2,
     [](Call& c) {
         const auto reg = c.integer(0, 0, 7);
         const auto address = reg ? c.address(1) : std::nullopt;
         const auto data = address ? c.integer(2, 0, device::DataCodeMax) : std::nullopt;
         if (!data) return;
         if (*reg < 0 || *reg > 7) return c.session.fail(-222, "register " + c.params[0]);
         c.done(c.bench.writeRaw(static_cast<int16_t>(*reg), *address, *data));
     },
     [](Call& c) {
         const auto reg = c.integer(0, 0, 7);
         const auto address = reg ? c.address(1) : std::nullopt;
         if (!address) return;
         if (*reg < 0 || *reg > 7) return c.session.fail(-222, "register " + c.params[0]);
         if (c.readable()) c.answerWith(c.bench.readRaw(static_cast<int16_t>(*reg), *address));
     },
     "<reg>,<address|A..D|ALL>[,<data>]",
     "raw register write, or read (query): register code 0, 2..5"},
};

std::string HeaderText(const Unit& u) {
    std::string text = u.common ? "*" : "";
    for (std::size_t i = 0; i < u.nodes.size(); ++i)
        text += (i ? ":" : "") + u.nodes[i];
    return text + (u.query ? "?" : "");
}

} // namespace

bool Execution::settled() const {
    return next_ == units_.size() && next_ > 0 && !units_[next_ - 1].unit.query;
}

std::span<const Command> CommandTable() {
    return kTable;
}

Interpreter::Interpreter(bench::Bench& bench, Identity identity, std::vector<MeterChoice> meters)
    : bench_(bench), identity_(std::move(identity)), meters_(std::move(meters)) {
    for (const Command& command : kTable)
        patterns_.emplace_back(command.header);
}

Interpreter::Resolved Interpreter::resolve(Unit& unit, std::vector<std::string>& path,
                                           std::vector<int>& suffixes) const {
    if (!unit.common && !unit.absolute)
        unit.nodes.insert(unit.nodes.begin(), path.begin(), path.end());
    if (!unit.common) path.assign(unit.nodes.begin(), unit.nodes.end() - 1);

    std::size_t found = 0;
    while (found < patterns_.size() && !(patterns_[found].common() == unit.common &&
                                         patterns_[found].match(unit.nodes, suffixes)))
        ++found;
    Resolved r{nullptr, 0, HeaderText(unit)};
    if (found == patterns_.size()) return r.error = -113, r;
    const Command& command = kTable[found];
    for (const int s : suffixes)
        if (s < command.suffixMin || s > command.suffixMax) return r.error = -114, r;
    const Handler handler = unit.query ? command.query : command.set;
    const int expected = unit.query ? command.queryParams : command.setParams;
    if (!handler) return r.error = -113, r;
    const auto given = static_cast<int>(unit.params.size());
    if (expected == kList) {
        if (given == 0) return r.error = -109, r;
    } else {
        if (given > expected) return r.error = -108, r;
        if (given < expected) return r.error = -109, r;
    }
    r.command = &command;
    return r;
}

void Interpreter::run(Execution& e, Session& session) {
    while (e.next_ < e.units_.size() && !e.waiting()) {
        ParsedUnit& parsed = e.units_[e.next_++];
        const Resolved r = parsed.error ? Resolved{nullptr, parsed.error, {}}
                                        : resolve(parsed.unit, e.path_, e.suffixes_);
        if (r.error) {
            session.fail(r.error, r.header);
            e.next_ = e.units_.size(); // a command error ends the message there
            return;
        }
        Call call{bench_,    session, identity_, meters_,   e.suffixes_, parsed.unit.params,
                  e.answers, e,       list_,     operation_};
        (parsed.unit.query ? r.command->query : r.command->set)(call);
    }
}

Execution Interpreter::start(Session& session, std::string_view message) {
    Execution e;
    e.units_ = ParseMessage(message);
    run(e, session);
    return e;
}

void Interpreter::resume(Execution& e, Session& session, const LongFinish& finish) {
    if (finish && e.next_ > 0) {
        Call call{bench_,    session,     identity_,
                  meters_,   e.suffixes_, e.units_[e.next_ - 1].unit.params,
                  e.answers, e,           list_,
                  operation_};
        finish(call);
    }
    run(e, session);
}

std::vector<std::string> Interpreter::execute(Session& session, std::string_view message) {
    Execution e = start(session, message);
    while (e.waiting()) {
        const std::stop_source never;
        const LongFinish finish = e.takeWork()(never.get_token());
        resume(e, session, finish);
    }
    return std::move(e.answers);
}

MessageNeeds Interpreter::needs(std::string_view message) const {
    MessageNeeds n;
    std::vector<std::string> path;
    std::vector<int> suffixes;
    for (ParsedUnit& parsed : ParseMessage(message)) {
        if (parsed.error) break;
        const Resolved r = resolve(parsed.unit, path, suffixes);
        if (r.error) break; // the message ends there
        n.board = n.board || !r.command->local;
        n.abort = n.abort || r.command->header == "ABORt";
        n.waits = n.waits || n.abort || r.command->header == "*OPC" || r.command->header == "*WAI";
    }
    return n;
}

} // namespace tq::scpi
