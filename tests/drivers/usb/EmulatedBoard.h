#pragma once
// The board as a USB device for the real libusb code path: umockdev adds it to a private
// sysfs/dev tree and hands every usbdevfs ioctl on its node to this object, which answers
// like the board's microcontroller (RAM loader request 0xA0, CPUCS, standard requests) and
// passes the firmware's vendor requests to a pluggable responder. The process must run
// with libumockdev-preload (see UmockdevMain.cpp), and the board must exist before the
// driver's libusb context is made.

#include <umockdev.h>

#include <cstdint>
#include <functional>
#include <mutex>
#include <span>
#include <string>
#include <thread>
#include <vector>

namespace tq::usbtest {

struct SetupPacket {
    uint8_t requestType = 0;
    uint8_t request = 0;
    uint16_t value = 0;
    uint16_t index = 0;
    uint16_t length = 0;
    bool in() const { return (requestType & 0x80) != 0; }
};

// One control transfer as the device saw it: OUT data sent, or IN data returned.
struct ControlRecord {
    SetupPacket setup;
    std::vector<uint8_t> data;
    int error = 0;       // errno the transfer failed with, 0 when done
    bool viaUrb = true;  // USBDEVFS_SUBMITURB (libusb) or USBDEVFS_CONTROL (fxload)
    std::string devnode; // which incarnation of the device answered
};

// Answers a vendor request of the running firmware: fills IN data, returns the number of
// bytes moved or a negative errno.
using Responder = std::function<int(const SetupPacket&, std::span<uint8_t> data)>;

// RAM written while the CPU was held, as the firmware starts with it.
struct LoadedBlock {
    uint16_t address = 0;
    std::vector<uint8_t> data;
};
using FirmwareStart = std::function<void(std::span<const LoadedBlock> image)>;

enum class AfterRelease {
    Stay,       // firmware runs on the same device
    Renumerate, // device leaves the bus as it answers the release, back soon with a new address
    Vanish,     // device leaves the bus as it answers the release, for good
};

class EmulatedBoard {
public:
    static constexpr uint16_t kBoardVendor = 0x0456;
    static constexpr uint16_t kBoardProduct = 0xB202;

    // Device numbers count up from firstAddress + 1 with every (re-)enumeration.
    explicit EmulatedBoard(int firstAddress = 1);
    ~EmulatedBoard();
    EmulatedBoard(const EmulatedBoard&) = delete;
    EmulatedBoard& operator=(const EmulatedBoard&) = delete;

    // Adds a device with these ids on bus 1, port 3 (the board by default).
    void plug(uint16_t vendorId = kBoardVendor, uint16_t productId = kBoardProduct);
    // Removes the device; every later ioctl on its node answers ENODEV.
    void unplug();

    void setFirmwareRunning(bool running);
    void setAfterRelease(AfterRelease mode);
    void setResponder(Responder responder);
    // Called (on the emulation's thread) when the CPU is released after a load.
    void setFirmwareStart(FirmwareStart start);
    // The next `count` vendor requests of the firmware fail with `error` (an errno).
    void failRequests(int count, int error);
    // The device leaves the bus right after answering the next control transfer, before the
    // host has collected the answer.
    void unplugAfterNextTransfer();

    std::vector<ControlRecord> records() const;
    void clearRecords();
    std::vector<uint8_t> ram(uint16_t address, std::size_t length) const;
    std::vector<uint8_t> cpucsWrites() const;
    int enumerations() const;
    std::string devnode() const;
    std::string rootDir() const;
    // Waits until a pending re-enumeration has finished.
    void settle();

private:
    static gboolean onIoctl(UMockdevIoctlBase* handler, UMockdevIoctlClient* client, gpointer self);
    bool handleIoctl(UMockdevIoctlClient* client);
    void reapUrb(UMockdevIoctlClient* client, UMockdevIoctlData* arg, const std::string& node);
    // Runs one control transfer on the model; returns bytes moved or -errno.
    int control(const SetupPacket& setup, std::span<uint8_t> data, const std::string& node,
                bool viaUrb);
    int modelRequest(const SetupPacket& setup, std::span<uint8_t> data);
    void addDevice();
    void removeDevice();
    void renumerate();

    // A completed URB waiting to be reaped. Like usbfs, it belongs to the open file that
    // submitted it, and stays reapable after the device has left.
    struct PendingUrb {
        UMockdevIoctlData* urb = nullptr;      // the client's URB, referenced
        UMockdevIoctlClient* client = nullptr; // the open file, referenced
    };

    UMockdevTestbed* testbed_ = nullptr;
    UMockdevIoctlBase* handler_ = nullptr;
    std::thread renumeration_;

    mutable std::mutex mutex_;
    uint16_t vendorId_ = kBoardVendor;
    uint16_t productId_ = kBoardProduct;
    int devnum_ = 1;
    bool present_ = false;
    std::string syspath_;
    std::string devnode_;
    bool firmwareRunning_ = false;
    AfterRelease afterRelease_ = AfterRelease::Stay;
    Responder responder_;
    FirmwareStart firmwareStart_;
    std::vector<LoadedBlock> loaded_;
    int failCount_ = 0;
    int failError_ = 0;
    bool unplugAfterNext_ = false;
    std::vector<uint8_t> ram_ = std::vector<uint8_t>(0x10000, 0);
    std::vector<uint8_t> cpucs_;
    std::vector<ControlRecord> records_;
    std::vector<PendingUrb> pending_;
    int enumerations_ = 0;
};

} // namespace tq::usbtest
