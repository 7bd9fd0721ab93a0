#include "SimBehindUsb.h"

#include <cerrno>
#include <cstdio>
#include <string>

namespace tq::usbtest {
namespace {

// The loaded RAM as Intel HEX again, for the model's firmware start.
std::string toHex(std::span<const LoadedBlock> image) {
    std::string text;
    char line[64];
    for (const LoadedBlock& block : image) {
        for (std::size_t at = 0; at < block.data.size(); at += 16) {
            const std::size_t n = std::min<std::size_t>(16, block.data.size() - at);
            const unsigned address = block.address + at;
            unsigned sum = n + (address >> 8) + (address & 0xFF);
            std::snprintf(line, sizeof line, ":%02zX%04X00", n, address & 0xFFFF);
            text += line;
            for (std::size_t i = 0; i < n; ++i) {
                std::snprintf(line, sizeof line, "%02X", block.data[at + i]);
                text += line;
                sum += block.data[at + i];
            }
            std::snprintf(line, sizeof line, "%02X\n", (0x100 - (sum & 0xFF)) & 0xFF);
            text += line;
        }
    }
    return text + ":00000001FF\n";
}

int toErrno(tq::sim::Status status) {
    switch (status) {
    case tq::sim::Status::Ok:
        return 0;
    case tq::sim::Status::NoDevice:
        return -ENODEV;
    case tq::sim::Status::InvalidParam:
        return -EINVAL;
    case tq::sim::Status::IoError:
        return -EIO;
    default:
        return -EPIPE; // the firmware stalls what it does not answer
    }
}

} // namespace

void putSimBehind(EmulatedBoard& device, tq::sim::SimBoard& model) {
    device.setFirmwareStart([&model](std::span<const LoadedBlock> image) {
        const std::string hex = toHex(image);
        model.downloadFirmware(std::string_view(hex));
    });
    device.setResponder([&model](const SetupPacket& s, std::span<uint8_t> data) {
        const int e =
            toErrno(model.vendorRequest(s.request, s.value, s.index, s.in() ? 1 : 0, data));
        return e < 0 ? e : static_cast<int>(data.size());
    });
}

} // namespace tq::usbtest
