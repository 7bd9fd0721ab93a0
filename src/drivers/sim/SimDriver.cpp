// The driver ABI (both back ends) and the TQSim_ extras on one simulated board.

#include "board/driver_abi.h"
#include "device/BoardProtocol.h"
#include "drivers/sim/SimBoard.h"
#include "drivers/sim/SimMeter.h"
#include "drivers/sim/sim_abi.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <memory>
#include <mutex>
#include <span>
#include <string>

namespace {

using tq::sim::SimBoard;
using tq::sim::Status;

constexpr int32_t kVendorId = tq::device::kUsbVendorId;
constexpr int32_t kProductId = tq::device::kUsbProductId;
constexpr uint8_t kBoardId = 1;
constexpr int32_t kHandle = 0x5802;

struct Driver {
    // The meter's thread reads the outputs while the host calls in: every entry point and
    // every reading holds this.
    std::mutex mutex;
    SimBoard board;
    bool connected = false;
    std::string lastError; // Last_Error_Text
    // Last, so that it stops before the board goes.
    std::unique_ptr<tq::sim::SimMeter> meter;

    Driver() {
        std::string message;
        meter = tq::sim::SimMeter::fromEnvironment(outputs(), message);
        if (!message.empty()) std::fprintf(stderr, "%s\n", message.c_str());
    }

    tq::sim::SimMeter::Source outputs() {
        return [this](int channel) {
            const std::scoped_lock lock(mutex);
            return board.outputVolts(channel);
        };
    }
};

// The library's one board. The C entry points carry no context (their signatures are a fixed
// contract), so the board a loaded library serves has to live at namespace scope; this is the
// library's only global and nothing outside this file reaches it. Its meter, if asked for,
// starts when the library is loaded and stops when it is unloaded.
Driver g_driver;

[[nodiscard]] std::scoped_lock<std::mutex> locked() {
    return std::scoped_lock<std::mutex>(g_driver.mutex);
}

int16_t code(Status s) {
    return static_cast<int16_t>(s);
}

// No exception may cross the C boundary.
template <typename F> int16_t guarded(F&& f) {
    try {
        return f();
    } catch (...) {
        return code(Status::IoError);
    }
}

std::string pathFromBytes(const uint8_t* bytes) {
    return std::string(reinterpret_cast<const char*>(bytes));
}

constexpr const char* kAbsentText = "no board is attached (the simulated board is unplugged)";

// Keeps the reason a download failed for Last_Error_Text.
Status noteDownload(const tq::sim::DownloadResult& r, const std::filesystem::path& path) {
    if (r.status == Status::NoDevice) g_driver.lastError = kAbsentText;
    if (r.error) {
        // Not std::to_string: its digit table is a unique symbol that would keep the library
        // from ever being unloaded.
        char line[32] = "";
        if (r.error->line != 0) std::snprintf(line, sizeof line, " line %zu", r.error->line);
        g_driver.lastError = "firmware file " + path.string() + line + ": " + r.error->message;
    }
    return r.status;
}

int16_t request(uint8_t req, int32_t value, int32_t index, uint8_t direction, int32_t length,
                uint8_t* buffer) {
    if (length < 0 || (length > 0 && buffer == nullptr)) return code(Status::InvalidParam);
    return code(
        g_driver.board.vendorRequest(req, value, index, direction,
                                     std::span<uint8_t>(buffer, static_cast<std::size_t>(length))));
}

} // namespace

