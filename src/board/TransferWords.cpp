#include "board/TransferWords.h"

#include "device/RegisterMap.h"

#include <algorithm>
#include <array>

namespace tq::board {

namespace {

constexpr uint8_t kFromBoard = 1;

// "0x" and `digits` upper-case hex digits (more when the number needs them).
QString hex(uint32_t v, int digits) {
    return QStringLiteral("0x") + QString::number(v, 16).toUpper().rightJustified(digits, u'0');
}

QString hex4(int32_t v) {
    return hex(static_cast<uint32_t>(v) & 0xFFFF, 4);
}

QString hex2(int32_t v) {
    return hex(static_cast<uint32_t>(v) & 0xFF, 2);
}

QString registerName(int reg) {
    switch (reg) {
    case device::DataRegister:
        return QStringLiteral("data register");
    case device::CoarseGainRegister:
        return QStringLiteral("coarse gain register");
    case device::FineGainRegister:
        return QStringLiteral("fine gain register");
    case device::OffsetRegister:
        return QStringLiteral("offset register");
    default:
        return QStringLiteral("register %1").arg(reg);
    }
}

QString target(int address) {
    if (address >= device::DacA && address <= device::DacD)
        return QStringLiteral("DAC ") + QChar(u'A' + address);
    if (address == device::AllDacs) return QStringLiteral("all DACs");
    return QStringLiteral("address %1").arg(address);
}

// The register a command byte selects: "function register", "DAC B offset register".
QString selected(int reg, int address) {
    if (reg == device::FunctionRegister)
        return address == device::FunctionControlWord
                   ? QStringLiteral("function register")
                   : QStringLiteral("function register address %1").arg(address);
    return target(address) + QLatin1Char(' ') + registerName(reg);
}

QString writeWords(int command, int32_t data) {
    const int reg = command >> 3 & 0x7;
    const int address = command & 0x7;
    if (reg == device::FunctionRegister) {
        switch (address) {
        case device::FunctionNoOperation:
            return QStringLiteral("no operation");
        case device::FunctionClear:
            return QStringLiteral("clear all DAC channels");
        case device::FunctionLoad:
            return QStringLiteral("load all DAC channels");
        default:
            break;
        }
    }
    return QStringLiteral("write ") + selected(reg, address) + QLatin1Char(' ') + hex4(data);
}

QString readWords(const Transfer& t) {
    const int command = t.value & 0xFF;
    QString text = QStringLiteral("read ") + selected(command >> 3 & 0x7, command & 0x7);
    if (const auto answer = t.readAnswer()) text += QStringLiteral(": ") + hex4(*answer);
    return text;
}

QString level(int32_t bits, int32_t mask) {
    return (bits & mask) != 0 ? QStringLiteral("high") : QStringLiteral("low");
}

QString controlLineWords(int32_t value, int32_t index) {
    return QStringLiteral("control lines LDAC %1, CLR %2, %3, RSTIN %4, drive D1 %5, D0 %6")
        .arg(level(value, kLineLdac), level(value, kLineClr),
             (value & kLineBinary) != 0 ? QStringLiteral("binary")
                                        : QStringLiteral("2s complement"),
             level(value, kLineRstin), level(index, kIndexDriveD1), level(index, kIndexDriveD0));
}

} // namespace

TransferKind KindOf(const Transfer& t) {
    const bool in = t.direction == kFromBoard;
    switch (t.request) {
    case kWriteAndPulse:
        return TransferKind::RegisterWrite;
    case kShiftWord:
        return in ? TransferKind::RegisterRead : TransferKind::RegisterWrite;
    case kControlLines:
        return TransferKind::ControlLines;
    case kReadAdc:
        return TransferKind::WordRead;
    case kDriveD0:
    case kDriveD1:
        return TransferKind::PinDrive;
    default:
        return TransferKind::Other;
    }
}

QString TransferWords(const Transfer& t) {
    const bool in = t.direction == kFromBoard;
    const bool commandFits = t.value >= 0 && t.value <= 0xFF;
    switch (t.request) {
    case kWriteAndPulse:
        if (!in && commandFits && (t.value & 0x80) == 0)
            return writeWords(t.value, t.index) + QStringLiteral(", pulse LDAC");
        break;
    case kShiftWord:
        if (!commandFits) break;
        if (in && (t.value & 0x80) != 0) return readWords(t);
        if (!in && (t.value & 0x80) == 0) return writeWords(t.value, t.index);
        break;
    case kReadAdc:
        if (!in) break;
        if (t.succeeded() && t.length >= 2)
            return QStringLiteral("read 2-byte word: ") +
                   hex4(BoardLink::ReverseBits(t.received[0]) << 8 |
                        BoardLink::ReverseBits(t.received[1]));
        return QStringLiteral("read 2-byte word");
    case kDriveD0:
    case kDriveD1: {
        const QString pin = t.request == kDriveD0 ? QStringLiteral("D0") : QStringLiteral("D1");
        if (t.value == 0) return pin + QStringLiteral(" pin left to the converter");
        if (t.value == 1) return QStringLiteral("board drives the ") + pin + QStringLiteral(" pin");
        break;
    }
    case kControlLines:
        if (!in) return controlLineWords(t.value, t.index);
        break;
    default:
        break;
    }
    return QStringLiteral("request ") + hex2(t.request);
}

QString TransferRaw(const Transfer& t) {
    QString text =
        QStringLiteral("%1 value %2 index %3 %4 length %5")
            .arg(hex2(t.request), hex(static_cast<uint32_t>(t.value), 4),
                 hex(static_cast<uint32_t>(t.index), 4),
                 t.direction == kFromBoard ? QStringLiteral("in") : QStringLiteral("out"))
            .arg(t.length);
    // A failed read received nothing: its buffer holds whatever was there before.
    if (t.direction == kFromBoard && t.length > 0 && t.succeeded()) {
        text += QStringLiteral(":");
        const auto shown =
            std::min<std::size_t>(static_cast<std::size_t>(t.length), t.received.size());
        for (std::size_t i = 0; i < shown; ++i)
            text += QLatin1Char(' ') +
                    QString::number(t.received[i], 16).toUpper().rightJustified(2, u'0');
    }
    return text;
}

QString TransferStatusWords(const Transfer& t) {
    return t.succeeded() ? QStringLiteral("done")
                         : QStringLiteral("failed (status %1)").arg(t.status);
}

QString DescribeInWords(const Transfer& t) {
    return QStringLiteral("%1 [%2, %3]")
        .arg(TransferWords(t), TransferRaw(t), TransferStatusWords(t));
}

} // namespace tq::board
