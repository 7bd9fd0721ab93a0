#include "device/Temperature.h"

#include <gtest/gtest.h>

using namespace tq::device;

TEST(DieTemperature, TextsOfReadings) {
    const struct {
        int16_t reading;
        const char* volts;
        const char* celsius;
    } cases[] = {
        {4, ".003", "-255"},     {2000, "1.606", "66"},
        {4095, "3.289", "402"},  {1591, "1.278", "0"}, // +0.08 degrees
        {1589, "1.276", "0"},                          // -0.21 degrees: no "-0"
        {-100, "-.080", "-272"}, {-32768, "-26.320", "-5520"},
    };
    for (const auto& c : cases) {
        const DieTemperature t = TemperatureFromReading(c.reading);
        EXPECT_EQ(t.voltsText, c.volts) << c.reading;
        EXPECT_EQ(t.celsiusText, c.celsius) << c.reading;
    }
}
