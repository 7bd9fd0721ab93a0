#pragma once
// Intel HEX images as the board's microcontroller takes them: the whole file is read and
// checked before anything is loaded, so a malformed file never leaves half an image behind.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace tq::sim {

// One run of consecutive bytes at an absolute address.
struct HexSegment {
    uint32_t address = 0;
    std::vector<uint8_t> bytes;
};

struct HexImage {
    std::vector<HexSegment> segments; // in file order; later records may overwrite earlier ones
    std::size_t byteCount() const;
};

enum class HexErrorKind {
    FileMissing,  // the file cannot be opened
    FileTooLarge, // larger than any image the board can hold
    BadRecord,    // not ':' + hex pairs, wrong length, bad checksum, unknown type
    BadAddress,   // data beyond the microcontroller's 64 KiB code memory
    MissingEnd,   // no end-of-file record
    DataAfterEnd, // records after the end-of-file record
    NoData,       // well formed but without a single data byte
};

struct HexError {
    HexErrorKind kind = HexErrorKind::BadRecord;
    std::size_t line = 0; // 1-based; 0 when the error is not tied to a line
    std::string message;
};

using HexResult = std::variant<HexImage, HexError>;

// Highest address + 1 an image may write.
inline constexpr uint32_t kCodeMemorySize = 0x10000;
// Largest file accepted; a full 64 KiB image in 16-byte records is about 180 KB.
inline constexpr std::uintmax_t kMaxHexFileSize = 1u << 20;

// Accepts record types 00 (data), 01 (end of file), 02 and 04 (extended segment and linear
// address) and 03/05 (start address, ignored). Lines may end in CR LF; blank lines and
// trailing blanks are allowed.
HexResult parseIntelHex(std::string_view text);
HexResult readIntelHexFile(const std::filesystem::path& path);

} // namespace tq::sim
