#include "board/RegisterShadow.h"

#include "device/RegisterMap.h"

namespace tq::board {

namespace {

constexpr uint8_t kToBoard = 0;
constexpr int32_t kLdac = kLineLdac;
constexpr int32_t kClr = kLineClr;
constexpr int32_t kBinary = kLineBinary;
constexpr int32_t kRstin = kLineRstin;
// The control-line word the firmware starts with: every line high.
constexpr int32_t kStartLines = 0x9F;
// What the data registers hold after power-up: the 0 V code of binary coding (every line
// is high then).
constexpr uint16_t kPowerOnCode = 0x8000;

bool high(const std::optional<RegisterShadow::ControlLines>& lines, int32_t mask) {
    return ((lines ? lines->value : kStartLines) & mask) != 0;
}

// The 0 V code a clear or reset puts in the DAC registers under the present coding.
uint16_t zeroVoltCode(const RegisterShadow::State& s) {
    return high(s.lines, kBinary) ? 0x8000 : 0x0000;
}

void loadAll(RegisterShadow::State& s) {
    if (!high(s.lines, kClr)) return; // held at the clear code
    for (auto& c : s.channels)
        c.dac = c.input;
}

void powerOnRegisters(RegisterShadow::State& s) {
    const uint16_t zero = zeroVoltCode(s);
    for (auto& c : s.channels)
        c = {.input = zero, .dac = zero, .coarse = 0, .fine = 0, .offset = 0};
    s.function = 0;
}

void writeWord(RegisterShadow::State& s, int command, uint16_t data) {
    const int reg = command >> 3 & 0x7;
    const int address = command & 0x7;
    if (reg == device::FunctionRegister) {
        if (address == device::FunctionControlWord) s.function = data;
        if (address == device::FunctionClear)
            for (auto& c : s.channels)
                c.dac = zeroVoltCode(s);
        if (address == device::FunctionLoad) loadAll(s);
        return;
    }
    if (address > device::AllDacs) return;
    const int first = address == device::AllDacs ? 0 : address;
    const int last = address == device::AllDacs ? 3 : address;
    for (int ch = first; ch <= last; ++ch) {
        auto& c = s.channels[static_cast<std::size_t>(ch)];
        switch (reg) {
        case device::DataRegister:
            c.input = data;
            if (!high(s.lines, kLdac) && high(s.lines, kClr)) c.dac = data;
            break;
        case device::CoarseGainRegister:
            c.coarse = data;
            break;
        case device::FineGainRegister:
            c.fine = data;
            break;
        case device::OffsetRegister:
            c.offset = data;
            break;
        default:
            break;
        }
    }
}

void setLines(RegisterShadow::State& s, int32_t value, int32_t index) {
    const bool wasClr = high(s.lines, kClr);
    const bool wasLdac = high(s.lines, kLdac);
    s.lines = RegisterShadow::ControlLines{value, index};
    if (!high(s.lines, kRstin)) {
        powerOnRegisters(s); // held in reset
        return;
    }
    if (wasClr && !high(s.lines, kClr))
        for (auto& c : s.channels)
            c.dac = zeroVoltCode(s);
    if (wasLdac && !high(s.lines, kLdac)) loadAll(s);
}

bool send(BoardLink& d, uint8_t request, int32_t value, int32_t index) {
    return d.Send(request, value, index, kToBoard).succeeded();
}

bool write(BoardLink& d, int reg, int address, uint16_t data) {
    return send(d, kShiftWord, device::CommandByte(0, reg, address), data);
}

} // namespace

RegisterShadow::RegisterShadow() : state_(std::make_shared<State>()) {}

void RegisterShadow::follow(BoardLink& declare) {
    declare.addObserver([weak = std::weak_ptr<State>(state_)](const Transfer& t) {
        if (const auto s = weak.lock()) apply(*s, t);
    });
}

void RegisterShadow::observe(const Transfer& t) {
    apply(*state_, t);
}

void RegisterShadow::apply(State& s, const Transfer& t) {
    const bool commandFits = t.value >= 0 && t.value <= 0xFF;
    switch (t.request) {
    case kWriteAndPulse:
    case kShiftWord:
        if (!commandFits) return;
        if (t.direction == kToBoard && (t.value & 0x80) == 0) {
            // While RSTIN is low the converter ignores every frame.
            if (!high(s.lines, kRstin)) return;
            writeWord(s, t.value, static_cast<uint16_t>(t.index));
            if (t.request == kWriteAndPulse) loadAll(s);
        } else if (t.value == device::CommandByte(1, 0, 1)) {
            // The function register read back.
            if (const auto answer = t.readAnswer()) s.function = static_cast<uint16_t>(*answer);
        }
        return;
    case kControlLines:
        if (t.direction == kToBoard) setLines(s, t.value, t.index);
        return;
    case kDriveD0:
    case kDriveD1:
        s.drive[t.request == kDriveD0 ? 0 : 1] = t.value;
        return;
    default:
        return;
    }
}

bool Restore(BoardLink& d, const RegisterShadow::State& wanted) {
    // A copy: the shadow follows these very transfers.
    const RegisterShadow::State s = wanted;
    const int32_t lines = s.lines ? s.lines->value : kStartLines;
    const int32_t drives = s.lines ? s.lines->index : 0;
    // Registers take writes only with RSTIN high; LDAC and CLR high keep the outputs still
    // until the values are loaded together.
    if (!send(d, kControlLines, lines | kLdac | kClr | kRstin, drives)) return false;
    if (s.function && !write(d, device::FunctionRegister, device::FunctionControlWord, *s.function))
        return false;

    bool anyDac = false;
    for (int ch = 0; ch < 4; ++ch) {
        const auto& c = s.channels[static_cast<std::size_t>(ch)];
        for (const auto& [reg, value] : {std::pair{device::CoarseGainRegister, c.coarse},
                                         std::pair{device::FineGainRegister, c.fine},
                                         std::pair{device::OffsetRegister, c.offset}}) {
            if (value && !write(d, reg, ch, *value)) return false;
        }
        if (c.dac) {
            if (!write(d, device::DataRegister, ch, *c.dac)) return false;
            anyDac = true;
        }
    }
    if (anyDac && !write(d, device::FunctionRegister, device::FunctionLoad, 0)) return false;
    for (int ch = 0; ch < 4; ++ch) {
        const auto& c = s.channels[static_cast<std::size_t>(ch)];
        // A DAC register known only from a clear went in through an input register the
        // program never wrote: that one goes back to where the board powered up.
        const std::optional<uint16_t> input = c.input ? c.input : c.dac ? kPowerOnCode : c.input;
        if (input && input != c.dac && !write(d, device::DataRegister, ch, *input)) return false;
    }

    for (std::size_t pin = 0; pin < s.drive.size(); ++pin) {
        if (s.drive[pin] &&
            !d.Send(pin == 0 ? kDriveD0 : kDriveD1, *s.drive[pin], 0, 1).succeeded())
            return false;
    }
    if (s.lines && !send(d, kControlLines, s.lines->value, s.lines->index)) return false;
    return true;
}

} // namespace tq::board
