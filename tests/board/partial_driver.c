/* A driver library that exports only part of the driver ABI, for the loader's tests. */
#include "board/driver_abi.h"

#include <string.h>

int16_t Search_For_Boards(int32_t vendorId, int32_t productId, int32_t* count, uint8_t* boardList) {
    (void)vendorId;
    (void)productId;
    *count = 1;
    boardList[0] = 5;
    return 0;
}

int16_t Vendor_Request(int32_t handle, uint8_t request, int32_t value, int32_t index,
                       uint8_t direction, int32_t length, uint8_t* buffer) {
    (void)request;
    (void)value;
    (void)index;
    if (direction == 1 && length > 0) memset(buffer, 0xA5, (size_t)length);
    return (int16_t)(handle + 1);
}

TQ_DRIVER_EXPORT int16_t Extra_Entry(void) {
    return 42;
}
