#pragma once
// What differs between the two programs built from these sources. Each program's main()
// picks one and hands it to the window; nothing else in the window code asks which
// program it is.

#include "bench/Model.h"
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
    // The board it drives: back end, driver library, temperature readout, gain step.
    bench::Model model;

    const bench::ModelInfo& board() const { return bench::Info(model); }
};

inline constexpr Variant kTQ5802R{
    "tq5802r",
    "TQ5802R Evaluation Software",
    "TQ5802",
    TQ5802R_VERSION_MAJOR,
    TQ5802R_VERSION_MINOR,
    TQ5802R_VERSION_PATCH,
    "Measure TQ5802R Core Temperature",
    bench::Model::TQ5802R,
};

inline constexpr Variant kTQ5802{
    "tq5802",
    "TQ5802 Evaluation Software",
    "TQ5802",
    TQ5802_VERSION_MAJOR,
    TQ5802_VERSION_MINOR,
    TQ5802_VERSION_PATCH,
    "Measure TQ5802 Core Temperature",
    bench::Model::TQ5802,
};

} // namespace tq::ui
