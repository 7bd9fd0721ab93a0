#pragma once
// Puts the simulated board's model behind the emulated USB device: the firmware the driver
// downloads starts the model's firmware, and the model answers every vendor request.

#include "EmulatedBoard.h"

#include "drivers/sim/SimBoard.h"

namespace tq::usbtest {

// The model must outlive the device's use of it.
void putSimBehind(EmulatedBoard& device, tq::sim::SimBoard& model);

} // namespace tq::usbtest
