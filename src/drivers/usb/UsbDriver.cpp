#include "UsbDriver.h"

#include "drivers/firmware/IntelHex.h"

#include <QByteArray>
#include <QLoggingCategory>

#include <cstdio>
#include <string>
#include <thread>

namespace tq::usb {
namespace {

using Clock = std::chrono::steady_clock;

// Request types as in the setup packet: direction | type (vendor/standard) | recipient.
constexpr uint8_t kVendorOut = 0x40;
constexpr uint8_t kVendorIn = 0xC0;
constexpr uint8_t kStandardIn = 0x80;
constexpr const char* kUdevHint =
    "no permission to open the board: install the udev rule 60-tq5802.rules "
    "(see docs/real-board.md)";

bool fits16(int32_t v) {
    return v >= 0 && v <= 0xFFFF;
}

std::vector<uint8_t> portsOf(libusb_device* dev) {
    std::array<uint8_t, 8> ports{};
    const int n = libusb_get_port_numbers(dev, ports.data(), static_cast<int>(ports.size()));
    return n > 0 ? std::vector<uint8_t>(ports.begin(), ports.begin() + n) : std::vector<uint8_t>{};
}

bool matches(libusb_device* dev, uint16_t vendorId, uint16_t productId) {
    libusb_device_descriptor desc{};
    return libusb_get_device_descriptor(dev, &desc) == 0 && desc.idVendor == vendorId &&
           desc.idProduct == productId;
}

} // namespace

const char* describe(Error error) {
    switch (error) {
    case Error::None:
        return "done";
    case Error::File:
        return "firmware file missing or unreadable";
    case Error::Parse:
        return "firmware file malformed";
    case Error::Permission:
        return "no permission to open the board";
    case Error::Transfer:
        return "transfer failed";
    case Error::Timeout:
        return "timed out";
    case Error::NoDevice:
        return "no board";
    case Error::InvalidArgument:
        return "invalid argument";
    }
    return "unknown error";
}

UsbDriver::UsbDriver(DriverOptions options)
    : options_(options), logCategory_(std::make_unique<QLoggingCategory>("tq5802.usb", QtInfoMsg)),
      log_(*logCategory_) {}

UsbDriver::~UsbDriver() {
    // Handles close before the context they belong to.
    boards_.clear();
}

libusb_context* UsbDriver::context() {
    if (!context_) {
        // Made at first use, not at load: the library may be loaded long before a board
        // (or a test's emulated bus) exists.
        libusb_context* ctx = nullptr;
        if (const int r = libusb_init(&ctx); r != 0) {
            fail(Error::NoDevice, std::string("USB could not be started: ") + libusb_error_name(r));
            return nullptr;
        }
        context_.reset(ctx);
    }
    return context_.get();
}

Error UsbDriver::mapError(int libusbError, const char* what) {
    Error e = Error::Transfer;
    switch (libusbError) {
    case LIBUSB_ERROR_ACCESS:
        e = Error::Permission;
        break;
    case LIBUSB_ERROR_NO_DEVICE:
    case LIBUSB_ERROR_NOT_FOUND:
        e = Error::NoDevice;
        break;
    case LIBUSB_ERROR_TIMEOUT:
        e = Error::Timeout;
        break;
    default:
        break;
    }
    if (e == Error::Permission) return fail(e, kUdevHint);
    return fail(e, std::string(what) + " failed: " + libusb_error_name(libusbError));
}

Error UsbDriver::fail(Error error, std::string text) {
    // The caller reports it (Last_Error_Text); a warning here would say it twice.
    qCDebug(log_).noquote() << QString::fromStdString(text);
    lastError_ = std::move(text);
    return error;
}

Error UsbDriver::searchForBoards(int32_t vendorId, int32_t productId, int32_t& count,
                                 std::span<uint8_t> list) {
    count = 0;
    std::fill(list.begin(), list.end(), uint8_t{0});
    found_.clear();
    if (!fits16(vendorId) || !fits16(productId)) return Error::InvalidArgument;
    libusb_context* ctx = context();
    if (!ctx) return Error::NoDevice;
    const DeviceList devices(ctx);
    if (devices.error() != 0) return mapError(devices.error(), "listing USB devices");
    for (libusb_device* dev : devices.devices()) {
        if (!matches(dev, static_cast<uint16_t>(vendorId), static_cast<uint16_t>(productId)))
            continue;
        found_.push_back(Location{libusb_get_bus_number(dev), portsOf(dev)});
    }
    count = static_cast<int32_t>(found_.size());
    for (std::size_t i = 0; i < list.size() && i < found_.size() && i < 255; ++i)
        list[i] = static_cast<uint8_t>(i + 1);
    qCDebug(log_) << "search" << Qt::hex << vendorId << productId << Qt::dec << "found" << count;
    return Error::None;
}

Error UsbDriver::openAt(const Location& where, uint16_t vendorId, uint16_t productId,
                        Board& board) {
    libusb_context* ctx = context();
    if (!ctx) return Error::NoDevice;
    const DeviceList devices(ctx);
    if (devices.error() != 0) return mapError(devices.error(), "listing USB devices");
    for (libusb_device* dev : devices.devices()) {
        if (!matches(dev, vendorId, productId) || libusb_get_bus_number(dev) != where.bus ||
            portsOf(dev) != where.ports)
            continue;
        libusb_device_handle* raw = nullptr;
        if (const int r = libusb_open(dev, &raw); r != 0) return mapError(r, "opening the board");
        board.handle.reset(raw);
        board.vendorId = vendorId;
        board.productId = productId;
        board.bus = where.bus;
        board.ports = where.ports;
        return Error::None;
    }
    return Error::NoDevice;
}

Error UsbDriver::connect(int32_t vendorId, int32_t productId, uint8_t board, int32_t& handle) {
    handle = 0;
    if (!fits16(vendorId) || !fits16(productId)) return Error::InvalidArgument;
    if (found_.empty()) {
        int32_t count = 0;
        std::array<uint8_t, 128> list{};
        if (const Error e = searchForBoards(vendorId, productId, count, list); e != Error::None)
            return e;
    }
    if (board == 0 || board > found_.size()) {
        char ids[16];
        std::snprintf(ids, sizeof ids, "%04x:%04x", vendorId, productId);
        connectFailure_ = found_.empty()
                              ? std::string("no board with USB id ") + ids + " is attached"
                              : "there is no board number " + std::to_string(board);
        return fail(Error::NoDevice, connectFailure_);
    }
    // A board that left the bus keeps nothing open: its handle only answers "no device".
    for (auto it = boards_.begin(); it != boards_.end();)
        it = boardAttached(it->first) ? std::next(it) : boards_.erase(it);
    Board opened;
    if (const Error e = openAt(found_[board - 1], static_cast<uint16_t>(vendorId),
                               static_cast<uint16_t>(productId), opened);
        e != Error::None) {
        if (e == Error::NoDevice) fail(e, "the board left the bus before it could be opened");
        connectFailure_ = lastError_;
        return e;
    }
    connectFailure_.clear();
    handle = nextHandle_++;
    boards_.emplace(handle, std::move(opened));
    qCDebug(log_) << "connected board" << board << "as handle" << handle;
    return Error::None;
}

Error UsbDriver::control(libusb_device_handle* handle, uint8_t requestType, uint8_t request,
                         uint16_t value, uint16_t index, std::span<uint8_t> data) {
    if (!handle) return Error::NoDevice;
    const int r = libusb_control_transfer(handle, requestType, request, value, index, data.data(),
                                          static_cast<uint16_t>(data.size()),
                                          static_cast<unsigned>(options_.requestTimeout.count()));
    if (r < 0) return mapError(r, "control transfer");
    if (static_cast<std::size_t>(r) != data.size()) {
        char text[96];
        std::snprintf(text, sizeof text, "request 0x%02X moved %d of %zu bytes", request, r,
                      data.size());
        return fail(Error::Transfer, text);
    }
    return Error::None;
}

Error UsbDriver::writeCpucs(Board& board, uint8_t value) {
    std::array<uint8_t, 1> data{value};
    return control(board.handle.get(), kVendorOut, kFirmwareLoadRequest, kCpucsAddress, 0, data);
}

Error UsbDriver::downloadFirmware(int32_t handle, const std::filesystem::path& file) {
    const auto it = boards_.find(handle);
    if (it == boards_.end()) {
        // Most often the connect before failed, and its reason is the one to give.
        return fail(Error::NoDevice,
                    connectFailure_.empty()
                        ? "no board is connected with handle " + std::to_string(handle)
                        : connectFailure_);
    }
    Board& board = it->second;

    const auto parsed = firmware::readIntelHexFile(file);
    if (const auto* err = std::get_if<firmware::HexError>(&parsed)) {
        std::string where = "firmware file " + file.string();
        if (err->line != 0) where += " line " + std::to_string(err->line);
        return fail(err->kind == firmware::HexErrorKind::FileMissing ? Error::File : Error::Parse,
                    where + ": " + err->message);
    }
    auto chunks = firmware::toChunks(std::get<firmware::HexImage>(parsed), kMaxChunk);

    qCDebug(log_) << "firmware:" << chunks.size() << "chunks, holding the CPU in reset";
    if (const Error e = writeCpucs(board, 1); e != Error::None) return e;
    for (firmware::HexSegment& c : chunks) {
        if (const Error e = control(board.handle.get(), kVendorOut, kFirmwareLoadRequest,
                                    static_cast<uint16_t>(c.address), 0, c.bytes);
            e != Error::None)
            return e;
    }
    // An IO or no-device answer to the release is the CPU already leaving the bus.
    std::array<uint8_t, 1> release{0};
    const int r = libusb_control_transfer(board.handle.get(), kVendorOut, kFirmwareLoadRequest,
                                          kCpucsAddress, 0, release.data(), 1,
                                          static_cast<unsigned>(options_.requestTimeout.count()));
    if (r < 0 && r != LIBUSB_ERROR_IO && r != LIBUSB_ERROR_NO_DEVICE)
        return mapError(r, "releasing the CPU");
    qCDebug(log_) << "firmware written, CPU released";
    return awaitBoard(board);
}

Error UsbDriver::awaitBoard(Board& board) {
    const auto start = Clock::now();
    const Location where{board.bus, board.ports};
    Error last = Error::NoDevice;
    std::array<uint8_t, 2> status{};
    for (;;) {
        const auto now = Clock::now();
        if (board.handle) {
            const int r =
                libusb_control_transfer(board.handle.get(), kStandardIn, LIBUSB_REQUEST_GET_STATUS,
                                        0, 0, status.data(), static_cast<uint16_t>(status.size()),
                                        static_cast<unsigned>(options_.requestTimeout.count()));
            if (r == LIBUSB_ERROR_NO_DEVICE) {
                qCDebug(log_) << "board left the bus, waiting for it to come back";
                board.handle.reset();
                continue;
            }
            if (r == static_cast<int>(status.size()) && now - start >= options_.settleTime) {
                qCDebug(log_) << "board stayed on the bus and answers";
                return Error::None;
            }
            last = r < 0 ? Error::Transfer : Error::None;
        } else {
            Board found;
            last = openAt(where, board.vendorId, board.productId, found);
            if (last == Error::None) {
                const int r = libusb_control_transfer(
                    found.handle.get(), kStandardIn, LIBUSB_REQUEST_GET_STATUS, 0, 0, status.data(),
                    static_cast<uint16_t>(status.size()),
                    static_cast<unsigned>(options_.requestTimeout.count()));
                if (r == static_cast<int>(status.size())) {
                    qCDebug(log_) << "board is back and answers";
                    board.handle = std::move(found.handle);
                    return Error::None;
                }
                last = Error::Transfer;
            }
        }
        if (now - start >= options_.reenumerationTimeout) {
            // A board that stays unreachable for lack of permission says so.
            if (last == Error::Permission) return fail(Error::Permission, kUdevHint);
            return fail(Error::Timeout,
                        std::string("the board did not come back after the firmware download (") +
                            describe(last) + ")");
        }
        std::this_thread::sleep_for(options_.pollInterval);
    }
}

Error UsbDriver::vendorRequest(int32_t handle, uint8_t request, int32_t value, int32_t index,
                               uint8_t direction, std::span<uint8_t> buffer) {
    const auto it = boards_.find(handle);
    if (it == boards_.end())
        return fail(Error::NoDevice, "no board is connected with handle " + std::to_string(handle));
    char text[128];
    if (!fits16(value) || !fits16(index)) {
        std::snprintf(text, sizeof text,
                      "request 0x%02X: value %d or index %d does not fit the setup packet", request,
                      value, index);
        return fail(Error::InvalidArgument, text);
    }
    if (buffer.size() > kMaxControlData) {
        std::snprintf(text, sizeof text,
                      "request 0x%02X: %zu bytes are more than a control transfer carries (%zu)",
                      request, buffer.size(), kMaxControlData);
        return fail(Error::InvalidArgument, text);
    }
    const bool in = direction == 1;
    const Error e = control(it->second.handle.get(), in ? kVendorIn : kVendorOut, request,
                            static_cast<uint16_t>(value), static_cast<uint16_t>(index), buffer);
    if (log_.isDebugEnabled()) {
        const QByteArray bytes(reinterpret_cast<const char*>(buffer.data()),
                               static_cast<qsizetype>(buffer.size()));
        qCDebug(log_).noquote() << (in ? "IN " : "OUT") << Qt::hex << Qt::showbase << request
                                << "value" << value << "index" << index << "data"
                                << bytes.toHex(' ') << "->" << describe(e);
    }
    return e;
}

bool UsbDriver::boardAttached(int32_t handle) {
    const auto it = boards_.find(handle == 0 ? legacyHandle_ : handle);
    if (it == boards_.end() || !it->second.handle) return false;
    libusb_context* ctx = context();
    if (!ctx) return false;
    // libusb keeps its device list up to date from hotplug notices where the platform has
    // them (and rescans otherwise): a device that left is no longer listed, and one that
    // came back is a new device.
    const DeviceList devices(ctx);
    libusb_device* const mine = libusb_get_device(it->second.handle.get());
    for (libusb_device* dev : devices.devices())
        if (dev == mine) return true;
    return false;
}

int32_t UsbDriver::countBoards(int32_t vendorId, int32_t productId) {
    if (!fits16(vendorId) || !fits16(productId)) return -1;
    libusb_context* ctx = context();
    if (!ctx) return -1;
    const DeviceList devices(ctx);
    if (devices.error() != 0) return -1;
    int32_t count = 0;
    for (libusb_device* dev : devices.devices())
        if (matches(dev, static_cast<uint16_t>(vendorId), static_cast<uint16_t>(productId)))
            ++count;
    return count;
}

Error UsbDriver::loadFirmware(const std::filesystem::path& file) {
    // A board that left the bus is opened afresh when it (or another) is there again.
    if (legacyHandle_ != 0 && !boardAttached(legacyHandle_)) {
        boards_.erase(legacyHandle_);
        legacyHandle_ = 0;
    }
    if (legacyHandle_ == 0) {
        int32_t count = 0;
        std::array<uint8_t, 128> list{};
        if (const Error e = searchForBoards(kVendorId, kProductId, count, list); e != Error::None)
            return e;
        if (const Error e = connect(kVendorId, kProductId, list[0], legacyHandle_);
            e != Error::None)
            return e;
    }
    return downloadFirmware(legacyHandle_, file);
}

Error UsbDriver::legacyVendorRequest(uint8_t request, int32_t value, int32_t index,
                                     uint8_t direction, std::span<uint8_t> buffer) {
    return vendorRequest(legacyHandle_, request, value, index, direction, buffer);
}

} // namespace tq::usb
