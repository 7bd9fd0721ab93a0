#pragma once
// What differs between the two programs built from these sources. Each program's main()
// picks one and hands it to the window; nothing else in the window code asks which
// program it is.

#include "board/Declare.h"
#include "ui/version.h"

namespace tq::ui {

struct Variant {
    const char* programName; // executable name
    const char* title;       // window caption, About title
    const char* productName; // the product label in Frame18
    int versionMajor;
    int versionMinor;
    int versionRevision;
    const char* temperatureCaption; // Frame19
    bool temperaturePanelEnabled;   // the legacy board has no temperature readout
    board::Backend backend;
    const char* driverLibrary; // base name of the back end's USB driver library
    // Calibration gain step: a positive fine gain r is written as 31/32 of r (TQ5802R), or
    // as r itself (TQ5802).
    bool scalePositiveFineGain;
};

inline constexpr Variant kTQ5802R{
    "tq5802r",
    "TQ5802R Evaluation Software",
    "TQ5802",
    TQ5802R_VERSION_MAJOR,
    TQ5802R_VERSION_MINOR,
    TQ5802R_VERSION_PATCH,
    "Measure TQ5802R Core Temperature",
    true,
    board::Backend::Newer,
    "QRV_CYUSB_USB4",
    true,
};

inline constexpr Variant kTQ5802{
    "tq5802",
    "TQ5802 Evaluation Software",
    "TQ5802",
    TQ5802_VERSION_MAJOR,
    TQ5802_VERSION_MINOR,
    TQ5802_VERSION_PATCH,
    "Measure TQ5802 Core Temperature",
    false,
    board::Backend::Legacy,
    "USBFunctions",
    false,
};

} // namespace tq::ui
