#include "drivers/firmware/IntelHex.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

namespace tq::firmware {
namespace {

const HexError& errorOf(const HexResult& r) {
    EXPECT_TRUE(std::holds_alternative<HexError>(r));
    return std::get<HexError>(r);
}

HexImage imageOf(std::string_view text) {
    auto r = parseIntelHex(text);
    if (const auto* err = std::get_if<HexError>(&r)) {
        ADD_FAILURE() << "line " << err->line << ": " << err->message;
        return {};
    }
    return std::get<HexImage>(std::move(r));
}

TEST(IntelHex, ReadsDataRecordsAtTheirAddresses) {
    const auto img = imageOf(":030000000200807B\r\n"
                             ":0500800075815F80FEA8\r\n"
                             "\r\n"
                             ":00000001FF\r\n");
    ASSERT_EQ(img.segments.size(), 2u);
    EXPECT_EQ(img.segments[0].address, 0x0000u);
    EXPECT_EQ(img.segments[0].bytes, (std::vector<uint8_t>{0x02, 0x00, 0x80}));
    EXPECT_EQ(img.segments[1].address, 0x0080u);
    EXPECT_EQ(img.byteCount(), 8u);
}

TEST(IntelHex, AdjacentRecordsMergeInAddressOrderAndGapsSplit) {
    // Out of order, a start-address record, and a gap at 0x0006.
    const auto img = imageOf(":03000300040506EB\r\n"
                             ":03000000010203F7\r\n"
                             ":0400000300000000F9\r\n"
                             ":0100100011DE\r\n"
                             ":00000001FF\r\n");
    ASSERT_EQ(img.segments.size(), 2u);
    EXPECT_EQ(img.segments[0].address, 0u);
    EXPECT_EQ(img.segments[0].bytes, (std::vector<uint8_t>{1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(img.segments[1].address, 0x10u);
    EXPECT_EQ(img.segments[1].bytes, (std::vector<uint8_t>{0x11}));

    const auto chunks = toChunks(img, 4096);
    ASSERT_EQ(chunks.size(), 2u);
    EXPECT_EQ(chunks[0].bytes, img.segments[0].bytes);
    EXPECT_EQ(chunks[1].address, 0x10u);
}

TEST(IntelHex, ChunksNeverExceedTheLimit) {
    // 40 contiguous bytes in 16-byte records, cut into chunks of at most 15.
    const auto img = imageOf(":10000000000102030405060708090A0B0C0D0E0F78\n"
                             ":10001000101112131415161718191A1B1C1D1E1F68\n"
                             ":080020002021222324252627BC\n"
                             ":00000001FF\n");
    const auto chunks = toChunks(img, 15);
    ASSERT_EQ(chunks.size(), 3u);
    EXPECT_EQ(chunks[0].bytes.size(), 15u);
    EXPECT_EQ(chunks[1].address, 15u);
    EXPECT_EQ(chunks[1].bytes.front(), 15);
    EXPECT_EQ(chunks[2].address, 30u);
    EXPECT_EQ(chunks[2].bytes.size(), 10u);
    EXPECT_EQ(chunks[2].bytes.back(), 0x27);
    // A zero limit must not loop forever.
    EXPECT_EQ(toChunks(img, 0).size(), 40u);
}

TEST(IntelHex, ExtendedAddressRecordsMoveTheBase) {
    // Segment base 0x0100 (address 0x1000) and linear base 0 again; start address ignored.
    const auto img = imageOf(":020000020100FB\n"
                             ":01000000AA55\n"
                             ":020000040000FA\n"
                             ":01001000BB34\n"
                             ":0400000300000000F9\n"
                             ":00000001FF\n");
    ASSERT_EQ(img.segments.size(), 2u);
    EXPECT_EQ(img.segments[0].address, 0x0010u);
    EXPECT_EQ(img.segments[0].bytes, (std::vector<uint8_t>{0xBB}));
    EXPECT_EQ(img.segments[1].address, 0x1000u);
    EXPECT_EQ(img.segments[1].bytes, (std::vector<uint8_t>{0xAA}));
}

TEST(IntelHex, RefusesMalformedFilesWithTheLine) {
    struct Case {
        const char* text;
        HexErrorKind kind;
        std::size_t line;
    };
    const Case cases[] = {
        {":030000000200807C\n:00000001FF\n", HexErrorKind::BadRecord, 1}, // checksum
        {"030000000200807B\n:00000001FF\n", HexErrorKind::BadRecord, 1},  // no colon
        {":0100000055AA\n0100000055AA\n:00000001FF\n", HexErrorKind::BadRecord, 2},
        {":030000000200807\n:00000001FF\n", HexErrorKind::BadRecord, 1},  // odd length
        {":0400000002008079\n:00000001FF\n", HexErrorKind::BadRecord, 1}, // count too big
        {":03000000020G807B\n:00000001FF\n", HexErrorKind::BadRecord, 1}, // not hex
        {":00000006FA\n:00000001FF\n", HexErrorKind::BadRecord, 1},       // unknown type
        {":030000000200807B\n", HexErrorKind::MissingEnd, 0},
        {":00000001FF\n:030000000200807B\n", HexErrorKind::DataAfterEnd, 2},
        {":00000001FF\n", HexErrorKind::NoData, 0},
        {"", HexErrorKind::MissingEnd, 0},
        {":020000040001F9\n:01000000AA55\n:00000001FF\n", HexErrorKind::BadAddress, 2},
        {":020000021000EC\n:0100000055AA\n:00000001FF\n", HexErrorKind::BadAddress, 2},
        {":02FFFF00AABB9B\n:00000001FF\n", HexErrorKind::BadAddress, 1}, // crosses 64 KiB
        // A record may not rewrite bytes an earlier one wrote, even partly.
        {":02000000556643\n:010001007787\n:00000001FF\n", HexErrorKind::Overlap, 2},
        // The first fault in file order wins: the overlap before the bad checksum.
        {":0100000055AA\n:0100000055AA\n:0100010055AB\n:00000001FF\n", HexErrorKind::Overlap, 2},
    };
    for (const auto& c : cases) {
        const auto r = parseIntelHex(c.text);
        ASSERT_TRUE(std::holds_alternative<HexError>(r)) << c.text;
        EXPECT_EQ(std::get<HexError>(r).kind, c.kind) << c.text;
        EXPECT_EQ(std::get<HexError>(r).line, c.line) << c.text;
    }
}

// The loader may write only the RAM; the CPU's reset register (0xE600) among the data would
// start the CPU early, and bytes past the RAM stall the board.
TEST(IntelHex, BytesOutsideTheLoadersRamNameTheirLineAndAddress) {
    struct Case {
        const char* text;
        std::size_t line; // 0: accepted
        uint32_t address;
    };
    const Case cases[] = {
        {":0100000055AA\n:01E600000019\n:00000001FF\n", 2, 0xE600},           // CPUCS
        {":0100000055AA\n:023FFF00AABB5B\n:00000001FF\n", 2, 0x4000},         // runs past the RAM
        {":02E1FF00AABBB9\n:00000001FF\n", 1, 0xE200},                        // past the 512 bytes
        {":01DFFF0055CC\n:00000001FF\n", 1, 0xDFFF},                          // just below them
        {":020000021000EC\n:0100000055AA\n:00000001FF\n", 2, 0x10000},        // beyond 64 KiB
        {":013FFF00556C\n:01E0000055CA\n:01E1FF0055CA\n:00000001FF\n", 0, 0}, // the edges
    };
    for (const auto& c : cases) {
        const auto r = parseIntelHex(c.text);
        if (c.line == 0) {
            EXPECT_TRUE(std::holds_alternative<HexImage>(r)) << c.text;
            continue;
        }
        const HexError& e = errorOf(r);
        EXPECT_EQ(e.kind, HexErrorKind::BadAddress) << c.text;
        EXPECT_EQ(e.line, c.line) << c.text;
        EXPECT_EQ(e.address, c.address) << c.text;
        char hex[16];
        std::snprintf(hex, sizeof hex, "0x%04X", c.address);
        EXPECT_NE(e.message.find(hex), std::string::npos) << e.message;
    }
}

TEST(IntelHex, FilesMissingOrTooLargeAreRefused) {
    const auto dir = std::filesystem::path(testing::TempDir());
    EXPECT_EQ(errorOf(readIntelHexFile(dir / "no-such-image.hex")).kind, HexErrorKind::FileMissing);
    EXPECT_EQ(errorOf(readIntelHexFile(dir)).kind, HexErrorKind::FileMissing);

    const auto big = dir / "tq_intel_hex_too_large.hex";
    {
        std::ofstream out(big, std::ios::binary);
        const std::string line = ":00000001FF\n";
        for (std::uintmax_t n = 0; n <= kMaxHexFileSize / line.size(); ++n)
            out << line;
    }
    EXPECT_EQ(errorOf(readIntelHexFile(big)).kind, HexErrorKind::FileTooLarge);
    std::filesystem::remove(big);
}

TEST(IntelHex, ShippedImageIsWellFormed) {
    const auto r = readIntelHexFile(TQ_SHIPPED_HEX);
    ASSERT_TRUE(std::holds_alternative<HexImage>(r)) << errorOf(r).message;
    EXPECT_EQ(std::get<HexImage>(r).byteCount(), 8u);
}

} // namespace
} // namespace tq::firmware
