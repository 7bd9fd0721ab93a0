#include "drivers/sim/IntelHex.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace tq::sim {
namespace {

const HexError& errorOf(const HexResult& r) {
    static_assert(std::variant_size_v<HexResult> == 2);
    EXPECT_TRUE(std::holds_alternative<HexError>(r));
    return std::get<HexError>(r);
}

TEST(IntelHex, ReadsDataRecordsAtTheirAddresses) {
    const auto r = parseIntelHex(":030000000200807B\r\n"
                                 ":0500800075815F80FEA8\r\n"
                                 "\r\n"
                                 ":00000001FF\r\n");
    ASSERT_TRUE(std::holds_alternative<HexImage>(r));
    const auto& img = std::get<HexImage>(r);
    ASSERT_EQ(img.segments.size(), 2u);
    EXPECT_EQ(img.segments[0].address, 0x0000u);
    EXPECT_EQ(img.segments[0].bytes, (std::vector<uint8_t>{0x02, 0x00, 0x80}));
    EXPECT_EQ(img.segments[1].address, 0x0080u);
    EXPECT_EQ(img.byteCount(), 8u);
}

TEST(IntelHex, ExtendedAddressRecordsMoveTheBase) {
    // Segment base 0x0100 (address 0x1000) and linear base 0 again; start address ignored.
    const auto r = parseIntelHex(":020000020100FB\n"
                                 ":01000000AA55\n"
                                 ":020000040000FA\n"
                                 ":01001000BB34\n"
                                 ":0400000300000000F9\n"
                                 ":00000001FF\n");
    ASSERT_TRUE(std::holds_alternative<HexImage>(r)) << errorOf(r).message;
    const auto& img = std::get<HexImage>(r);
    ASSERT_EQ(img.segments.size(), 2u);
    EXPECT_EQ(img.segments[0].address, 0x1000u);
    EXPECT_EQ(img.segments[1].address, 0x0010u);
}

TEST(IntelHex, RefusesMalformedFiles) {
    struct Case {
        const char* text;
        HexErrorKind kind;
        std::size_t line;
    };
    const Case cases[] = {
        {":030000000200807C\n:00000001FF\n", HexErrorKind::BadRecord, 1}, // checksum
        {"030000000200807B\n:00000001FF\n", HexErrorKind::BadRecord, 1},  // no colon
        {":030000000200807\n:00000001FF\n", HexErrorKind::BadRecord, 1},  // odd length
        {":0400000002008079\n:00000001FF\n", HexErrorKind::BadRecord, 1}, // count too big
        {":03000000020G807B\n:00000001FF\n", HexErrorKind::BadRecord, 1}, // not hex
        {":00000006FA\n:00000001FF\n", HexErrorKind::BadRecord, 1},       // unknown type
        {":030000000200807B\n", HexErrorKind::MissingEnd, 0},
        {":00000001FF\n:030000000200807B\n", HexErrorKind::DataAfterEnd, 2},
        {":00000001FF\n", HexErrorKind::NoData, 0},
        {"", HexErrorKind::MissingEnd, 0},
        {":020000040001F9\n:01000000AA55\n:00000001FF\n", HexErrorKind::BadAddress, 2},
        {":02FFFF00AABB9B\n:00000001FF\n", HexErrorKind::BadAddress, 1}, // crosses 64 KiB
    };
    for (const auto& c : cases) {
        const auto r = parseIntelHex(c.text);
        ASSERT_TRUE(std::holds_alternative<HexError>(r)) << c.text;
        EXPECT_EQ(std::get<HexError>(r).kind, c.kind) << c.text;
        EXPECT_EQ(std::get<HexError>(r).line, c.line) << c.text;
    }
}

TEST(IntelHex, FilesMissingOrTooLargeAreRefused) {
    const auto dir = std::filesystem::path(testing::TempDir());
    EXPECT_EQ(errorOf(readIntelHexFile(dir / "no-such-image.hex")).kind, HexErrorKind::FileMissing);
    EXPECT_EQ(errorOf(readIntelHexFile(dir)).kind, HexErrorKind::FileMissing);

    const auto big = dir / "tq_sim_too_large.hex";
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
    EXPECT_GT(std::get<HexImage>(r).byteCount(), 0u);
}

} // namespace
} // namespace tq::sim
