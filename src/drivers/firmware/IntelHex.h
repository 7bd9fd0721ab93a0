#pragma once
// Intel HEX firmware images for the board's microcontroller, shared by the USB driver and the
// simulated board. The whole file is read and checked before anything is loaded, so a
// malformed file never leaves half an image behind.

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace tq::firmware {

// One run of consecutive bytes at an absolute address.
struct HexSegment {
    uint32_t address = 0;
    std::vector<uint8_t> bytes;
};

struct HexImage {
    // Sorted by address; no two overlap or touch (touching records are one segment), and all
    // lie in kLoadableRam.
    std::vector<HexSegment> segments;
    std::size_t byteCount() const;
};

enum class HexErrorKind {
    FileMissing,  // the file cannot be opened
    FileTooLarge, // larger than any image the board can hold
    BadRecord,    // not ':' + hex pairs, wrong length, bad checksum, unknown type
    BadAddress,   // data outside the RAM the loader may write (kLoadableRam)
    MissingEnd,   // no end-of-file record
    DataAfterEnd, // records after the end-of-file record
    NoData,       // well formed but without a single data byte
    Overlap,      // a record writes a byte an earlier record already wrote
};

struct HexError {
    HexErrorKind kind = HexErrorKind::BadRecord;
    std::size_t line = 0; // 1-based; 0 when the error is not tied to a line
    std::string message;
    uint32_t address = 0; // BadAddress: the record's first byte outside the RAM
};

using HexResult = std::variant<HexImage, HexError>;

// Highest address + 1 an image may write.
inline constexpr uint32_t kCodeMemorySize = 0x10000;

struct AddressRange {
    uint32_t first = 0;
    uint32_t last = 0; // inclusive
};
// The RAM the loader may write while it holds the CPU in reset: the 16 KiB of code and data
// RAM and the 512 bytes at 0xE000. Anything else is the CPU's registers (CPUCS at 0xE600:
// writing it would start the CPU early) or nothing (the board stalls the transfer).
inline constexpr std::array<AddressRange, 2> kLoadableRam{{{0x0000, 0x3FFF}, {0xE000, 0xE1FF}}};
// Largest file accepted; a full 64 KiB image in 16-byte records is about 180 KB.
inline constexpr std::uintmax_t kMaxHexFileSize = 1u << 20;

// Accepts record types 00 (data), 01 (end of file, required, last), 02 and 04 (extended
// segment and linear address) and 03/05 (start address, ignored: the microcontroller starts
// from its reset vector). Lines may end in CR LF; blank lines and trailing blanks are
// allowed. Every data byte must lie in kLoadableRam. Returns the image, or the first fault in
// file order.
HexResult parseIntelHex(std::string_view text);
// As parseIntelHex on the file's contents; a file that cannot be opened is FileMissing, one
// above kMaxHexFileSize is FileTooLarge and is not read.
HexResult readIntelHexFile(const std::filesystem::path& path);

// The image's bytes as address-sorted chunks of at most maxChunk (>= 1) bytes each, every
// segment cut from its start, so the fewest writes of that size load it.
std::vector<HexSegment> toChunks(const HexImage& image, std::size_t maxChunk);

} // namespace tq::firmware
