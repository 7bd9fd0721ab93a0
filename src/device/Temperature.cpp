#include "device/Temperature.h"

#include "device/Format.h"

namespace tq::device {

DieTemperature TemperatureFromReading(int16_t reading) {
    DieTemperature t;
    t.pinVolts = static_cast<float>(reading / 4096.0 * 3.29);
    t.celsius = static_cast<float>(static_cast<double>(t.pinVolts) / 0.005 - 1.2775 / 0.005);
    t.voltsText = PatternText(t.pinVolts, PinVoltsPattern);
    t.celsiusText = PatternText(t.celsius, TemperaturePattern);
    // The pattern leaves a whole part of 0 without digits; a temperature needs one.
    if (t.celsiusText.empty()) t.celsiusText = "0";
    return t;
}

} // namespace tq::device