extern "C" {

int16_t Search_For_Boards(int32_t vendorId, int32_t productId, int32_t* count, uint8_t* boardList) {
    const auto lock = locked();
    if (count == nullptr || boardList == nullptr) return code(Status::InvalidParam);
    const bool found = g_driver.board.present() && vendorId == kVendorId && productId == kProductId;
    *count = found ? 1 : 0;
    boardList[0] = found ? kBoardId : 0;
    return code(Status::Ok);
}

int16_t Connect(int32_t vendorId, int32_t productId, uint8_t board, int32_t* handle) {
    const auto lock = locked();
    if (handle == nullptr) return code(Status::InvalidParam);
    *handle = 0;
    if (!g_driver.board.present()) {
        g_driver.lastError = kAbsentText;
        return code(Status::NoDevice);
    }
    if (vendorId != kVendorId || productId != kProductId || board != kBoardId) {
        return code(Status::NotFound);
    }
    g_driver.connected = true;
    *handle = kHandle;
    return code(Status::Ok);
}

int16_t Download_Firmware(int32_t handle, uint8_t* pathBytes) {
    const auto lock = locked();
    return guarded([&] {
        if (!g_driver.board.present()) {
            g_driver.lastError = kAbsentText;
            return code(Status::NoDevice);
        }
        if (!g_driver.connected || handle != kHandle) return code(Status::InvalidParam);
        if (pathBytes == nullptr) return code(Status::InvalidParam);
        const std::filesystem::path path(pathFromBytes(pathBytes));
        return code(noteDownload(g_driver.board.downloadFirmware(path), path));
    });
}

int16_t Vendor_Request(int32_t handle, uint8_t req, int32_t value, int32_t index, uint8_t direction,
                       int32_t length, uint8_t* buffer) {
    const auto lock = locked();
    if (!g_driver.board.present()) return code(Status::NoDevice);
    if (!g_driver.connected || handle != kHandle) return code(Status::InvalidParam);
    return request(req, value, index, direction, length, buffer);
}

int16_t LoadFirmWare(uint8_t* pathBytes) {
    const auto lock = locked();
    return guarded([&]() -> int16_t {
        if (pathBytes == nullptr) return 0;
        const std::filesystem::path path(pathFromBytes(pathBytes));
        return noteDownload(g_driver.board.downloadFirmware(path), path) == Status::Ok ? 1 : 0;
    });
}

int16_t VendorIORequest(int16_t req, int32_t value, int32_t index, int16_t direction,
                        int16_t length, uint8_t* buffer) {
    const auto lock = locked();
    if (req < 0 || req > 0xFF) return code(Status::Pipe);
    return request(static_cast<uint8_t>(req), value, index, direction != 0 ? 1 : 0, length, buffer);
}

int32_t Board_Attached(int32_t handle) {
    const auto lock = locked();
    // The legacy back end has no connection: its board is the one running the firmware.
    const bool running =
        handle == 0 ? g_driver.board.firmwareRunning() : g_driver.connected && handle == kHandle;
    return g_driver.board.present() && running ? 1 : 0;
}

int32_t Count_Boards(int32_t vendorId, int32_t productId) {
    const auto lock = locked();
    return g_driver.board.present() && vendorId == kVendorId && productId == kProductId ? 1 : 0;
}

int32_t Last_Error_Text(uint8_t* buffer, int32_t size) {
    const auto lock = locked();
    const std::string& text = g_driver.lastError;
    if (buffer != nullptr && size > 0) {
        const std::size_t n = std::min(text.size(), static_cast<std::size_t>(size) - 1);
        std::copy_n(text.begin(), n, buffer);
        buffer[n] = 0;
    }
    return static_cast<int32_t>(text.size());
}

void TQSim_Reset(void) {
    const auto lock = locked();
    g_driver.board.reset();
    g_driver.connected = false;
    g_driver.lastError.clear();
}

void TQSim_SetAbsent(int32_t absent) {
    const auto lock = locked();
    g_driver.board.setAbsent(absent != 0);
    if (absent != 0) g_driver.connected = false;
}

void TQSim_SetFailingTransfers(int32_t failing) {
    const auto lock = locked();
    g_driver.board.setFailingTransfers(failing != 0);
}

void TQSim_Unplug(void) {
    const auto lock = locked();
    g_driver.board.unplug();
    g_driver.connected = false;
}

void TQSim_Replug(void) {
    const auto lock = locked();
    g_driver.board.replug();
}

double TQSim_OutputVolts(int32_t channel) {
    const auto lock = locked();
    if (channel < 0 || channel >= tq::sim::kChannels) {
        return std::numeric_limits<double>::quiet_NaN();
    }
    return g_driver.board.outputVolts(channel);
}

double TQSim_GetDieTemperature(void) {
    const auto lock = locked();
    return g_driver.board.dieTemperature();
}

void TQSim_SetDieTemperature(double celsius) {
    const auto lock = locked();
    g_driver.board.setDieTemperature(celsius);
}

int32_t TQSim_Nonlinearity(int32_t channel, int32_t position, double* inlLsb, double* dnlLsb) {
    if (channel < 0 || channel >= tq::sim::kChannels || position < 0 || position > 0xFFFF) {
        return -1;
    }
    const auto p = static_cast<uint16_t>(position);
    if (inlLsb != nullptr) *inlLsb = tq::sim::Converter::endPointInlLsb(channel, p);
    if (dnlLsb != nullptr) *dnlLsb = tq::sim::Converter::dnlLsb(channel, p);
    return 0;
}

int32_t TQSim_MeterPort(void) {
    const auto lock = locked();
    return g_driver.meter ? g_driver.meter->port() : 0;
}

int32_t TQSim_StartMeter(void) {
    const auto lock = locked();
    if (!g_driver.meter) {
        std::string message;
        g_driver.meter = tq::sim::SimMeter::onFreePort(g_driver.outputs(), message);
        if (!message.empty()) std::fprintf(stderr, "%s\n", message.c_str());
    }
    return g_driver.meter ? g_driver.meter->port() : 0;
}

int32_t TQSim_ReadRegisters(TQSimRegisters* out) {
    const auto lock = locked();
    if (out == nullptr) return -1;
    const auto& c = g_driver.board.converter();
    *out = TQSimRegisters{};
    for (int ch = 0; ch < tq::sim::kChannels; ++ch) {
        const auto& r = c.channel(ch);
        out->input[ch] = r.input;
        out->dac[ch] = r.dac;
        out->coarse[ch] = r.coarse;
        out->fine[ch] = r.fine;
        out->offset[ch] = r.offset;
    }
    out->function = c.functionWord();
    out->ldac = c.ldac();
    out->clr = c.clr();
    out->binary = c.binary();
    out->rstin = c.rstin();
    out->driveD0 = c.boardDrives(0);
    out->driveD1 = c.boardDrives(1);
    out->driveLevelD0 = c.boardDriveLevel(0);
    out->driveLevelD1 = c.boardDriveLevel(1);
    out->present = g_driver.board.present();
    out->firmwareRunning = g_driver.board.firmwareRunning();
    out->strayWrites = c.strayWrites();
    out->lastStrayWord = c.lastStrayWord();
    return 0;
}

} // extern "C"
