#pragma once
// The board driver over libusb: finds boards by vendor and product id, downloads the
// microcontroller's firmware from an Intel HEX file and carries vendor requests. One
// instance owns one libusb context and every board it opened; the exported C entry points
// (driver_abi.h) share one instance per loaded library.

#include "LibusbHandles.h"
#include "device/BoardProtocol.h"

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <span>
#include <string>
#include <vector>

class QLoggingCategory;

namespace tq::usb {

// What went wrong, as the status the entry points return (0 = done).
enum class Error : int16_t {
    None = 0,
    File = -1,            // firmware file missing or unreadable
    Parse = -2,           // firmware file malformed; nothing was sent
    Permission = -3,      // the board cannot be opened by this user (udev rule missing)
    Transfer = -4,        // a control transfer failed
    Timeout = -5,         // a transfer or the board's return timed out
    NoDevice = -6,        // no such board, or it left the bus
    InvalidArgument = -7, // a value that does not fit its field, or no buffer
};

const char* describe(Error error);

// The board's microcontroller: RAM is written with vendor request 0xA0; CPUCS holds the
// CPU in reset while 1.
inline constexpr uint8_t kFirmwareLoadRequest = 0xA0;
inline constexpr uint16_t kCpucsAddress = 0xE600;
// The most data one control transfer may carry (libusb refuses more on Linux).
inline constexpr std::size_t kMaxControlData = 4096;
inline constexpr std::size_t kMaxChunk = kMaxControlData;

struct DriverOptions {
    std::chrono::milliseconds requestTimeout{1000};
    // How long the board may be away while it re-enumerates after the download.
    std::chrono::milliseconds reenumerationTimeout{10000};
    // How long a board that stays on the bus after the download is watched before it is
    // taken as running without re-enumerating.
    std::chrono::milliseconds settleTime{1500};
    std::chrono::milliseconds pollInterval{20};
};

class UsbDriver {
public:
    static constexpr uint16_t kVendorId = device::kUsbVendorId;
    static constexpr uint16_t kProductId = device::kUsbProductId;

    explicit UsbDriver(DriverOptions options = {});
    ~UsbDriver();
    UsbDriver(const UsbDriver&) = delete;
    UsbDriver& operator=(const UsbDriver&) = delete;

    // Counts the attached boards with these ids and fills `list`: entry i (up to the list's
    // size) is i + 1 for the i-th board found, the rest 0. The identifiers stay valid
    // until the next search.
    Error searchForBoards(int32_t vendorId, int32_t productId, int32_t& count,
                          std::span<uint8_t> list);
    // Opens the board an identifier of the last search names (searching first when there
    // was none) and gives a handle > 0; handle = 0 on failure.
    Error connect(int32_t vendorId, int32_t productId, uint8_t board, int32_t& handle);
    // Parses the whole file, holds the CPU in reset, writes RAM, releases the CPU, then
    // waits for the board to come back if it re-enumerates. None only when the board
    // answers afterwards; the handle then refers to the running board.
    Error downloadFirmware(int32_t handle, const std::filesystem::path& file);
    // A vendor control transfer to the device: IN (direction 1) reads buffer.size() bytes
    // into buffer, OUT sends them. value and index must fit 16 bits, and the buffer
    // kMaxControlData bytes; InvalidArgument, with nothing sent, otherwise.
    Error vendorRequest(int32_t handle, uint8_t request, int32_t value, int32_t index,
                        uint8_t direction, std::span<uint8_t> buffer);

    // Whether the board a handle names (0: the legacy back end's) is still on the bus; a
    // board that left never comes back under the same handle. Talks to no board.
    bool boardAttached(int32_t handle);
    // Boards with these ids on the bus now, without opening any; < 0 when the bus cannot
    // be listed.
    int32_t countBoards(int32_t vendorId, int32_t productId);

    // The legacy back end: the first board with the board's ids is opened and loaded, and
    // is the one board later requests go to.
    Error loadFirmware(const std::filesystem::path& file);
    Error legacyVendorRequest(uint8_t request, int32_t value, int32_t index, uint8_t direction,
                              std::span<uint8_t> buffer);

    // What the most recent failure was, in words a user can act on (the missing udev rule,
    // the firmware file's bad line); empty before the first failure.
    const std::string& lastError() const { return lastError_; }

private:
    struct Board {
        HandlePtr handle;
        uint16_t vendorId = 0;
        uint16_t productId = 0;
        uint8_t bus = 0;
        std::vector<uint8_t> ports;
    };
    struct Location {
        uint8_t bus = 0;
        std::vector<uint8_t> ports;
    };

    libusb_context* context();
    Error openAt(const Location& where, uint16_t vendorId, uint16_t productId, Board& board);
    Error control(libusb_device_handle* handle, uint8_t requestType, uint8_t request,
                  uint16_t value, uint16_t index, std::span<uint8_t> data);
    Error writeCpucs(Board& board, uint8_t value);
    Error awaitBoard(Board& board);
    Error mapError(int libusbError, const char* what);
    // Logs the failure and keeps its text as lastError().
    Error fail(Error error, std::string text);

    DriverOptions options_;
    std::unique_ptr<QLoggingCategory> logCategory_; // "tq5802.usb"
    const QLoggingCategory& log_;
    ContextPtr context_;
    std::vector<Location> found_; // boards of the last search, identifier = index + 1
    std::map<int32_t, Board> boards_;
    int32_t nextHandle_ = 1;
    int32_t legacyHandle_ = 0;
    std::string lastError_;
    std::string connectFailure_; // why the last connect failed, until one succeeds
};

} // namespace tq::usb
