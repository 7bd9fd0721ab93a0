#pragma once
// The converter's die temperature from the board's 2-byte reading of the TEMP pin:
// 4096 counts span 3.29 V; the pin gives 5 mV per degree Celsius and 1.2775 V at 0 degrees.

#include <cstdint>
#include <string>

namespace tq::device {

struct DieTemperature {
    float pinVolts = 0;      // reading / 4096 x 3.29, computed in double
    float celsius = 0;       // pinVolts / 0.005 - 1.2775 / 0.005, from the single-precision volts
    std::string voltsText;   // pinVolts by PinVoltsPattern: 2000 -> "1.606", 4 -> ".003"
    std::string celsiusText; // celsius by TemperaturePattern: 66, -255; a value that rounds
                             // to zero from either side shows "0", never "" or "-0"
};

// The reading is signed: a value with its top bit set is a negative voltage and
// temperature, shown with its sign.
DieTemperature TemperatureFromReading(int16_t reading);

} // namespace tq::device
