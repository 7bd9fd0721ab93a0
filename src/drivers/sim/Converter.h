#pragma once
// Behavioural model of the four-channel 16-bit converter behind the board's serial link:
// the 24-bit input word, readback in the following frame, the register file, the function
// register and its commands, the LDAC, CLR, BIN/2sCOMP and RSTIN pins, the D0/D1 pins and
// each channel's output voltage. Plain C++, no I/O, deterministic.

#include "device/RegisterMap.h"

#include <array>
#include <cstdint>

namespace tq::sim {

inline constexpr int kChannels = 4;

// Register select codes, sub-addresses and function-register bits: the device model's.
inline constexpr uint8_t kRegFunction = device::FunctionRegister;
inline constexpr uint8_t kRegData = device::DataRegister;
inline constexpr uint8_t kRegCoarseGain = device::CoarseGainRegister;
inline constexpr uint8_t kRegFineGain = device::FineGainRegister;
inline constexpr uint8_t kRegOffset = device::OffsetRegister;
inline constexpr uint8_t kAddrAllDacs = device::AllDacs;
inline constexpr uint8_t kFuncNop = device::FunctionNoOperation;
inline constexpr uint8_t kFuncControl = device::FunctionControlWord;
inline constexpr uint8_t kFuncClear = device::FunctionClear;
inline constexpr uint8_t kFuncLoad = device::FunctionLoad;

inline constexpr uint16_t kFnSdoDisable = device::SdoDisableMask;
inline constexpr uint16_t kFnD0Level = device::D0LevelMask;
inline constexpr uint16_t kFnD0Output = device::D0DirectionMask;
inline constexpr uint16_t kFnD1Level = device::D1LevelMask;
inline constexpr uint16_t kFnD1Output = device::D1DirectionMask;
inline constexpr uint16_t kFnLocalGndOffset = device::LocalGndOffsetMask;

// What SDO gives while switched off: the board's pull-up makes every bit read 1.
inline constexpr uint32_t kFloatingSdoWord = 0xFFFFFF;

// A fixed, deterministic imperfection of one channel's output stage, so that a calibration
// has something to correct.
struct ChannelError {
    double offsetLsb = 0;     // added to the output, in LSB of the selected range
    double gainFineSteps = 0; // acts like this many extra fine-gain codes
};

// The errors of channels A to D: a few LSB each, both signs, all different.
inline constexpr std::array<ChannelError, kChannels> kChannelErrors{{
    {+3.4, -6.0},
    {-2.7, +4.5},
    {+1.6, +9.25},
    {-4.1, -3.5},
}};

// A fixed, deterministic non-linearity of one channel's converter core, in LSB, as a function
// of the code's position p (0 = zero scale, 0x8000 = 0 V, 0xFFFF = full scale; the binary
// code itself, or a two's complement code with bit 15 flipped). With x = (p - 0x8000) / 0x8000,
// j = p mod 0x8000 and i = p mod 0x4000:
//   nl(p) = twist sin(pi x) + bow sin^2(pi x)
//         + carry (j >= 0x4000 ? 1 : 0) - carry j / 0x8000              [lower or upper half]
//         + carry2000 (i >= 0x2000 ? 1 : 0) - carry2000 i / 0x4000
// where carry is carry4000 below 0x8000 and carryC000 above. The smooth terms bow the
// transfer by up to about one LSB; each sawtooth term is a code-weight error that steps the
// output by its size at the carry (0x4000 or 0xC000, and 0x2000, 0x6000, 0xA000, 0xE000) and
// is paid back evenly over its span. Every term is zero at 0x0000 and 0x8000, so calibrating
// at the 0 V code and zero scale sees only the offset and gain errors.
struct ChannelNonlinearity {
    double twistLsb = 0;
    double bowLsb = 0;
    double carry4000Lsb = 0;
    double carryC000Lsb = 0;
    double carry2000Lsb = 0;
};

// Channels A to D: end-point INL peaks of 0.97 to 1.18 LSB, DNL of 0.08 to 0.35 LSB at the
// carries, no two channels alike.
inline constexpr std::array<ChannelNonlinearity, kChannels> kChannelNonlinearity{{
    {+0.55, +0.30, +0.30, -0.25, +0.10},
    {-0.45, +0.55, -0.35, +0.20, -0.08},
    {+0.30, -0.65, +0.20, +0.35, +0.12},
    {-0.70, -0.25, -0.25, -0.30, -0.10},
}};

struct ChannelRegisters {
    uint16_t input = 0; // data (input) register
    uint16_t dac = 0;   // DAC register, what the output shows
    uint8_t coarse = 0; // 2 bits: range code
    uint8_t fine = 0;   // 6-bit two's complement
    uint8_t offset = 0; // 8-bit two's complement, 1/8 LSB per code
};

class Converter {
public:
    Converter();

