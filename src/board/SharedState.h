#pragma once
// The program's one shared state: every window and the board layer read and write these
// fields directly. Main owns the only instance and hands it out by reference. Names and
// types are those the whole program uses; the defaults are Main's.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace tq {

struct SharedState {
    std::string DisplayRadix = "Hex"; // "Hex" or "Dec"
    float OutputRangeVolts = 10.0f;   // full scale of the selected output range
    int32_t DataValue = 0;            // D15..D0 of the next register write
    int16_t AddressCode = 0;
    int16_t RegisterCode = 0;
    int16_t ReadWriteBit = 0; // R/W bit of the last word sent, 1 = read

    // Function register bits 5..0 as separate 0/1 flags.
    int16_t LocalGndOffsetBit = 0;
    int16_t D1DirectionBit = 0;
    int16_t D1LevelBit = 0;
    int16_t D0DirectionBit = 0;
    int16_t D0LevelBit = 0;
    int16_t SdoDisableBit = 0;
    int32_t FunctionBits = 0;

    int32_t ReadbackValue = 0;
    int32_t CoarseGainCode = 0;

    // Control-line flags, each 0 or 1.
    int16_t CtrlBit7 = 1;
    int16_t CtrlBit6 = 0;
    int16_t CtrlBit5 = 0;
    int16_t LdacLine = 1;
    int16_t ClrLine = 1;
    int16_t BinTwosCompLine = 1;
    int16_t RstinLine = 1;
    int16_t CtrlBit0 = 1;
    int16_t DriveD1Line = 0;
    int16_t DriveD0Line = 0;

    // The six function items offered in ComboFunction, set at load.
    std::string LocalGndItem;
    std::string D1DirectionItem;
    std::string D1LevelItem;
    std::string D0DirectionItem;
    std::string D0LevelItem;
    std::string SdoItem;

    int32_t BoardHandle = 0;
    int16_t DriverStatus = 0;
    std::string FirmwarePath;
    // Exactly the path's bytes and a terminating 0: any length, any bytes.
    std::vector<uint8_t> FirmwarePathBytes;
    std::array<uint8_t, 4> ReadBuffer{};

    // Check1 ("Pulse After Data Write"): 0 cleared, 1 checked, 2 grayed. Register writes
    // other than to the function register pulse LDAC unless it is 0.
    int16_t Check1Value = 0;
};

} // namespace tq
