#include "board/BoardStart.h"

#include <QLoggingCategory>

#include <algorithm>
#include <array>

namespace tq::board::BoardStart {

namespace {

// The driver reads the path up to its terminator, so the bytes must end in one.
void ensurePathBytes(SharedState& state) {
    if (state.FirmwarePathBytes.empty() || state.FirmwarePathBytes.back() != 0)
        PathToBytes(state, state.FirmwarePath);
}

} // namespace

void PathToBytes(SharedState& state, std::string_view path) {
    state.FirmwarePathBytes.assign(path.begin(), path.end());
    state.FirmwarePathBytes.push_back(0);
}

void SetFirmwarePath(SharedState& state, std::string_view programDir) {
    state.FirmwarePath = programDir;
    if (!state.FirmwarePath.empty() && state.FirmwarePath.back() != '/') state.FirmwarePath += '/';
    state.FirmwarePath += kFirmwareFile;
    PathToBytes(state, state.FirmwarePath);
}

int16_t OpenBoard(SharedState& state, DriverApi& driver, int listPosition, int16_t* connectStatus) {
    const QLoggingCategory log("tq5802.usb", QtInfoMsg);
    std::array<uint8_t, 128> boardList{};
    int32_t count = 0;
    // A missing board is not caught here: it shows as a failing download.
    const int16_t found = driver.Search_For_Boards(kVendorId, kProductId, &count, boardList.data());
    const uint8_t board = boardList[static_cast<std::size_t>(
        std::clamp(listPosition, 0, static_cast<int>(boardList.size()) - 1))];
    const int16_t connected = driver.Connect(kVendorId, kProductId, board, &state.BoardHandle);
    if (connectStatus) *connectStatus = connected;
    ensurePathBytes(state);
    const int16_t loaded =
        driver.Download_Firmware(state.BoardHandle, state.FirmwarePathBytes.data());
    qCDebug(log, "search %d (count %d, board %d), connect %d (handle %d), download %s: %d", found,
            count, board, connected, state.BoardHandle, state.FirmwarePath.c_str(), loaded);
    return loaded;
}

bool StartBoard(SharedState& state, DriverApi& driver, Backend backend, int listPosition,
                StartStatus* status) {
    StartStatus ignored;
    StartStatus& out = status ? *status : ignored;
    out = {};
    if (backend == Backend::Newer) {
        out.load = OpenBoard(state, driver, listPosition, &out.connect);
        return out.load == 0;
    }
    const QLoggingCategory log("tq5802.usb", QtInfoMsg);
    ensurePathBytes(state);
    state.DriverStatus = driver.LoadFirmWare(state.FirmwarePathBytes.data());
    out.load = state.DriverStatus;
    qCDebug(log, "load firmware %s: %d", state.FirmwarePath.c_str(), state.DriverStatus);
    return state.DriverStatus >= 1;
}

} // namespace tq::board::BoardStart
