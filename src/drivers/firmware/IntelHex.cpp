#include "drivers/firmware/IntelHex.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <optional>
#include <span>

namespace tq::firmware {

std::size_t HexImage::byteCount() const {
    std::size_t n = 0;
    for (const auto& s : segments)
        n += s.bytes.size();
    return n;
}

namespace {

std::optional<uint8_t> hexDigit(char c) {
    if (c >= '0' && c <= '9') return static_cast<uint8_t>(c - '0');
    if (c >= 'A' && c <= 'F') return static_cast<uint8_t>(c - 'A' + 10);
    if (c >= 'a' && c <= 'f') return static_cast<uint8_t>(c - 'a' + 10);
    return std::nullopt;
}

std::string_view trimRight(std::string_view s) {
    while (!s.empty() && (s.back() == '\r' || s.back() == ' ' || s.back() == '\t')) {
        s.remove_suffix(1);
    }
    return s;
}

HexError error(HexErrorKind kind, std::size_t line, std::string message) {
    return HexError{kind, line, std::move(message)};
}

bool loadable(uint64_t address) {
    return std::any_of(kLoadableRam.begin(), kLoadableRam.end(), [address](AddressRange r) {
        return address >= r.first && address <= r.last;
    });
}

std::string hex4(uint64_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%04llX", static_cast<unsigned long long>(value));
    return text;
}

// Names the first byte of a record outside the loader's RAM, with the RAM it may write.
HexError outsideRam(std::size_t line, uint64_t address) {
    std::string ranges;
    for (const AddressRange r : kLoadableRam)
        ranges += (ranges.empty() ? "" : ", ") + hex4(r.first) + "-" + hex4(r.last);
    HexError e = error(HexErrorKind::BadAddress, line,
                       "data at " + hex4(address) + " outside the RAM the loader may write (" +
                           ranges + ")");
    e.address = static_cast<uint32_t>(address);
    return e;
}

// The code memory as the records fill it: which line wrote each byte (0 = none), so an
// overlap names both records, and the segments come out sorted and coalesced.
class Memory {
public:
    // Returns the line that already wrote a byte of the range, or 0 after writing it.
    std::size_t write(uint32_t address, std::span<const uint8_t> data, std::size_t line) {
        for (std::size_t i = 0; i < data.size(); ++i) {
            if (const std::size_t earlier = writer_[address + i]; earlier != 0) return earlier;
        }
        std::copy(data.begin(), data.end(), bytes_.begin() + address);
        std::fill_n(writer_.begin() + address, data.size(), line);
        count_ += data.size();
        return 0;
    }

    std::size_t byteCount() const { return count_; }