    // Power-on state: all lines high (binary coding), every data and DAC register at the
    // 0 V code, gains and offsets 0, function register 0, pins not driven by the board.
    void powerOn();

    // One 24-bit frame: the word goes in (bit 23 first) while the previous frame's answer
    // comes out on SDO; returns those 24 bits. After a read frame the answer is the read's
    // command byte and the addressed register; after any other frame it is the word itself
    // (the shift register passes it through). While SDO is off the line floats high
    // (kFloatingSdoWord). While RSTIN is low the converter ignores the frame.
    uint32_t frame(uint32_t word);

    // Control lines, true = high. LDAC falling copies every input register to its DAC
    // register, and while it is low each data write goes straight through. CLR falling sets
    // every DAC register to the 0 V code and holds them there while low. RSTIN low resets the
    // registers to their power-on values and holds them so. binary false = two's complement.
    void setLines(bool ldac, bool clr, bool binary, bool rstin);
    // LDAC pulse: every DAC register takes its input register.
    void pulseLdac();

    // The board's side of pins D0 and D1: whether it drives the pin, and at which level.
    void setBoardDrive(int pin, bool driven);
    void setBoardDriveLevels(bool d0High, bool d1High);

    // Write words whose data had bits outside the addressed register's field (the
    // converter ignores those bits), counted since power-on, and the last such word. The
    // data register, and codes and addresses that select nothing, have no such bits.
    uint32_t strayWrites() const { return strayWrites_; }
    uint32_t lastStrayWord() const { return lastStrayWord_; }
    // The data bits a write to reg at addr can use.
    static uint16_t fieldMask(uint8_t reg, uint8_t addr);

    const ChannelRegisters& channel(int ch) const { return channels_.at(ch); }
    uint16_t functionWord() const { return function_; }
    // The function word as a read shows it: the level bit of a pin that is an input of
    // the converter gives the pin's level (board-driven level, else the pull-down's 0).
    uint16_t functionReadback() const;
    bool ldac() const { return ldac_; }
    bool clr() const { return clr_; }
    bool binary() const { return binary_; }
    bool rstin() const { return rstin_; }
    bool boardDrives(int pin) const { return driven_.at(pin); }
    bool boardDriveLevel(int pin) const { return driveLevel_.at(pin); }

    // Full scale of a range code: 10, 10.2564 or 10.5263 V as 32-bit floats (code 3 as 0).
    static float fullScale(uint8_t coarse);
    // The 0 V code under a coding: 0x8000 binary, 0x0000 two's complement.
    static uint16_t zeroVoltCode(bool binary) { return binary ? 0x8000 : 0x0000; }
    // Output of channel ch in volts: DAC code under the present coding and range, scaled by
    // (1 + fine gain / 2^16) (one step moves zero scale by half an LSB), plus offset / 8 LSB,
    // plus the channel's fixed errors; the non-linearity adds to the code before the gain.
    double outputVolts(int ch) const;

    // The non-linearity channel ch adds at code position p, in LSB (kChannelNonlinearity).
    static double nonlinearityLsb(int ch, uint16_t p);
    // What a noiseless sweep of channel ch finds, in LSB of its average step, at position p:
    // end-point INL (deviation from the line through positions 0 and 0xFFFF) and DNL (step
    // from p - 1 to p, less one average step; 0 at p = 0). Offset, gain and trims cancel out.
    static double endPointInlLsb(int ch, uint16_t p);
    static double dnlLsb(int ch, uint16_t p);

private:
    void resetRegisters();
    uint16_t registerValue(uint8_t reg, uint8_t addr) const;
    void write(uint8_t reg, uint8_t addr, uint16_t data);
    void loadAll();
    void clearAll();

    std::array<ChannelRegisters, kChannels> channels_{};
    uint16_t function_ = 0;
    uint32_t sdoNext_ = 0; // what the next frame shifts out
    bool ldac_ = true;
    bool clr_ = true;
    bool binary_ = true;
    bool rstin_ = true;
    std::array<bool, 2> driven_{};
    std::array<bool, 2> driveLevel_{};
    uint32_t strayWrites_ = 0;
    uint32_t lastStrayWord_ = 0;
};

} // namespace tq::sim
