#pragma once
// What the evaluation board's USB interface is made of: the ids it enumerates with, the
// vendor requests its firmware answers and the control-line word of request 0xDE. The
// host side (board layer), our USB driver and the simulated board all read these; none
// restates them.

#include <cstdint>

namespace tq::device {

// USB ids the board enumerates with once its firmware runs.
inline constexpr uint16_t kUsbVendorId = 0x0456;
inline constexpr uint16_t kUsbProductId = 0xB202;

// Vendor request codes the board's firmware answers.
inline constexpr uint8_t kReqWriteAndPulse = 0xD9; // shift a 24-bit word, then pulse LDAC
inline constexpr uint8_t kReqReadAdc = 0xDA;       // 2-byte die-temperature reading
inline constexpr uint8_t kReqDriveD0 = 0xDB;       // value 1: board drives D0, 0: releases it
inline constexpr uint8_t kReqDriveD1 = 0xDC;
inline constexpr uint8_t kReqShiftWord = 0xDD; // shift a word; direction 1 returns 3 bytes
inline constexpr uint8_t kReqControlLines = 0xDE;

// The control-line word (request 0xDE): these bits of its value, and the board's drive
// levels of D1 and D0 as bits 1 and 0 of its index.
inline constexpr int32_t kLineLdac = 0x10;
inline constexpr int32_t kLineClr = 0x08;
inline constexpr int32_t kLineBinary = 0x04;
inline constexpr int32_t kLineRstin = 0x02;
inline constexpr int32_t kIndexDriveD1 = 0x2;
inline constexpr int32_t kIndexDriveD0 = 0x1;

} // namespace tq::device
