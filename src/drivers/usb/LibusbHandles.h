#pragma once
// Owning wrappers for libusb's context, device list and device handle, so no early return
// can leak one.

#include <libusb.h>

#include <memory>
#include <span>

namespace tq::usb {

struct ContextDeleter {
    void operator()(libusb_context* ctx) const { libusb_exit(ctx); }
};
struct HandleDeleter {
    void operator()(libusb_device_handle* handle) const { libusb_close(handle); }
};

using ContextPtr = std::unique_ptr<libusb_context, ContextDeleter>;
using HandlePtr = std::unique_ptr<libusb_device_handle, HandleDeleter>;

// The devices attached when it was made; each listed device is referenced until the list
// goes away.
class DeviceList {
public:
    explicit DeviceList(libusb_context* ctx) {
        const ssize_t n = libusb_get_device_list(ctx, &list_);
        if (n < 0) {
            list_ = nullptr;
            error_ = static_cast<int>(n);
        } else {
            size_ = static_cast<std::size_t>(n);
        }
    }
    ~DeviceList() {
        if (list_) libusb_free_device_list(list_, 1);
    }
    DeviceList(const DeviceList&) = delete;
    DeviceList& operator=(const DeviceList&) = delete;

    // libusb's error code when the list could not be read, else 0.
    int error() const { return error_; }
    std::span<libusb_device* const> devices() const { return {list_, size_}; }

private:
    libusb_device** list_ = nullptr;
    std::size_t size_ = 0;
    int error_ = 0;
};

} // namespace tq::usb
