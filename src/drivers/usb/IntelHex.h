#pragma once
// Intel HEX images for the board's microcontroller: the whole file is parsed and checked
// before anything is sent, and adjacent records are merged into chunks so the download
// needs as few control transfers as possible.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace tq::usb {

// One contiguous run of bytes to write at `address`.
struct HexChunk {
    uint32_t address = 0;
    std::vector<uint8_t> data;
};

struct HexError {
    std::size_t line = 0; // 1-based; 0 when the fault is not on one line
    std::string what;
};

// Parses record types 00 (data), 01 (end of file, required), 02 and 04 (extended segment
// and linear addresses) and ignores 03 and 05 (start addresses). Every record's checksum
// is verified. Returns the data sorted by address, contiguous bytes merged, each chunk at
// most maxChunk bytes; or the first fault found (bad syntax, checksum, unknown record,
// overlapping data, no end record).
std::variant<std::vector<HexChunk>, HexError> parseIntelHex(std::string_view text,
                                                            std::size_t maxChunk);

} // namespace tq::usb
