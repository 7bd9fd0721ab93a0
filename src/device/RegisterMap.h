#pragma once
// The converter's 24-bit input word and every code the program puts into it: register
// select codes, channel addresses, the R/W bit, the function register's sub-addresses and
// control bits, the coarse gain ranges, and the layouts of the data, fine gain and offset
// registers. List item texts are in the order the lists show them.

#include <array>
#include <bit>
#include <cstdint>
#include <optional>
#include <string_view>

namespace tq::device {

// ---- Input word -------------------------------------------------------------------------
// Bit 23 R/W (1 = read), bit 22 always 0, bits 21..19 register code, bits 18..16 address
// code, bits 15..0 data. The top byte travels apart from the data as the command byte.

inline constexpr int ReadWriteShift = 23;
inline constexpr int RegisterShift = 19;
inline constexpr int AddressShift = 16;
inline constexpr int32_t DataMask = 0xFFFF;
inline constexpr int32_t FieldMask3 = 0x7;

// The fields as the shared state holds them.
struct InputWord {
    int16_t ReadWriteBit = 0;
    int16_t RegisterCode = 0;
    int16_t AddressCode = 0;
    int32_t Data = 0;
};

// R/W x 128 + register code x 8 + address code. Each field is limited to its own bits, so
// a stray value never spills into a neighbouring field.
constexpr uint8_t CommandByte(int32_t readWrite, int32_t registerCode, int32_t addressCode) {
    return static_cast<uint8_t>(((readWrite & 1) << 7) | ((registerCode & FieldMask3) << 3) |
                                (addressCode & FieldMask3));
}

// The whole word as a number: command byte x 65536 + data (data limited to 16 bits).
constexpr int32_t WordValue(int32_t readWrite, int32_t registerCode, int32_t addressCode,
                            int32_t data) {
    return (int32_t{CommandByte(readWrite, registerCode, addressCode)} << 16) | (data & DataMask);
}

constexpr uint8_t CommandByte(const InputWord& w) {
    return CommandByte(w.ReadWriteBit, w.RegisterCode, w.AddressCode);
}
constexpr int32_t WordValue(const InputWord& w) {
    return WordValue(w.ReadWriteBit, w.RegisterCode, w.AddressCode, w.Data);
}

// ---- R/W bit (ComboRW) --------------------------------------------------------------------
inline constexpr int16_t ReadBit = 1;
inline constexpr int16_t WriteBit = 0;

struct ReadWriteItem {
    int16_t bit;
    std::string_view text;
};
inline constexpr std::array<ReadWriteItem, 2> ReadWriteItems{
    {{ReadBit, "Read"}, {WriteBit, "Write"}}};

// ---- Register select codes (ComboReg) -----------------------------------------------------
// Codes 1, 6 and 7 are never used.
inline constexpr int16_t FunctionRegister = 0;
inline constexpr int16_t DataRegister = 2;
inline constexpr int16_t CoarseGainRegister = 3;
inline constexpr int16_t FineGainRegister = 4;
inline constexpr int16_t OffsetRegister = 5;

struct RegisterItem {
    int16_t code;
    std::string_view text;
};
inline constexpr std::array<RegisterItem, 5> RegisterItems{{
    {FunctionRegister, "Function Register"},
    {DataRegister, "Data Register"},
    {CoarseGainRegister, "Coarse Gain Register"},
    {FineGainRegister, "Fine Gain Register"},
    {OffsetRegister, "Offset Register"},
}};

// ---- Channel address codes (ComboAddr) ----------------------------------------------------
inline constexpr int16_t DacA = 0;
inline constexpr int16_t DacB = 1;
inline constexpr int16_t DacC = 2;
inline constexpr int16_t DacD = 3;
inline constexpr int16_t AllDacs = 4;

struct AddressItem {
    int16_t code;
    std::string_view text;
};
inline constexpr std::array<AddressItem, 5> AddressItems{{
    {DacA, "DAC A"},
    {DacB, "DAC B"},
    {DacC, "DAC C"},
    {DacD, "DAC D"},
    {AllDacs, "ALL DACs"},
}};

// ---- Function register (register code 0) ----------------------------------------------------
// Sub-addresses in the address field.
inline constexpr int16_t FunctionNoOperation = 0; // data 0
inline constexpr int16_t FunctionControlWord = 1; // readable and writable, D5..D0 below
inline constexpr int16_t FunctionClear = 4;       // clear all channels, data 0
inline constexpr int16_t FunctionLoad = 5;        // load all channels, data 0

// Control word bits (address 1).
inline constexpr int32_t LocalGndOffsetMask = 0x20; // 1 = local ground offset adjust enabled
inline constexpr int32_t D1DirectionMask = 0x10;    // 1 = pin D1 is an output
inline constexpr int32_t D1LevelMask = 0x08;        // 1 = D1 high
inline constexpr int32_t D0DirectionMask = 0x04;    // 1 = pin D0 is an output
inline constexpr int32_t D0LevelMask = 0x02;        // 1 = D0 high
inline constexpr int32_t SdoDisableMask = 0x01;     // 1 = serial data output off
inline constexpr int32_t FunctionBitsMask = 0x3F;

// FunctionBits from the six 0/1 flags, 0 to 63; only bit 0 of each flag counts.
constexpr int32_t ComposeFunctionBits(int32_t localGndOffsetBit, int32_t d1DirectionBit,
                                      int32_t d1LevelBit, int32_t d0DirectionBit,
                                      int32_t d0LevelBit, int32_t sdoDisableBit) {
    return (localGndOffsetBit & 1) * 32 + (d1DirectionBit & 1) * 16 + (d1LevelBit & 1) * 8 +
           (d0DirectionBit & 1) * 4 + (d0LevelBit & 1) * 2 + (sdoDisableBit & 1);
}

// The ComboFunction item of one control bit, by the bit's state in the word read at load.
// Direction, local ground and SDO items name the change away from the present state; the
// level items name the present level.
struct FunctionBitItem {
    int32_t mask;
    std::string_view whenSet;
    std::string_view whenClear;
};
inline constexpr std::array<FunctionBitItem, 6> FunctionBitItems{{
    {LocalGndOffsetMask, "Local Ground Offset Adjust Disable", "Local Ground Offset Adjust Enable"},
    {D1DirectionMask, "Set D1 as Input", "Set D1 as Output"},
    {D1LevelMask, "Set D1", "Clear D1"},
    {D0DirectionMask, "Set D0 as Input", "Set D0 as Output"},
    {D0LevelMask, "Set D0", "Clear D0"},
    {SdoDisableMask, "Enable SDO Output", "Disable SDO Output"},
}};

inline constexpr std::string_view NoOperationItem = "No Operation";
inline constexpr std::string_view ClearAllItem = "CLEAR All DAC Channels";
inline constexpr std::string_view LoadAllItem = "LOAD All DAC Channels";

constexpr std::string_view FunctionItemText(const FunctionBitItem& item, int32_t functionBits) {
    return (functionBits & item.mask) != 0 ? item.whenSet : item.whenClear;
}

// The nine ComboFunction items in list order for a function word read at load.
constexpr std::array<std::string_view, 9> FunctionItems(int32_t functionBits) {
    std::array<std::string_view, 9> items{};
    items[0] = NoOperationItem;
    for (std::size_t i = 0; i < FunctionBitItems.size(); ++i)
        items[i + 1] = FunctionItemText(FunctionBitItems[i], functionBits);
    items[7] = ClearAllItem;
    items[8] = LoadAllItem;
    return items;
}

// ---- Coarse gain register (code 3) ------------------------------------------------------------
// D1..D0 hold the range code; code 3 has no item.
inline constexpr int32_t CoarseGainCodeMask = 0x3;

struct CoarseGainRange {
    int16_t code;
    float fullScaleVolts; // OutputRangeVolts of this range
    std::string_view text;
};
inline constexpr std::array<CoarseGainRange, 3> CoarseGainRanges{{
    {0, 10.0f, "Output Range = \u00B1 10 V"},
    {1, 10.2564f, "Output Range = \u00B1 10.2564 V"},
    {2, 10.5263f, "Output Range = \u00B1 10.5263 V"},
}};
static_assert(std::bit_cast<uint32_t>(CoarseGainRanges[0].fullScaleVolts) == 0x41200000);
static_assert(std::bit_cast<uint32_t>(CoarseGainRanges[1].fullScaleVolts) == 0x41241A37);
static_assert(std::bit_cast<uint32_t>(CoarseGainRanges[2].fullScaleVolts) == 0x41286BBA);

// ---- Register layouts -------------------------------------------------------------------------
// Data register (code 2): D15..D0 are the output code.
inline constexpr int32_t DataCodeMin = 0;
inline constexpr int32_t DataCodeMax = 65535;

// Fine gain register (code 4): 6-bit two's complement in D5..D0; the user value is the
// register value itself.
inline constexpr int FineGainBits = 6;
inline constexpr int32_t FineGainFieldMask = 0x3F;
inline constexpr int32_t FineGainMin = -32;
inline constexpr int32_t FineGainMax = 31;

// Offset register (code 5): 8-bit two's complement in D7..D0; the user value is an eighth.
inline constexpr int OffsetBits = 8;
inline constexpr int32_t OffsetFieldMask = 0xFF;
inline constexpr float OffsetMin = -16.0f;
inline constexpr float OffsetMax = 15.875f;
inline constexpr float OffsetStep = 0.125f;

// Function control word data entry limits.
inline constexpr int32_t FunctionDataMax = 63;

// The bits the register at (register code, address) holds: a value with a bit beyond them
// would land in bits the register does not have. The function register's commands hold
// none. Nothing when the pair selects no register (register codes 1, 6, 7, function
// sub-addresses 2, 3, 6, 7, channel addresses beyond All).
constexpr std::optional<int32_t> RegisterFieldMask(int32_t registerCode, int32_t address) {
    if (registerCode == FunctionRegister) {
        switch (address) {
        case FunctionControlWord:
            return FunctionBitsMask;
        case FunctionNoOperation:
        case FunctionClear:
        case FunctionLoad:
            return 0;
        default:
            return std::nullopt;
        }
    }
    if (address < DacA || address > AllDacs) return std::nullopt;
    switch (registerCode) {
    case DataRegister:
        return DataMask;
    case CoarseGainRegister:
        return CoarseGainCodeMask;
    case FineGainRegister:
        return FineGainFieldMask;
    case OffsetRegister:
        return OffsetFieldMask;
    default:
        return std::nullopt;
    }
}

} // namespace tq::device
