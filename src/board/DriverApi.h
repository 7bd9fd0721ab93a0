#pragma once
// The driver library's six entry points as one interface, so the board layer runs the same
// on a library loaded by path (DriverLibrary) and on an in-process test double; and its two
// optional extras, which a driver without them answers with kCannotTell.

#include <cstdint>
#include <string>

namespace tq::board {

class DriverApi {
public:
    virtual ~DriverApi() = default;

    virtual int16_t Search_For_Boards(int32_t vendorId, int32_t productId, int32_t* count,
                                      uint8_t* boardList) = 0;
    virtual int16_t Connect(int32_t vendorId, int32_t productId, uint8_t board,
                            int32_t* handle) = 0;
    virtual int16_t Download_Firmware(int32_t handle, uint8_t* pathBytes) = 0;
    virtual int16_t Vendor_Request(int32_t handle, uint8_t request, int32_t value, int32_t index,
                                   uint8_t direction, int32_t length, uint8_t* buffer) = 0;
    virtual int16_t LoadFirmWare(uint8_t* pathBytes) = 0;
    virtual int16_t VendorIORequest(int16_t request, int32_t value, int32_t index,
                                    int16_t direction, int16_t length, uint8_t* buffer) = 0;

    static constexpr int32_t kCannotTell = -1;
    // 1 while the board behind handle (0: the legacy back end's) is attached and running,
    // 0 once it has gone, kCannotTell without the library's help.
    virtual int32_t Board_Attached(int32_t /*handle*/) { return kCannotTell; }
    // Boards with these ids on the bus now, or kCannotTell.
    virtual int32_t Count_Boards(int32_t /*vendorId*/, int32_t /*productId*/) {
        return kCannotTell;
    }

    // The driver's own words (UTF-8) for its most recent failure, from the optional entry
    // Last_Error_Text; empty when the driver has none or tells nothing.
    virtual std::string lastErrorText() { return {}; }
};

} // namespace tq::board
