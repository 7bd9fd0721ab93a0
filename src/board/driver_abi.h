/* The board driver library's entry points. This is a contract: any library that exports
 * these names with these signatures (C linkage) can drive the program, whether it talks to
 * a real board, a simulated one or a remote bench. Every driver library of this project
 * exports both sets, and the optional Last_Error_Text. */
#ifndef TQ_BOARD_DRIVER_ABI_H
#define TQ_BOARD_DRIVER_ABI_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(_WIN32)
#define TQ_DRIVER_EXPORT __declspec(dllexport)
#else
#define TQ_DRIVER_EXPORT __attribute__((visibility("default")))
#endif

/* A status this project's driver libraries give when the board is there but this user may
 * not open it (no udev rule); other libraries need not use it. */
#define TQ_STATUS_NO_PERMISSION (-3)

/* Newer back end (library QRV_CYUSB_USB4). */

/* Counts the attached boards with these ids; byte 0 of boardList (128 bytes) identifies the
 * first one found (0 is never a valid identifier). */
typedef int16_t (*Search_For_Boards_fn)(int32_t vendorId, int32_t productId, int32_t* count,
                                        uint8_t* boardList);
/* Opens the board that boardList byte identified and gives its handle. */
typedef int16_t (*Connect_fn)(int32_t vendorId, int32_t productId, uint8_t board, int32_t* handle);
/* Loads the zero-terminated path's Intel HEX image; 0 = loaded and running. */
typedef int16_t (*Download_Firmware_fn)(int32_t handle, uint8_t* pathBytes);
/* One vendor request; direction 0 = to the board, 1 = from the board (length bytes land in
 * buffer). 0 = done. */
typedef int16_t (*Vendor_Request_fn)(int32_t handle, uint8_t request, int32_t value, int32_t index,
                                     uint8_t direction, int32_t length, uint8_t* buffer);

/* Legacy back end (library USBFunctions): no handle, it serves the board it loaded. */

/* >= 1 = success. */
typedef int16_t (*LoadFirmWare_fn)(uint8_t* pathBytes);
/* 0 = done. */
typedef int16_t (*VendorIORequest_fn)(int16_t request, int32_t value, int32_t index,
                                      int16_t direction, int16_t length, uint8_t* buffer);

TQ_DRIVER_EXPORT int16_t Search_For_Boards(int32_t vendorId, int32_t productId, int32_t* count,
                                           uint8_t* boardList);
TQ_DRIVER_EXPORT int16_t Connect(int32_t vendorId, int32_t productId, uint8_t board,
                                 int32_t* handle);
TQ_DRIVER_EXPORT int16_t Download_Firmware(int32_t handle, uint8_t* pathBytes);
TQ_DRIVER_EXPORT int16_t Vendor_Request(int32_t handle, uint8_t request, int32_t value,
                                        int32_t index, uint8_t direction, int32_t length,
                                        uint8_t* buffer);
TQ_DRIVER_EXPORT int16_t LoadFirmWare(uint8_t* pathBytes);
TQ_DRIVER_EXPORT int16_t VendorIORequest(int16_t request, int32_t value, int32_t index,
                                         int16_t direction, int16_t length, uint8_t* buffer);

/* Optional extras for noticing a pulled cable. A library may lack them: the program then
 * cannot tell an unplugged board from a failing one and carries on as before. Neither opens
 * or talks to a board. */

/* 1 while the board behind handle (0: the legacy back end's board) is still attached and
 * running the firmware it was given, 0 once it has gone (a board that comes back needs a
 * new connect and download), < 0 when the library cannot tell. */
typedef int32_t (*Board_Attached_fn)(int32_t handle);
/* How many boards with these ids are on the bus now; < 0 when the library cannot tell. */
typedef int32_t (*Count_Boards_fn)(int32_t vendorId, int32_t productId);

TQ_DRIVER_EXPORT int32_t Board_Attached(int32_t handle);
TQ_DRIVER_EXPORT int32_t Count_Boards(int32_t vendorId, int32_t productId);

/* Optional; a library may lack it. The text of the library's most recent failure (UTF-8),
 * for the user: what went wrong and, where the user can mend it, how. Copies at most
 * size - 1 bytes of it and a terminating 0 into buffer (nothing when size < 1) and returns
 * the text's whole length in bytes; 0 when there is nothing to tell. */
typedef int32_t (*Last_Error_Text_fn)(uint8_t* buffer, int32_t size);
TQ_DRIVER_EXPORT int32_t Last_Error_Text(uint8_t* buffer, int32_t size);

#ifdef __cplusplus
}
#endif

#endif
