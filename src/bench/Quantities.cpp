#include "bench/Quantities.h"

#include "device/RegisterMap.h"

#include <QString>

namespace tq::bench {

std::string RangeChoices(std::string_view separator) {
    std::string text;
    for (const auto& range : device::CoarseGainRanges) {
        if (!text.empty()) text += separator;
        text += QString::number(range.fullScaleVolts).toStdString();
    }
    return text;
}

std::string_view WaveformName(Waveform waveform) {
    for (const WaveformWord& w : kWaveformWords)
        if (w.waveform == waveform) return w.key;
    return {};
}

std::string_view EndLevelName(EndLevel level) {
    for (const EndLevelWord& w : kEndLevels)
        if (w.level == level) return w.key;
    return {};
}

double RangeMinVolts() {
    return device::CoarseGainRanges.front().fullScaleVolts;
}

double RangeMaxVolts() {
    return device::CoarseGainRanges.back().fullScaleVolts;
}

namespace {

std::string Setting(std::string_view key, std::initializer_list<std::string_view> words) {
    std::string text = "[" + std::string(key) + "=";
    bool first = true;
    for (const std::string_view w : words) {
        if (!first) text += '|';
        text += w;
        first = false;
    }
    return text + "]";
}

} // namespace

std::string LineSettingsUsage() {
    std::string text;
    for (const LineSwitch& s : kLineSwitches) {
        if (!text.empty()) text += ' ';
        text += Setting(s.key, {s.words[1], s.words[0]});
    }
    return text;
}

std::string FunctionSettingsUsage() {
    std::string text;
    for (const FunctionSetting& s : kFunctionSettings) {
        if (!text.empty()) text += ' ';
        text += s.isPin() ? Setting(s.key, {kPinWords[0], kPinWords[1], kPinWords[2]})
                          : Setting(s.key, {kSwitchWords[1], kSwitchWords[0]});
    }
    return text;
}

} // namespace tq::bench
