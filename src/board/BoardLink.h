#pragma once
// Every transfer with the board after start-up: one 24-bit word written, one register read
// back, the control-line word, the 2-byte read and the two drive requests. Each operation
// keeps its transfer status in SharedState::DriverStatus and carries on whatever it is; a
// status that is not success is also handed to the observers, so the window can say so.

#include "board/DriverApi.h"
#include "board/SharedState.h"
#include "device/BoardProtocol.h"

#include <QLoggingCategory>
#include <QString>

#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <vector>

namespace tq::board {

enum class Backend {
    Newer,  // Vendor_Request with BoardHandle
    Legacy, // VendorIORequest, no handle
};

// The board's vendor requests, under the names this layer uses for them.
inline constexpr uint8_t kWriteAndPulse = device::kReqWriteAndPulse;
inline constexpr uint8_t kReadAdc = device::kReqReadAdc;
inline constexpr uint8_t kDriveD0 = device::kReqDriveD0;
inline constexpr uint8_t kDriveD1 = device::kReqDriveD1;
inline constexpr uint8_t kShiftWord = device::kReqShiftWord;
inline constexpr uint8_t kControlLines = device::kReqControlLines;
using device::kIndexDriveD0;
using device::kIndexDriveD1;
using device::kLineBinary;
using device::kLineClr;
using device::kLineLdac;
using device::kLineRstin;

// One finished transfer as the observers see it.
struct Transfer {
    uint8_t request = 0;
    int32_t value = 0;
    int32_t index = 0;
    uint8_t direction = 0; // 0 to the board, 1 from the board
    int32_t length = 0;
    std::array<uint8_t, 3> received{}; // raw bytes of a read, as they arrived
    int16_t status = 0;

    bool succeeded() const { return status == 0; }
    // The register a read of the input word brought back, when the answer is this read's
    // own: the converter sends the read's command byte ahead of the register (anything
    // else is the previous frame, or serial data output switched off).
    std::optional<int32_t> readAnswer() const;
};

// One line naming the request, its arguments, the bytes received and the status, as the
// traffic log and a status-bar message show it.
QString Describe(const Transfer& t);

class BoardLink {
public:
    BoardLink(SharedState& state, DriverApi& driver, Backend backend);

    // ReadWriteBit = 0; request 0xD9 (write then pulse LDAC) when reg != 0 and
    // Check1Value != 0, else 0xDD; value = command byte, index = data's low 16 bits.
    void WriteRegister(int16_t address, int16_t reg, int32_t data);
    // ReadWriteBit = 1; two identical 0xDD reads of 3 bytes, the second decoded (bytes
    // mirrored, top byte dropped). Returns 0..65535 and keeps it as ReadbackValue.
    int32_t ReadRegister(int16_t address, int16_t reg);
    // Request 0xDE with the control-line value and index built from the flags.
    void WriteControlLines();
    // Request 0xDA; the two mirrored bytes as a signed 16-bit value (never overflows).
    int16_t ReadAdcWord();
    // Request kDriveD0 or kDriveD1, direction 1, length 0: value 0 leaves the pin to the
    // converter, 1 makes the board drive it.
    void DriveRequest(uint8_t request, int32_t value);

    // One request without data (length 0, a one-byte buffer holding 0), as built by the
    // caller; status kept and observers told as for every other transfer.
    Transfer Send(uint8_t request, int32_t value, int32_t index, uint8_t direction);

    static uint8_t ReverseBits(uint8_t b);
    // R/W x 128 + reg x 8 + address, each field kept to its own bits (1, 3 and 3), so an
    // out-of-range code can never spill into a neighbouring field.
    static int16_t CommandByte(int16_t readWrite, int16_t reg, int16_t address);
    // Bits 7..0 from CtrlBit7 ... CtrlBit0 and index DriveD1Line x 2 + DriveD0Line; each flag
    // counts only by its lowest bit.
    static int32_t ControlLineValue(const SharedState& state);
    static int32_t ControlLineIndex(const SharedState& state);

    // Called after every transfer (successful or not), in the order added. The id removes
    // it again, for an observer that does not live as long as the board layer.
    int addObserver(std::function<void(const Transfer&)> observer);
    void removeObserver(int id);

    SharedState& state() { return state_; }
    Backend backend() const { return backend_; }

private:
    Transfer request(uint8_t code, int32_t value, int32_t index, uint8_t direction, int32_t length,
                     uint8_t* buffer);

    SharedState& state_;
    DriverApi& driver_;
    Backend backend_;
    // A deque keeps every observer in place when one is added while they are being called.
    std::deque<std::pair<int, std::function<void(const Transfer&)>>> observers_;
    int nextObserverId_ = 0;
    // Off below info level unless QT_LOGGING_RULES asks for "tq5802.usb.debug=true".
    QLoggingCategory log_{"tq5802.usb", QtInfoMsg};
};

} // namespace tq::board
