#include "drivers/sim/SimBoard.h"

#include <cmath>

namespace tq::sim {

SimBoard::SimBoard() {
    reset();
}

void SimBoard::reset() {
    converter_.powerOn();
    attached_ = true;
    running_ = false;
    failing_ = false;
    firmwareBytes_ = 0;
    temperature_ = kDefaultTemperature;
}

void SimBoard::setAbsent(bool absent) {
    if (absent == !attached_) return;
    attached_ = !absent;
    running_ = false;
    firmwareBytes_ = 0;
    if (attached_) converter_.powerOn();
}

DownloadResult SimBoard::downloadFirmware(const std::filesystem::path& path) {
    if (!attached_) return {Status::NoDevice, std::nullopt};
    return load(firmware::readIntelHexFile(path));
}

DownloadResult SimBoard::downloadFirmware(std::string_view hexText) {
    if (!attached_) return {Status::NoDevice, std::nullopt};
    return load(firmware::parseIntelHex(hexText));
}

DownloadResult SimBoard::load(const firmware::HexResult& parsed) {
    if (const auto* err = std::get_if<firmware::HexError>(&parsed)) {
        const Status s =
            err->kind == firmware::HexErrorKind::FileMissing ? Status::NotFound : Status::BadImage;
        return {s, *err};
    }
    firmwareBytes_ = std::get<firmware::HexImage>(parsed).byteCount();
    running_ = true;
    // The firmware's start-up: every control line high, both pins left to the converter.
    applyControlLines(0xFF, 0);
    converter_.setBoardDrive(0, false);
    converter_.setBoardDrive(1, false);
    return {Status::Ok, std::nullopt};
}

void SimBoard::applyControlLines(int32_t value, int32_t index) {
    converter_.setBoardDriveLevels((index & 0x1) != 0, (index & 0x2) != 0);
    converter_.setLines((value & device::kLineLdac) != 0, (value & device::kLineClr) != 0,
                        (value & device::kLineBinary) != 0, (value & device::kLineRstin) != 0);
}

Status SimBoard::vendorRequest(uint8_t request, int32_t value, int32_t index, uint8_t direction,
                               std::span<uint8_t> buffer) {
    if (!attached_) return Status::NoDevice;
    if (!running_) return Status::NoFirmware;
    if (failing_) return Status::IoError;

    const bool in = direction != 0;
    const auto word = [&] {
        return static_cast<uint32_t>(value & 0xFF) << 16 | static_cast<uint32_t>(index & 0xFFFF);
    };
    switch (request) {
    case kReqWriteAndPulse:
        if (in) return Status::Pipe;
        converter_.frame(word());
        converter_.pulseLdac();
        return Status::Ok;
    case kReqShiftWord: {
        if (in && buffer.size() > 3) return Status::Pipe;
        const uint32_t out = converter_.frame(word());
        if (in) {
            for (std::size_t i = 0; i < buffer.size(); ++i) {
                buffer[i] = mirror(static_cast<uint8_t>(out >> (16 - 8 * i)));
            }
        }
        return Status::Ok;
    }
    case kReqReadAdc: {
        if (!in || buffer.size() > 2) return Status::Pipe;
        const uint16_t reading = temperatureReading(temperature_);
        const uint8_t bytes[2] = {static_cast<uint8_t>(reading >> 8),
                                  static_cast<uint8_t>(reading & 0xFF)};
        for (std::size_t i = 0; i < buffer.size(); ++i)
            buffer[i] = mirror(bytes[i]);
        return Status::Ok;
    }
    case kReqDriveD0:
    case kReqDriveD1:
        converter_.setBoardDrive(request == kReqDriveD0 ? 0 : 1, value != 0);
        return Status::Ok;
    case kReqControlLines:
        if (in) return Status::Pipe;
        applyControlLines(value, index);
        return Status::Ok;
    default:
        return Status::Pipe;
    }
}

uint16_t SimBoard::temperatureReading(double celsius) {
    const double volts = 1.2775 + 0.005 * celsius;
    const double counts = std::nearbyint(volts / 3.29 * 4096.0);
    if (!(counts > 0)) return 0; // also NaN
    if (counts > 4095) return 4095;
    return static_cast<uint16_t>(counts);
}

uint8_t SimBoard::mirror(uint8_t b) {
    uint8_t r = 0;
    for (int i = 0; i < 8; ++i) {
        if (b & (1u << i)) r = static_cast<uint8_t>(r | (0x80u >> i));
    }
    return r;
}

} // namespace tq::sim
