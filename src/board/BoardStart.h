#pragma once
// Opening the board at start-up: firmware path, search, connect, firmware download.

#include "board/BoardLink.h"
#include "board/DriverApi.h"
#include "board/SharedState.h"
#include "device/BoardProtocol.h"

#include <cstdint>
#include <string_view>

namespace tq::board::BoardStart {

inline constexpr int32_t kVendorId = device::kUsbVendorId;
inline constexpr int32_t kProductId = device::kUsbProductId;
inline constexpr const char* kFirmwareFile = "TQ5802.hex";

// FirmwarePathBytes = the path's bytes as given (the file system's encoding) followed by
// one 0; any length.
void PathToBytes(SharedState& state, std::string_view path);

// FirmwarePath = programDir + "/" + kFirmwareFile, then PathToBytes.
void SetFirmwarePath(SharedState& state, std::string_view programDir);

// Newer back end: search, connect (results not tested), download; returns
// Download_Firmware's result, 0 = loaded. FirmwarePathBytes must be set. listPosition picks
// the board among those found (0 = the first, as the programs do). connectStatus, when given,
// receives Connect's result.
int16_t OpenBoard(SharedState& state, DriverApi& driver, int listPosition = 0,
                  int16_t* connectStatus = nullptr);

// The driver's answers during a start, for telling the user why it failed.
struct StartStatus {
    int16_t connect = 0; // Connect's result; 0 on the legacy back end, which has none
    int16_t load = 0;    // Download_Firmware's or LoadFirmWare's result
};

// Runs the back end's firmware start and tells whether the board is ready: the newer back
// end's OpenBoard (0 = success) or the legacy LoadFirmWare (result kept as DriverStatus,
// >= 1 = success). status, when given, receives the driver's answers.
bool StartBoard(SharedState& state, DriverApi& driver, Backend backend, int listPosition = 0,
                StartStatus* status = nullptr);

} // namespace tq::board::BoardStart
