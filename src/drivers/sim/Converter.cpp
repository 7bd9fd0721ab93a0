#include "drivers/sim/Converter.h"

#include <cmath>
#include <numbers>

namespace tq::sim {

namespace {

int signExtend(unsigned value, unsigned bits) {
    const unsigned sign = 1u << (bits - 1);
    return static_cast<int>(value & (2 * sign - 1)) - static_cast<int>(value & sign) * 2;
}

} // namespace

Converter::Converter() {
    powerOn();
}

void Converter::powerOn() {
    ldac_ = clr_ = binary_ = rstin_ = true;
    driven_ = {};
    driveLevel_ = {};
    strayWrites_ = 0;
    lastStrayWord_ = 0;
    resetRegisters();
}

void Converter::resetRegisters() {
    sdoNext_ = 0;
    function_ = 0;
    for (auto& c : channels_) {
        c = ChannelRegisters{};
        c.input = c.dac = zeroVoltCode(binary_);
    }
}

uint32_t Converter::frame(uint32_t word) {
    word &= 0xFFFFFF;
    const bool read = (word & 0x800000) != 0;
    const auto reg = static_cast<uint8_t>(word >> 19 & 0x7);
    const auto addr = static_cast<uint8_t>(word >> 16 & 0x7);
    const auto data = static_cast<uint16_t>(word & 0xFFFF);
    // The real part drops such bits silently; the model tells, so a test can see them.
    if (!read && (data & ~fieldMask(reg, addr)) != 0) {
        ++strayWrites_;
        lastStrayWord_ = word;
    }

    if (!rstin_) return kFloatingSdoWord;
    const uint32_t out = (function_ & kFnSdoDisable) ? kFloatingSdoWord : sdoNext_;
    if (read) {
        sdoNext_ = (word & 0xFF0000) | registerValue(reg, addr);
    } else {
        write(reg, addr, data);
        sdoNext_ = word;
    }
    return out;
}

uint16_t Converter::functionReadback() const {
    uint16_t w = function_;
    const auto pinLevel = [this](int pin) { return driven_[pin] && driveLevel_[pin]; };
    if (!(w & kFnD0Output))
        w = static_cast<uint16_t>((w & ~kFnD0Level) | (pinLevel(0) ? kFnD0Level : 0));
    if (!(w & kFnD1Output))
        w = static_cast<uint16_t>((w & ~kFnD1Level) | (pinLevel(1) ? kFnD1Level : 0));
    return w;
}

uint16_t Converter::fieldMask(uint8_t reg, uint8_t addr) {
    // Nothing selected: no bit is out of place.
    return static_cast<uint16_t>(device::RegisterFieldMask(reg, addr).value_or(0xFFFF));
}

uint16_t Converter::registerValue(uint8_t reg, uint8_t addr) const {
    if (reg == kRegFunction) return addr == kFuncControl ? functionReadback() : 0;
    // "ALL DACs" and the unused addresses have nothing to read back.
    if (addr >= kChannels) return 0;
    const auto& c = channels_[addr];
    switch (reg) {
    case kRegData:
        return c.input;
    case kRegCoarseGain:
        return c.coarse;
    case kRegFineGain:
        return c.fine;
    case kRegOffset:
        return c.offset;
    default:
        return 0;
    }
}

void Converter::write(uint8_t reg, uint8_t addr, uint16_t data) {
    if (reg == kRegFunction) {
        switch (addr) {
        case kFuncControl:
            function_ = data & device::FunctionBitsMask;
            break;
        case kFuncClear:
            clearAll();
            break;
        case kFuncLoad:
            loadAll();
            break;
        default:
            break; // no operation
        }
        return;
    }
    if (addr > kAddrAllDacs) return;
    const int first = addr == kAddrAllDacs ? 0 : addr;
    const int last = addr == kAddrAllDacs ? kChannels - 1 : addr;
    for (int ch = first; ch <= last; ++ch) {
        auto& c = channels_[ch];
        switch (reg) {
        case kRegData:
            c.input = data;
            if (!ldac_ && clr_) c.dac = data;
            break;
        case kRegCoarseGain:
            c.coarse = data & device::CoarseGainCodeMask;
            break;
        case kRegFineGain:
            c.fine = data & device::FineGainFieldMask;
            break;
        case kRegOffset:
            c.offset = data & device::OffsetFieldMask;
            break;
        default:
            break; // codes 1, 6 and 7 select nothing
        }
    }
}

void Converter::loadAll() {
    if (!clr_) return; // held at the clear code
    for (auto& c : channels_)
        c.dac = c.input;
}

void Converter::clearAll() {
    for (auto& c : channels_)
        c.dac = zeroVoltCode(binary_);
}

void Converter::pulseLdac() {
    if (rstin_) loadAll();
}

void Converter::setLines(bool ldac, bool clr, bool binary, bool rstin) {
    binary_ = binary;
    rstin_ = rstin;
    if (!rstin) {
        ldac_ = ldac;
        clr_ = clr;
        resetRegisters();
        return;
    }
    const bool clrFalls = clr_ && !clr;
    clr_ = clr;
    if (clrFalls) clearAll();
    const bool ldacFalls = ldac_ && !ldac;
    ldac_ = ldac;
    if (ldacFalls) loadAll();
}

void Converter::setBoardDrive(int pin, bool driven) {
    driven_.at(pin) = driven;
}

void Converter::setBoardDriveLevels(bool d0High, bool d1High) {
    driveLevel_ = {d0High, d1High};
}

float Converter::fullScale(uint8_t coarse) {
    for (const auto& range : device::CoarseGainRanges)
        if (range.code == (coarse & device::CoarseGainCodeMask)) return range.fullScaleVolts;
    return device::CoarseGainRanges[0].fullScaleVolts; // code 3 acts as the 10 V range
}

double Converter::outputVolts(int ch) const {
    const auto& c = channels_.at(ch);
    const auto& err = kChannelErrors.at(ch);
    const double fs = fullScale(c.coarse);
    const double lsb = 2.0 * fs / 65536.0;
    const auto p = static_cast<uint16_t>(binary_ ? c.dac : c.dac ^ 0x8000);
    const int n = static_cast<int>(p) - 32768;
    const double gain =
        1.0 + (signExtend(c.fine, device::FineGainBits) + err.gainFineSteps) / 65536.0;
    const double offset = signExtend(c.offset, device::OffsetBits) / 8.0 + err.offsetLsb;
    return lsb * ((n + nonlinearityLsb(ch, p)) * gain + offset);
}

double Converter::nonlinearityLsb(int ch, uint16_t p) {
    const auto& nl = kChannelNonlinearity.at(ch);
    const double s = std::sin(std::numbers::pi * (static_cast<int>(p) - 32768) / 32768.0);
    const unsigned j = p & 0x7FFFu;
    const unsigned i = p & 0x3FFFu;
    const double carry = p >= 0x8000 ? nl.carryC000Lsb : nl.carry4000Lsb;
    return nl.twistLsb * s + nl.bowLsb * s * s + carry * ((j >= 0x4000 ? 1 : 0) - j / 32768.0) +
           nl.carry2000Lsb * ((i >= 0x2000 ? 1 : 0) - i / 16384.0);
}

double Converter::endPointInlLsb(int ch, uint16_t p) {
    // The output is proportional to p + nl(p) plus a constant, so the end-point line and the
    // average step follow from nl at both ends alone.
    const double first = nonlinearityLsb(ch, 0);
    const double span = 65535.0 + nonlinearityLsb(ch, 0xFFFF) - first;
    return (p + nonlinearityLsb(ch, p) - first) * 65535.0 / span - p;
}

double Converter::dnlLsb(int ch, uint16_t p) {
    if (p == 0) return 0;
    return endPointInlLsb(ch, p) - endPointInlLsb(ch, static_cast<uint16_t>(p - 1));
}

} // namespace tq::sim