    std::vector<HexSegment> segments() const {
        std::vector<HexSegment> out;
        for (uint32_t a = 0; a < kCodeMemorySize; ++a) {
            if (writer_[a] == 0) continue;
            if (out.empty() || out.back().address + out.back().bytes.size() != a) {
                out.push_back(HexSegment{a, {}});
            }
            out.back().bytes.push_back(bytes_[a]);
        }
        return out;
    }

private:
    std::vector<uint8_t> bytes_ = std::vector<uint8_t>(kCodeMemorySize);
    std::vector<std::size_t> writer_ = std::vector<std::size_t>(kCodeMemorySize);
    std::size_t count_ = 0;
};

} // namespace

HexResult parseIntelHex(std::string_view text) {
    Memory memory;
    uint32_t base = 0; // from the last 02 or 04 record
    bool ended = false;
    std::size_t lineNo = 0;

    while (!text.empty()) {
        const auto eol = text.find('\n');
        std::string_view line = trimRight(text.substr(0, eol));
        text = eol == std::string_view::npos ? std::string_view{} : text.substr(eol + 1);
        ++lineNo;
        if (line.empty()) continue;
        if (ended) return error(HexErrorKind::DataAfterEnd, lineNo, "record after end of file");
        if (line.front() != ':') return error(HexErrorKind::BadRecord, lineNo, "no ':'");
        line.remove_prefix(1);
        if (line.size() % 2 != 0 || line.size() < 10) {
            return error(HexErrorKind::BadRecord, lineNo, "record too short or odd length");
        }
        std::vector<uint8_t> raw;
        raw.reserve(line.size() / 2);
        for (std::size_t i = 0; i < line.size(); i += 2) {
            const auto hi = hexDigit(line[i]);
            const auto lo = hexDigit(line[i + 1]);
            if (!hi || !lo) return error(HexErrorKind::BadRecord, lineNo, "not a hex digit");
            raw.push_back(static_cast<uint8_t>(*hi << 4 | *lo));
        }
        const std::size_t count = raw[0];
        if (raw.size() != count + 5) {
            return error(HexErrorKind::BadRecord, lineNo, "byte count does not match");
        }
        uint8_t sum = 0;
        for (const uint8_t b : raw)
            sum = static_cast<uint8_t>(sum + b);
        if (sum != 0) return error(HexErrorKind::BadRecord, lineNo, "checksum mismatch");

        const uint32_t offset = static_cast<uint32_t>(raw[1]) << 8 | raw[2];
        const uint8_t type = raw[3];
        const std::span<const uint8_t> data(raw.data() + 4, count);
        switch (type) {
        case 0x00: {
            if (count == 0) break;
            // No wrap-around at 64 KiB: a record running past the end is refused.
            const uint64_t start = static_cast<uint64_t>(base) + offset;
            for (uint64_t a = start; a < start + count; ++a) {
                if (!loadable(a)) return outsideRam(lineNo, a);
            }
            if (const auto earlier = memory.write(static_cast<uint32_t>(start), data, lineNo)) {
                return error(HexErrorKind::Overlap, lineNo,
                             "data overlaps line " + std::to_string(earlier));
            }
            break;
        }
        case 0x01:
            if (count != 0) return error(HexErrorKind::BadRecord, lineNo, "end record with data");
            ended = true;
            break;
        case 0x02:
            if (count != 2) return error(HexErrorKind::BadRecord, lineNo, "bad segment record");
            base = (static_cast<uint32_t>(data[0]) << 8 | data[1]) << 4;
            break;
        case 0x04:
            if (count != 2) return error(HexErrorKind::BadRecord, lineNo, "bad linear record");
            base = (static_cast<uint32_t>(data[0]) << 8 | data[1]) << 16;
            break;
        case 0x03:
        case 0x05:
            if (count != 4) return error(HexErrorKind::BadRecord, lineNo, "bad start record");
            break;
        default:
            return error(HexErrorKind::BadRecord, lineNo, "unknown record type");
        }
    }
    if (!ended) return error(HexErrorKind::MissingEnd, 0, "no end-of-file record");
    if (memory.byteCount() == 0) return error(HexErrorKind::NoData, 0, "no data records");
    return HexImage{memory.segments()};
}

HexResult readIntelHexFile(const std::filesystem::path& path) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) {
        return error(HexErrorKind::FileMissing, 0, "cannot open " + path.string());
    }
    const auto size = std::filesystem::file_size(path, ec);
    if (ec) return error(HexErrorKind::FileMissing, 0, "cannot open " + path.string());
    if (size > kMaxHexFileSize) return error(HexErrorKind::FileTooLarge, 0, "file too large");
    std::ifstream in(path, std::ios::binary);
    if (!in) return error(HexErrorKind::FileMissing, 0, "cannot open " + path.string());
    const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    if (in.bad()) return error(HexErrorKind::FileMissing, 0, "cannot read " + path.string());
    return parseIntelHex(text);
}

std::vector<HexSegment> toChunks(const HexImage& image, std::size_t maxChunk) {
    maxChunk = std::max<std::size_t>(maxChunk, 1);
    std::vector<HexSegment> chunks;
    for (const HexSegment& s : image.segments) {
        for (std::size_t at = 0; at < s.bytes.size(); at += maxChunk) {
            const std::size_t n = std::min(maxChunk, s.bytes.size() - at);
            const auto first = s.bytes.begin() + static_cast<std::ptrdiff_t>(at);
            chunks.push_back(HexSegment{s.address + static_cast<uint32_t>(at),
                                        {first, first + static_cast<std::ptrdiff_t>(n)}});
        }
    }
    return chunks;
}

} // namespace tq::firmware
