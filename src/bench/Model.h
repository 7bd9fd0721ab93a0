#pragma once
// The two boards the programs drive, and everything that differs between them, in one
// table. The window's variant, the bench library, the calibration, tq5802ctl and the SCPI
// server all read it; what a board lacks is refused by each of them with the same words.

#include "bench/Outcome.h"
#include "board/BoardLink.h"
#include "device/Calibration.h"

#include <string>
#include <string_view>

namespace tq::bench {

enum class Model { TQ5802R, TQ5802 };

struct ModelInfo {
    Model model;
    std::string_view name;          // "TQ5802R": set-up files, *IDN?, messages
    board::Backend backend;         // the driver entries it is driven through
    std::string_view driverLibrary; // base name of its USB driver library
    bool hasTemperature;            // the die temperature can be read (request 0xDA)
    // The calibration's gain step: how a positive fine gain is written.
    device::PositiveGainCode positiveGain;
};

inline constexpr ModelInfo kModels[] = {
    {Model::TQ5802R, "TQ5802R", board::Backend::Newer, "QRV_CYUSB_USB4", true,
     device::PositiveGainCode::Scaled31of32},
    {Model::TQ5802, "TQ5802", board::Backend::Legacy, "USBFunctions", false,
     device::PositiveGainCode::Plain},
};

constexpr const ModelInfo& Info(Model model) {
    return kModels[model == Model::TQ5802R ? 0 : 1];
}
constexpr std::string_view ModelName(Model model) {
    return Info(model).name;
}
constexpr board::Backend BackendOf(Model model) {
    return Info(model).backend;
}
constexpr Model ModelOf(board::Backend backend) {
    for (const ModelInfo& info : kModels)
        if (info.backend == backend) return info.model;
    return Model::TQ5802R;
}

// What a board may lack.
enum class Capability { Temperature };

// Whether the model has it, and the refusal every front end gives when it has not
// ("the TQ5802 board has no temperature readout"), of kind Missing.
bool Has(Model model, Capability capability);
Error MissingError(Model model, Capability capability);

} // namespace tq::bench
