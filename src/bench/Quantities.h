#pragma once
// The board's settings as every front end names them, each stated once: tq5802ctl's word
// and its values, the key in JSON replies and set-up files, the SCPI header, and the field
// of ControlLines or FunctionFlags it reads and writes. tq5802ctl's parsers, replies and
// usage, the SCPI command rows and the set-up file's tables are all made from these, so a
// setting cannot be spelled two ways.

#include "bench/Bench.h"
#include "bench/Sequence.h"

#include <array>
#include <string>
#include <string_view>

namespace tq::bench {

// A control line, or the pulse-after-write choice: one switch of ControlLines.
struct LineSwitch {
    std::string_view key;                  // tq5802ctl's word: "ldac"
    std::array<std::string_view, 2> words; // tq5802ctl's values for false and true
    std::string_view jsonKey;              // JSON replies and set-up files
    // The SCPI header, empty where the server has none; its values ON|OFF|1|0 unless
    // scpiWords names the values for false and true (answered in their short form).
    std::string_view scpiHeader;
    std::array<std::string_view, 2> scpiWords;
    std::string_view scpiParameters; // for people, as the server's command list shows them
    std::string_view meaning;
    bool ControlLines::*member;
};

inline constexpr LineSwitch kLineSwitches[] = {
    {"ldac",
     {"low", "high"},
     "ldac",
     "CONTrol:LDAC",
     {},
     "ON|OFF|1|0",
     "LDAC line high",
     &ControlLines::ldac},
    {"clr",
     {"low", "high"},
     "clr",
     "CONTrol:CLR",
     {},
     "ON|OFF|1|0",
     "CLR line high (low clears the outputs)",
     &ControlLines::clr},
    {"coding",
     {"twos", "binary"},
     "binary",
     "CONTrol:CODing",
     {"TWOScomplement", "BINary"},
     "BINary|TWOScomplement",
     "data coding line",
     &ControlLines::binary},
    {"rstin",
     {"low", "high"},
     "rstin",
     "CONTrol:RSTin",
     {},
     "ON|OFF|1|0",
     "RSTIN line high",
     &ControlLines::rstin},
    {"drive-d0",
     {"low", "high"},
     "driveD0",
     {},
     {},
     {},
     "level the board drives on D0",
     &ControlLines::driveD0},
    {"drive-d1",
     {"low", "high"},
     "driveD1",
     {},
     {},
     {},
     "level the board drives on D1",
     &ControlLines::driveD1},
    {"pulse",
     {"off", "on"},
     "pulseAfterWrite",
     "CONTrol:PULSe",
     {},
     "ON|OFF|1|0",
     "pulse LDAC after each data, gain or offset write",
     &ControlLines::pulseAfterWrite},
};

// One bit of the function register's control word, as JSON replies and set-up files name it.
struct FunctionBit {
    std::string_view jsonKey;
    bool FunctionFlags::*member;
};

inline constexpr FunctionBit kFunctionBits[] = {
    {"localGndOffset", &FunctionFlags::localGndOffset},
    {"d1Output", &FunctionFlags::d1Output},
    {"d1High", &FunctionFlags::d1High},
    {"d0Output", &FunctionFlags::d0Output},
    {"d0High", &FunctionFlags::d0High},
    {"sdoEnabled", &FunctionFlags::sdoEnabled},
};

// The function register as settings: two switches (off|on) and two pins (in|low|high, the
// pin's direction and the level the converter drives).
struct FunctionSetting {
    std::string_view key;        // tq5802ctl's word
    bool FunctionFlags::*on;     // the switch; for a pin: the converter drives it
    bool FunctionFlags::*high;   // a pin's level; null for a switch
    std::string_view scpiHeader; // a switch's header (the pins share FUNCtion:DIO#)
    std::string_view meaning;

    constexpr bool isPin() const { return high != nullptr; }
};

inline constexpr FunctionSetting kFunctionSettings[] = {
    {"sdo", &FunctionFlags::sdoEnabled, nullptr, "FUNCtion:SDO",
     "serial data output (register read-back)"},
    {"local-gnd", &FunctionFlags::localGndOffset, nullptr, "FUNCtion:LGNDoffset",
     "local ground offset adjust"},
    {"d0", &FunctionFlags::d0Output, &FunctionFlags::d0High, {}, "pin D0"},
    {"d1", &FunctionFlags::d1Output, &FunctionFlags::d1High, {}, "pin D1"},
};
inline constexpr std::array<std::string_view, 2> kSwitchWords{"off", "on"};
inline constexpr std::array<std::string_view, 3> kPinWords{"in", "low", "high"};

// ---- Sequences: the words of tq5802ctl play, the Waveform window and the SCPI list mode ----

// A shape: tq5802ctl's --shape value, as the window lists it too.
struct WaveformWord {
    Waveform waveform;
    std::string_view key;
};
inline constexpr WaveformWord kWaveformWords[] = {
    {Waveform::Sine, "sine"}, {Waveform::Triangle, "triangle"}, {Waveform::Square, "square"},
    {Waveform::Ramp, "ramp"}, {Waveform::Steps, "steps"},
};
std::string_view WaveformName(Waveform waveform);

// How a play ends: tq5802ctl's --end value (the SCPI list mode's in capitals) and the
// window's choice.
struct EndLevelWord {
    EndLevel level;
    std::string_view key;
    std::string_view caption;
};
inline constexpr EndLevelWord kEndLevels[] = {
    {EndLevel::Hold, "hold", "Hold the last point"},
    {EndLevel::Zero, "zero", "Go to 0 V"},
};
std::string_view EndLevelName(EndLevel level);

// The keys of a table's entries with `separator` between them: "hold|zero".
std::string KeyChoices(const auto& table, std::string_view separator = "|") {
    std::string text;
    for (const auto& entry : table) {
        if (!text.empty()) text += separator;
        text += entry.key;
    }
    return text;
}

// "10|10.2564|10.5263": the full scales a channel's range can be given as, in volts, with
// `separator` between them.
std::string RangeChoices(std::string_view separator = "|");
// The smallest and largest full scale.
double RangeMinVolts();
double RangeMaxVolts();

// "ldac=high|low clr=... pulse=on|off", the settings of the lines command.
std::string LineSettingsUsage();
// "sdo=on|off local-gnd=on|off d0=in|low|high d1=in|low|high".
std::string FunctionSettingsUsage();

} // namespace tq::bench
