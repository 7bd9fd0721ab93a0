#include "EmulatedBoard.h"

#include <linux/usbdevice_fs.h>
#include <sys/ioctl.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <utility>

namespace tq::usbtest {
namespace {

constexpr const char* kSyspath = "/devices/pci0000:00/0000:00:14.0/usb1/1-3";
constexpr uint16_t kCpucs = 0xE600;

// Sysfs text attributes as hex, newline included (umockdev's "A:" lines drop it).
std::string hexText(const std::string& text) {
    std::string out;
    for (unsigned char c : text + "\n") {
        char buf[3];
        std::snprintf(buf, sizeof buf, "%02X", c);
        out += buf;
    }
    return out;
}

std::string hexBytes(std::span<const uint8_t> bytes) {
    std::string out;
    for (uint8_t b : bytes) {
        char buf[3];
        std::snprintf(buf, sizeof buf, "%02X", b);
        out += buf;
    }
    return out;
}

std::vector<uint8_t> deviceDescriptor(uint16_t vendor, uint16_t product) {
    return {0x12,
            0x01,
            0x00,
            0x02,
            0x00,
            0x00,
            0x00,
            0x40,
            static_cast<uint8_t>(vendor),
            static_cast<uint8_t>(vendor >> 8),
            static_cast<uint8_t>(product),
            static_cast<uint8_t>(product >> 8),
            0x01,
            0x00,
            0x00,
            0x00,
            0x00,
            0x01};
}

// One configuration with one vendor-specific interface and no endpoints.
const std::vector<uint8_t> kConfigDescriptor = {0x09, 0x02, 0x12, 0x00, 0x01, 0x01,
                                                0x00, 0x80, 0x32, 0x09, 0x04, 0x00,
                                                0x00, 0x00, 0xFF, 0x00, 0x00, 0x00};

struct DataRef {
    UMockdevIoctlData* p = nullptr;
    ~DataRef() {
        if (p) umockdev_ioctl_data_unref(p);
    }
};

} // namespace

EmulatedBoard::EmulatedBoard(int firstAddress) : devnum_(firstAddress) {
    testbed_ = umockdev_testbed_new();
    if (!umockdev_in_mock_environment())
        throw std::runtime_error("run with LD_PRELOAD=libumockdev-preload.so.0");
    handler_ = umockdev_ioctl_base_new();
    g_signal_connect(handler_, "handle-ioctl", G_CALLBACK(&EmulatedBoard::onIoctl), this);
}

EmulatedBoard::~EmulatedBoard() {
    settle();
    for (PendingUrb& p : pending_) {
        umockdev_ioctl_data_unref(p.urb);
        g_object_unref(p.client);
    }
    g_object_unref(testbed_);
    g_object_unref(handler_);
}

void EmulatedBoard::plug(uint16_t vendorId, uint16_t productId) {
    {
        std::lock_guard lock(mutex_);
        vendorId_ = vendorId;
        productId_ = productId;
    }
    addDevice();
}

void EmulatedBoard::addDevice() {
    std::string text;
    {
        std::lock_guard lock(mutex_);
        ++devnum_;
        ++enumerations_;
        char node[32];
        std::snprintf(node, sizeof node, "/dev/bus/usb/001/%03d", devnum_);
        devnode_ = node;
        syspath_ = std::string("/sys") + kSyspath;
        char ids[16];
        std::snprintf(ids, sizeof ids, "%04x", vendorId_);
        const std::string vendor = ids;
        std::snprintf(ids, sizeof ids, "%04x", productId_);
        const std::string product = ids;
        auto descriptors = deviceDescriptor(vendorId_, productId_);
        descriptors.insert(descriptors.end(), kConfigDescriptor.begin(), kConfigDescriptor.end());
        text = std::string("P: ") + kSyspath + "\nN: " + devnode_.substr(5) +
               "\nE: SUBSYSTEM=usb\nE: DEVTYPE=usb_device\nE: DRIVER=usb\nE: BUSNUM=001\n"
               "E: DEVNUM=" +
               devnode_.substr(devnode_.size() - 3) + "\nE: DEVNAME=" + devnode_ +
               "\nH: busnum=" + hexText("1") + "\nH: devnum=" + hexText(std::to_string(devnum_)) +
               "\nH: speed=" + hexText("480") + "\nH: bConfigurationValue=" + hexText("1") +
               "\nH: idVendor=" + hexText(vendor) + "\nH: idProduct=" + hexText(product) +
               "\nH: descriptors=" + hexBytes(descriptors) + "\n";
    }
    GError* error = nullptr;
    // The handler must be in place before the device appears.
    if (!umockdev_testbed_attach_ioctl(testbed_, devnode_.c_str(), handler_, &error) ||
        !umockdev_testbed_add_from_string(testbed_, text.c_str(), &error)) {
        const std::string what = error ? error->message : "unknown";
        g_clear_error(&error);
        throw std::runtime_error("umockdev: " + what);
    }
    std::lock_guard lock(mutex_);
    present_ = true;
}

void EmulatedBoard::removeDevice() {
    std::string syspath;
    {
        std::lock_guard lock(mutex_);
        if (!present_) return;
        present_ = false;
        syspath = syspath_;
    }
    umockdev_testbed_uevent(testbed_, syspath.c_str(), "remove");
    umockdev_testbed_remove_device(testbed_, syspath.c_str());
}

void EmulatedBoard::unplug() {
    settle();
    removeDevice();
}

void EmulatedBoard::renumerate() {
    // The board is away a moment before its firmware enumerates it anew.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    addDevice();
}

void EmulatedBoard::settle() {
    if (renumeration_.joinable()) renumeration_.join();
}

void EmulatedBoard::setFirmwareRunning(bool running) {
    std::lock_guard lock(mutex_);
    firmwareRunning_ = running;
}

void EmulatedBoard::setAfterRelease(AfterRelease mode) {
    std::lock_guard lock(mutex_);
    afterRelease_ = mode;
}

void EmulatedBoard::setResponder(Responder responder) {
    std::lock_guard lock(mutex_);
    responder_ = std::move(responder);
}

void EmulatedBoard::setFirmwareStart(FirmwareStart start) {
    std::lock_guard lock(mutex_);
    firmwareStart_ = std::move(start);
}

void EmulatedBoard::failRequests(int count, int error) {
    std::lock_guard lock(mutex_);
    failCount_ = count;
    failError_ = error;
}

void EmulatedBoard::unplugAfterNextTransfer() {
    std::lock_guard lock(mutex_);
    unplugAfterNext_ = true;
}

std::vector<ControlRecord> EmulatedBoard::records() const {
    std::lock_guard lock(mutex_);
    return records_;
}

void EmulatedBoard::clearRecords() {
    std::lock_guard lock(mutex_);
    records_.clear();
    cpucs_.clear();
}

std::vector<uint8_t> EmulatedBoard::ram(uint16_t address, std::size_t length) const {
    std::lock_guard lock(mutex_);
    const auto begin = ram_.begin() + address;
    return {begin, begin + static_cast<std::ptrdiff_t>(
                               std::min(length, ram_.size() - std::size_t{address}))};
}

std::vector<uint8_t> EmulatedBoard::cpucsWrites() const {
    std::lock_guard lock(mutex_);
    return cpucs_;
}

int EmulatedBoard::enumerations() const {
    std::lock_guard lock(mutex_);
    return enumerations_;
}

std::string EmulatedBoard::devnode() const {
    std::lock_guard lock(mutex_);
    return devnode_;
}

std::string EmulatedBoard::rootDir() const {
    gchar* dir = umockdev_testbed_get_root_dir(testbed_);
    std::string out = dir;
    g_free(dir);
    return out;
}

gboolean EmulatedBoard::onIoctl(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer self) {
    return static_cast<EmulatedBoard*>(self)->handleIoctl(client) ? TRUE : FALSE;
}

int EmulatedBoard::modelRequest(const SetupPacket& s, std::span<uint8_t> data) {
    const uint8_t type = s.requestType & 0x60;
    if (type == 0x00) { // standard
        if (s.request == 0x00 && s.in()) {
            std::fill(data.begin(), data.end(), uint8_t{0});
            return static_cast<int>(std::min<std::size_t>(data.size(), 2));
        }
        if (s.request == 0x06 && s.in()) {
            const auto desc = (s.value >> 8) == 1   ? deviceDescriptor(vendorId_, productId_)
                              : (s.value >> 8) == 2 ? kConfigDescriptor
                                                    : std::vector<uint8_t>{};
            if (desc.empty()) return -EPIPE;
            const std::size_t n = std::min(desc.size(), data.size());
            std::copy_n(desc.begin(), n, data.begin());
            return static_cast<int>(n);
        }
        return s.in() ? -EPIPE : 0;
    }
    if (type != 0x40) return -EPIPE;
    if (s.request == 0xA0) { // the microcontroller's own RAM loader
        if (std::size_t{s.value} + data.size() > ram_.size()) return -EPIPE;
        if (s.in()) {
            std::copy_n(ram_.begin() + s.value, data.size(), data.begin());
            return static_cast<int>(data.size());
        }
        std::copy(data.begin(), data.end(), ram_.begin() + s.value);
        if (s.value <= kCpucs && kCpucs < s.value + data.size()) {
            const uint8_t cpucs = ram_[kCpucs];
            const bool wasHeld = !cpucs_.empty() && (cpucs_.back() & 1) != 0;
            cpucs_.push_back(cpucs);
            if (cpucs & 1) {
                firmwareRunning_ = false;
                loaded_.clear();
            } else if (wasHeld) {
                firmwareRunning_ = true;
                if (firmwareStart_) firmwareStart_(loaded_);
            }
        } else {
            loaded_.push_back(LoadedBlock{s.value, {data.begin(), data.end()}});
        }
        return static_cast<int>(data.size());
    }
    if (!firmwareRunning_) return -EPIPE; // no firmware to answer it
    return responder_ ? responder_(s, data) : -EPIPE;
}

int EmulatedBoard::control(const SetupPacket& setup, std::span<uint8_t> data,
                           const std::string& node, bool viaUrb) {
    bool leave = false;
    bool comeBack = false;
    bool unplugNow = false;
    int result = 0;
    {
        std::lock_guard lock(mutex_);
        const bool running = firmwareRunning_;
        if (failCount_ > 0 && (setup.requestType & 0x60) == 0x40 && setup.request != 0xA0) {
            --failCount_;
            result = -failError_;
        } else {
            result = modelRequest(setup, data);
        }
        ControlRecord rec{setup, {}, result < 0 ? -result : 0, viaUrb, node};
        if (result > 0) rec.data.assign(data.begin(), data.begin() + result);
        records_.push_back(std::move(rec));
        unplugNow = std::exchange(unplugAfterNext_, false);
        if (!running && firmwareRunning_ && afterRelease_ != AfterRelease::Stay) {
            leave = true;
            comeBack = afterRelease_ == AfterRelease::Renumerate;
        }
    }
    // The device leaves as it answers the release, so a driver never sees the old device
    // still answering, however late it asks again.
    if (unplugNow || leave) removeDevice();
    if (comeBack) {
        settle();
        renumeration_ = std::thread([this] { renumerate(); });
    }
    return result;
}

void EmulatedBoard::reapUrb(UMockdevIoctlClient* client, UMockdevIoctlData* arg,
                            const std::string& node) {
    PendingUrb done;
    {
        std::lock_guard lock(mutex_);
        const auto it = std::find_if(pending_.begin(), pending_.end(),
                                     [&](const PendingUrb& u) { return u.client == client; });
        if (it == pending_.end()) {
            umockdev_ioctl_client_complete(client, -1,
                                           present_ && node == devnode_ ? EAGAIN : ENODEV);
            return;
        }
        done = *it;
        pending_.erase(it);
    }
    DataRef ptr{umockdev_ioctl_data_resolve(arg, 0, sizeof(void*), nullptr)};
    umockdev_ioctl_data_set_ptr(ptr.p, 0, done.urb);
    umockdev_ioctl_data_unref(done.urb);
    g_object_unref(done.client);
    umockdev_ioctl_client_complete(client, 0, 0);
}

bool EmulatedBoard::handleIoctl(UMockdevIoctlClient* client) {
    const unsigned long request = umockdev_ioctl_client_get_request(client);
    UMockdevIoctlData* arg = umockdev_ioctl_client_get_arg(client);
    const std::string node = umockdev_ioctl_client_get_devnode(client);
    // Reaping is allowed after the device has left: the driver's event loop only learns of
    // transfers that completed just before the unplug this way.
    if (request == USBDEVFS_REAPURB || request == USBDEVFS_REAPURBNDELAY) {
        reapUrb(client, arg, node);
        return true;
    }
    {
        std::lock_guard lock(mutex_);
        if (!present_ || node != devnode_) {
            umockdev_ioctl_client_complete(client, -1, ENODEV);
            return true;
        }
    }

    switch (request) {
    case USBDEVFS_GET_CAPABILITIES: {
        DataRef caps{umockdev_ioctl_data_resolve(arg, 0, sizeof(uint32_t), nullptr)};
        const uint32_t value = USBDEVFS_CAP_NO_PACKET_SIZE_LIM | USBDEVFS_CAP_ZERO_PACKET |
                               USBDEVFS_CAP_REAP_AFTER_DISCONNECT;
        std::memcpy(caps.p->data, &value, sizeof value);
        umockdev_ioctl_client_complete(client, 0, 0);
        return true;
    }
    case USBDEVFS_CLAIMINTERFACE:
    case USBDEVFS_RELEASEINTERFACE:
    case USBDEVFS_SETINTERFACE:
    case USBDEVFS_SETCONFIGURATION:
    case USBDEVFS_CLEAR_HALT:
    case USBDEVFS_RESET:
    case USBDEVFS_RESETEP:
        umockdev_ioctl_client_complete(client, 0, 0);
        return true;

    case USBDEVFS_SUBMITURB: {
        UMockdevIoctlData* urbData =
            umockdev_ioctl_data_resolve(arg, 0, sizeof(usbdevfs_urb), nullptr);
        auto* urb = reinterpret_cast<usbdevfs_urb*>(urbData->data);
        if (urb->type != USBDEVFS_URB_TYPE_CONTROL || urb->buffer_length < 8) {
            umockdev_ioctl_data_unref(urbData);
            umockdev_ioctl_client_complete(client, -1, EINVAL);
            return true;
        }
        DataRef buffer{umockdev_ioctl_data_resolve(urbData, offsetof(usbdevfs_urb, buffer),
                                                   static_cast<gsize>(urb->buffer_length),
                                                   nullptr)};
        const uint8_t* p = buffer.p->data;
        const SetupPacket setup{p[0], p[1], static_cast<uint16_t>(p[2] | (p[3] << 8)),
                                static_cast<uint16_t>(p[4] | (p[5] << 8)),
                                static_cast<uint16_t>(p[6] | (p[7] << 8))};
        const std::size_t room = static_cast<std::size_t>(urb->buffer_length) - 8;
        const int r = control(
            setup, {buffer.p->data + 8, std::min<std::size_t>(setup.length, room)}, node, true);
        urb->status = r < 0 ? r : 0;
        urb->actual_length = r < 0 ? 0 : r;
        {
            std::lock_guard lock(mutex_);
            pending_.push_back(
                PendingUrb{urbData, static_cast<UMockdevIoctlClient*>(g_object_ref(client))});
        }
        umockdev_ioctl_client_complete(client, 0, 0);
        return true;
    }
    case USBDEVFS_DISCARDURB:
        // Transfers complete as they are submitted: there is never one to discard.
        umockdev_ioctl_client_complete(client, -1, EINVAL);
        return true;

    case USBDEVFS_CONTROL: {
        DataRef ctrl{umockdev_ioctl_data_resolve(arg, 0, sizeof(usbdevfs_ctrltransfer), nullptr)};
        const auto* ct = reinterpret_cast<const usbdevfs_ctrltransfer*>(ctrl.p->data);
        const SetupPacket setup{ct->bRequestType, ct->bRequest, ct->wValue, ct->wIndex,
                                ct->wLength};
        DataRef data;
        if (setup.length > 0)
            data.p = umockdev_ioctl_data_resolve(ctrl.p, offsetof(usbdevfs_ctrltransfer, data),
                                                 setup.length, nullptr);
        const int r = control(
            setup, data.p ? std::span<uint8_t>(data.p->data, setup.length) : std::span<uint8_t>{},
            node, false);
        umockdev_ioctl_client_complete(client, r < 0 ? -1 : r, r < 0 ? -r : 0);
        return true;
    }
    default:
        return false;
    }
}

} // namespace tq::usbtest
