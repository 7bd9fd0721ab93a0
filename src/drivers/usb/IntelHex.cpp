#include "IntelHex.h"

#include <algorithm>
#include <charconv>
#include <map>
#include <optional>
#include <span>

namespace tq::usb {
namespace {

std::optional<uint8_t> hexByte(std::string_view s) {
    uint8_t value = 0;
    auto [end, ec] = std::from_chars(s.data(), s.data() + 2, value, 16);
    if (ec != std::errc{} || end != s.data() + 2) return std::nullopt;
    return value;
}

} // namespace

std::variant<std::vector<HexChunk>, HexError> parseIntelHex(std::string_view text,
                                                            std::size_t maxChunk) {
    // Address -> byte; a map keeps the bytes sorted and makes overlaps visible.
    std::map<uint32_t, uint8_t> bytes;
    uint32_t base = 0;
    bool ended = false;
    std::size_t lineNo = 0;

    while (!text.empty() && !ended) {
        ++lineNo;
        const auto eol = text.find('\n');
        std::string_view line = text.substr(0, eol);
        text = eol == std::string_view::npos ? std::string_view{} : text.substr(eol + 1);
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t'))
            line.remove_suffix(1);
        if (line.empty()) continue;
        if (line.front() != ':') return HexError{lineNo, "record does not start with ':'"};
        line.remove_prefix(1);
        if (line.size() < 10 || line.size() % 2 != 0)
            return HexError{lineNo, "record has a bad length"};

        std::vector<uint8_t> record;
        record.reserve(line.size() / 2);
        for (std::size_t i = 0; i < line.size(); i += 2) {
            const auto b = hexByte(line.substr(i, 2));
            if (!b) return HexError{lineNo, "record holds a character that is not hex"};
            record.push_back(*b);
        }
        const std::size_t count = record[0];
        if (record.size() != count + 5)
            return HexError{lineNo, "byte count does not match the record"};
        uint8_t sum = 0;
        for (uint8_t b : record)
            sum = static_cast<uint8_t>(sum + b);
        if (sum != 0) return HexError{lineNo, "checksum mismatch"};

        const uint32_t offset = (uint32_t{record[1]} << 8) | record[2];
        const uint8_t type = record[3];
        const auto payload = std::span(record).subspan(4, count);
        switch (type) {
        case 0x00:
            for (std::size_t i = 0; i < count; ++i) {
                // Offsets wrap within the 64 KiB window of the current base.
                const uint32_t address = base + ((offset + i) & 0xFFFF);
                if (!bytes.emplace(address, payload[i]).second)
                    return HexError{lineNo, "data overlaps an earlier record"};
            }
            break;
        case 0x01:
            ended = true;
            break;
        case 0x02:
            if (count != 2) return HexError{lineNo, "extended segment address needs 2 bytes"};
            base = ((uint32_t{payload[0]} << 8) | payload[1]) << 4;
            break;
        case 0x04:
            if (count != 2) return HexError{lineNo, "extended linear address needs 2 bytes"};
            base = ((uint32_t{payload[0]} << 8) | payload[1]) << 16;
            break;
        case 0x03:
        case 0x05:
            break; // start address: the microcontroller starts from its reset vector
        default:
            return HexError{lineNo, "unknown record type"};
        }
    }
    if (!ended) return HexError{0, "no end-of-file record"};

    std::vector<HexChunk> chunks;
    for (const auto& [address, value] : bytes) {
        if (chunks.empty() || chunks.back().data.size() >= maxChunk ||
            chunks.back().address + chunks.back().data.size() != address)
            chunks.push_back(HexChunk{address, {}});
        chunks.back().data.push_back(value);
    }
    return chunks;
}

} // namespace tq::usb
