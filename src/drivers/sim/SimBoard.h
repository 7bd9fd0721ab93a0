#pragma once
// The simulated evaluation board: its microcontroller's firmware (the vendor requests it
// answers once an image is downloaded) in front of the converter model, the die-temperature
// reading, and faults on demand. Plain C++, deterministic, no globals: a test or an emulated
// USB device can own as many boards as it likes.

#include "device/BoardProtocol.h"
#include "drivers/firmware/IntelHex.h"
#include "drivers/sim/Converter.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string_view>

namespace tq::sim {

using device::kReqControlLines;
using device::kReqDriveD0;
using device::kReqDriveD1;
using device::kReqReadAdc;
using device::kReqShiftWord;
using device::kReqWriteAndPulse;

// Results of the board's operations; the negative values read like libusb's where one fits.
enum class Status : int16_t {
    Ok = 0,
    IoError = -1,      // transfer failed (fault switched on)
    InvalidParam = -2, // negative length, missing buffer
    NoDevice = -4,     // no board attached, or unplugged
    NotFound = -5,     // firmware file missing
    Pipe = -9,         // request the firmware does not know, or wrong direction or length
    NoFirmware = -12,  // no firmware running yet
    BadImage = -20,    // firmware file malformed
};

struct DownloadResult {
    Status status = Status::Ok;
    std::optional<firmware::HexError> error; // what was wrong with the file, if that was the cause
    bool ok() const { return status == Status::Ok; }
};

class SimBoard {
public:
    static constexpr double kDefaultTemperature = 25.0;

    SimBoard();

    // Attached, powered on, no firmware, no faults, 25 degrees.
    void reset();

    // Parses the whole file first: a missing or malformed image changes nothing. A good one
    // (re)starts the firmware: control lines high, pins released; the converter keeps its
    // registers.
    DownloadResult downloadFirmware(const std::filesystem::path& path);
    DownloadResult downloadFirmware(std::string_view hexText);

    // One vendor request; buffer is the data stage (its size is the request's length).
    // For direction 1 the answer's bytes go to buffer with their bit order mirrored.
    Status vendorRequest(uint8_t request, int32_t value, int32_t index, uint8_t direction,
                         std::span<uint8_t> buffer);

    // Faults. Absent: no board on the bus (search finds none, everything fails). Unplugging
    // is the same from then on; replugging powers the board up again, so it needs a new
    // firmware download. Failing transfers: every vendor request fails with IoError and
    // changes nothing (downloads still work, so start-up can succeed).
    void setAbsent(bool absent);
    void unplug() { setAbsent(true); }
    void replug() { setAbsent(false); }
    void setFailingTransfers(bool failing) { failing_ = failing; }

    bool present() const { return attached_; }
    bool firmwareRunning() const { return running_; }
    bool failingTransfers() const { return failing_; }
    std::size_t firmwareBytes() const { return firmwareBytes_; }

    const Converter& converter() const { return converter_; }
    double outputVolts(int ch) const { return converter_.outputVolts(ch); }

    double dieTemperature() const { return temperature_; }
    void setDieTemperature(double celsius) { temperature_ = celsius; }
    // The 12-bit reading at a temperature: 4096 counts = 3.29 V, 1.2775 V at 0 degrees,
    // 5 mV per degree; limited to 0..4095.
    static uint16_t temperatureReading(double celsius);

    static uint8_t mirror(uint8_t b);

private:
    DownloadResult load(const firmware::HexResult& parsed);
    void applyControlLines(int32_t value, int32_t index);

    Converter converter_;
    bool attached_ = true;
    bool running_ = false;
    bool failing_ = false;
    std::size_t firmwareBytes_ = 0;
    double temperature_ = kDefaultTemperature;
};

} // namespace tq::sim
