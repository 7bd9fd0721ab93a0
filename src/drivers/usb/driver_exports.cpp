// The C entry points of driver_abi.h over one UsbDriver per loaded library. The ABI carries
// no context, so the library's instance lives here; it is made at the first call.

#include "UsbDriver.h"

#include "board/driver_abi.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>

static_assert(static_cast<int16_t>(tq::usb::Error::Permission) == TQ_STATUS_NO_PERMISSION);

namespace {

// The one instance of this library; no other state.
std::unique_ptr<tq::usb::UsbDriver> theDriver;

tq::usb::UsbDriver& driver() {
    if (!theDriver) theDriver = std::make_unique<tq::usb::UsbDriver>();
    return *theDriver;
}

int16_t status(tq::usb::Error e) {
    return static_cast<int16_t>(e);
}

std::span<uint8_t> bufferOf(uint8_t* buffer, int32_t length) {
    return length > 0 && buffer ? std::span<uint8_t>(buffer, static_cast<std::size_t>(length))
                                : std::span<uint8_t>{};
}

bool badBuffer(const uint8_t* buffer, int32_t length) {
    return length < 0 || (length > 0 && !buffer);
}

int32_t copyText(const std::string& text, uint8_t* buffer, int32_t size) {
    if (buffer && size > 0) {
        const std::size_t n = std::min(text.size(), static_cast<std::size_t>(size) - 1);
        std::memcpy(buffer, text.data(), n);
        buffer[n] = 0;
    }
    return static_cast<int32_t>(text.size());
}

} // namespace

extern "C" {

int16_t Search_For_Boards(int32_t vendorId, int32_t productId, int32_t* count, uint8_t* boardList) {
    int32_t found = 0;
    std::array<uint8_t, 128> list{};
    const auto e = driver().searchForBoards(vendorId, productId, found, list);
    if (count) *count = found;
    if (boardList) std::memcpy(boardList, list.data(), list.size());
    return status(e);
}

int16_t Connect(int32_t vendorId, int32_t productId, uint8_t board, int32_t* handle) {
    int32_t h = 0;
    const auto e = driver().connect(vendorId, productId, board, h);
    if (handle) *handle = h;
    return status(e);
}

int16_t Download_Firmware(int32_t handle, uint8_t* pathBytes) {
    if (!pathBytes) return status(tq::usb::Error::File);
    return status(driver().downloadFirmware(handle, reinterpret_cast<const char*>(pathBytes)));
}

int16_t Vendor_Request(int32_t handle, uint8_t request, int32_t value, int32_t index,
                       uint8_t direction, int32_t length, uint8_t* buffer) {
    if (badBuffer(buffer, length)) return status(tq::usb::Error::InvalidArgument);
    return status(
        driver().vendorRequest(handle, request, value, index, direction, bufferOf(buffer, length)));
}

int16_t LoadFirmWare(uint8_t* pathBytes) {
    if (!pathBytes) return status(tq::usb::Error::File);
    const auto e = driver().loadFirmware(reinterpret_cast<const char*>(pathBytes));
    return e == tq::usb::Error::None ? int16_t{1} : status(e);
}

int16_t VendorIORequest(int16_t request, int32_t value, int32_t index, int16_t direction,
                        int16_t length, uint8_t* buffer) {
    if (request < 0 || request > 0xFF || badBuffer(buffer, length))
        return status(tq::usb::Error::InvalidArgument);
    return status(driver().legacyVendorRequest(static_cast<uint8_t>(request), value, index,
                                               direction == 1 ? 1 : 0, bufferOf(buffer, length)));
}

int32_t Board_Attached(int32_t handle) {
    return driver().boardAttached(handle) ? 1 : 0;
}

int32_t Count_Boards(int32_t vendorId, int32_t productId) {
    return driver().countBoards(vendorId, productId);
}

int32_t Last_Error_Text(uint8_t* buffer, int32_t size) {
    return copyText(driver().lastError(), buffer, size);
}

} // extern "C"
