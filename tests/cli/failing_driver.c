/* A board that starts and answers every read with zeros, but fails every data, gain or
 * offset write (request 0xD9) with status -7: a transfer failing on the way. */
#include "board/driver_abi.h"

#include <string.h>

int16_t Search_For_Boards(int32_t vendorId, int32_t productId, int32_t* count, uint8_t* boardList) {
    (void)vendorId;
    (void)productId;
    *count = 1;
    boardList[0] = 1;
    return 0;
}

int16_t Connect(int32_t vendorId, int32_t productId, uint8_t board, int32_t* handle) {
    (void)vendorId;
    (void)productId;
    (void)board;
    *handle = 1;
    return 0;
}

int16_t Download_Firmware(int32_t handle, uint8_t* pathBytes) {
    (void)handle;
    (void)pathBytes;
    return 0;
}

int16_t Vendor_Request(int32_t handle, uint8_t request, int32_t value, int32_t index,
                       uint8_t direction, int32_t length, uint8_t* buffer) {
    (void)handle;
    (void)value;
    (void)index;
    if (direction == 1 && length > 0) memset(buffer, 0, (size_t)length);
    return request == 0xD9 ? -7 : 0;
}

int16_t LoadFirmWare(uint8_t* pathBytes) {
    (void)pathBytes;
    return 0;
}

int16_t VendorIORequest(int16_t request, int32_t value, int32_t index, int16_t direction,
                        int16_t length, uint8_t* buffer) {
    return Vendor_Request(1, (uint8_t)request, value, index, (uint8_t)direction, length, buffer);
}
