#include "board/BoardLink.h"

#include "device/RegisterMap.h"

#include <algorithm>

namespace tq::board {

namespace {

constexpr uint8_t kToBoard = 0;
constexpr uint8_t kFromBoard = 1;

} // namespace

QString Describe(const Transfer& t) {
    QString text = QString::asprintf("request 0x%02X value 0x%X index 0x%X direction %d length %d",
                                     t.request, static_cast<unsigned>(t.value),
                                     static_cast<unsigned>(t.index), t.direction, t.length);
    if (t.direction == kFromBoard && t.length > 0) {
        text += QStringLiteral(" bytes");
        const auto shown =
            std::min<std::size_t>(static_cast<std::size_t>(t.length), t.received.size());
        for (std::size_t i = 0; i < shown; ++i)
            text += QString::asprintf(" %02X", t.received[i]);
    }
    return text + QString::asprintf(" status %d", t.status);
}

std::optional<int32_t> Transfer::readAnswer() const {
    if (!succeeded() || direction != kFromBoard || length < 3 ||
        BoardLink::ReverseBits(received[0]) != (value & 0xFF))
        return std::nullopt;
    return BoardLink::ReverseBits(received[1]) << 8 | BoardLink::ReverseBits(received[2]);
}

BoardLink::BoardLink(SharedState& state, DriverApi& driver, Backend backend)
    : state_(state), driver_(driver), backend_(backend) {}

uint8_t BoardLink::ReverseBits(uint8_t b) {
    uint8_t r = 0;
    for (int i = 0; i < 8; ++i)
        if (b & (1u << i)) r |= static_cast<uint8_t>(0x80u >> i);
    return r;
}

int16_t BoardLink::CommandByte(int16_t readWrite, int16_t reg, int16_t address) {
    return device::CommandByte(readWrite, reg, address);
}

int32_t BoardLink::ControlLineValue(const SharedState& s) {
    return (s.CtrlBit7 & 1) * 128 + (s.CtrlBit6 & 1) * 64 + (s.CtrlBit5 & 1) * 32 +
           (s.LdacLine & 1) * kLineLdac + (s.ClrLine & 1) * kLineClr +
           (s.BinTwosCompLine & 1) * kLineBinary + (s.RstinLine & 1) * kLineRstin +
           (s.CtrlBit0 & 1);
}

int32_t BoardLink::ControlLineIndex(const SharedState& s) {
    return (s.DriveD1Line & 1) * 2 + (s.DriveD0Line & 1);
}

void BoardLink::WriteRegister(int16_t address, int16_t reg, int32_t data) {
    state_.ReadWriteBit = 0;
    const uint8_t code = (reg != 0 && state_.Check1Value != 0) ? kWriteAndPulse : kShiftWord;
    uint8_t empty = 0;
    request(code, CommandByte(0, reg, address), data & 0xFFFF, kToBoard, 0, &empty);
}

int32_t BoardLink::ReadRegister(int16_t address, int16_t reg) {
    state_.ReadWriteBit = 1;
    const int16_t command = CommandByte(1, reg, address);
    // The converter answers a read word in the frame that follows it, so the same read is
    // sent twice and only the second answer counts.
    request(kShiftWord, command, 0, kFromBoard, 3, state_.ReadBuffer.data());
    request(kShiftWord, command, 0, kFromBoard, 3, state_.ReadBuffer.data());
    const auto& rb = state_.ReadBuffer;
    const int32_t word = ReverseBits(rb[0]) * 65536 + ReverseBits(rb[1]) * 256 + ReverseBits(rb[2]);
    state_.ReadbackValue = word & 0xFFFF;
    return state_.ReadbackValue;
}

void BoardLink::WriteControlLines() {
    uint8_t empty = 0;
    request(kControlLines, ControlLineValue(state_), ControlLineIndex(state_), kToBoard, 0, &empty);
}

int16_t BoardLink::ReadAdcWord() {
    request(kReadAdc, 0, 0, kFromBoard, 2, state_.ReadBuffer.data());
    const auto& rb = state_.ReadBuffer;
    // The board sends a two's-complement word: wrap to int16_t rather than overflow.
    return static_cast<int16_t>(
        static_cast<uint16_t>((ReverseBits(rb[0]) << 8) | ReverseBits(rb[1])));
}

void BoardLink::DriveRequest(uint8_t code, int32_t value) {
    uint8_t empty = 0;
    request(code, value, 0, kFromBoard, 0, &empty);
}

Transfer BoardLink::Send(uint8_t code, int32_t value, int32_t index, uint8_t direction) {
    uint8_t empty = 0;
    return request(code, value, index, direction, 0, &empty);
}

int BoardLink::addObserver(std::function<void(const Transfer&)> observer) {
    observers_.emplace_back(++nextObserverId_, std::move(observer));
    return nextObserverId_;
}

void BoardLink::removeObserver(int id) {
    std::erase_if(observers_, [id](const auto& entry) { return entry.first == id; });
}

Transfer BoardLink::request(uint8_t code, int32_t value, int32_t index, uint8_t direction,
                          int32_t length, uint8_t* buffer) {
    Transfer t{
        .request = code, .value = value, .index = index, .direction = direction, .length = length};
    if (backend_ == Backend::Newer)
        t.status = driver_.Vendor_Request(state_.BoardHandle, code, value, index, direction, length,
                                          buffer);
    else
        t.status = driver_.VendorIORequest(code, value, index, direction,
                                           static_cast<int16_t>(length), buffer);
    state_.DriverStatus = t.status;
    if (direction == kFromBoard) {
        const auto n =
            std::min<std::size_t>(static_cast<std::size_t>(std::max(length, 0)), t.received.size());
        std::copy_n(buffer, n, t.received.begin());
    }
    qCDebug(log_).noquote() << Describe(t);
    // By index: an observer may add another while it runs.
    for (std::size_t i = 0; i < observers_.size(); ++i)
        observers_[i].second(t);
    return t;
}

} // namespace tq::board
