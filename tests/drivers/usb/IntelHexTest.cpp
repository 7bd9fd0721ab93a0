#include "IntelHex.h"

#include <gtest/gtest.h>

using tq::usb::HexChunk;
using tq::usb::HexError;
using tq::usb::parseIntelHex;

namespace {

std::vector<HexChunk> chunksOf(std::string_view text, std::size_t maxChunk = 4096) {
    auto result = parseIntelHex(text, maxChunk);
    if (const auto* err = std::get_if<HexError>(&result)) {
        ADD_FAILURE() << "line " << err->line << ": " << err->what;
        return {};
    }
    return std::get<std::vector<HexChunk>>(result);
}

HexError errorOf(std::string_view text) {
    auto result = parseIntelHex(text, 4096);
    EXPECT_TRUE(std::holds_alternative<HexError>(result)) << text;
    return std::holds_alternative<HexError>(result) ? std::get<HexError>(result) : HexError{};
}

} // namespace

TEST(IntelHex, AdjacentRecordsMergeInAddressOrderAndGapsSplit) {
    // Out of order, CRLF endings, a start-address record, and a gap at 0x0006.
    const auto chunks = chunksOf(":03000300040506EB\r\n"
                                 ":03000000010203F7\r\n"
                                 ":0400000300000000F9\r\n"
                                 ":0100100011DE\r\n"
                                 ":00000001FF\r\n");
    ASSERT_EQ(chunks.size(), 2u);
    EXPECT_EQ(chunks[0].address, 0u);
    EXPECT_EQ(chunks[0].data, (std::vector<uint8_t>{1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(chunks[1].address, 0x10u);
    EXPECT_EQ(chunks[1].data, (std::vector<uint8_t>{0x11}));
}

TEST(IntelHex, ChunksNeverExceedTheLimit) {
    // 40 contiguous bytes in 16-byte records, cut into chunks of at most 15.
    const auto chunks = chunksOf(":10000000000102030405060708090A0B0C0D0E0F78\n"
                                 ":10001000101112131415161718191A1B1C1D1E1F68\n"
                                 ":080020002021222324252627BC\n"
                                 ":00000001FF\n",
                                 15);
    ASSERT_EQ(chunks.size(), 3u);
    EXPECT_EQ(chunks[0].data.size(), 15u);
    EXPECT_EQ(chunks[1].address, 15u);
    EXPECT_EQ(chunks[2].address, 30u);
    EXPECT_EQ(chunks[2].data.size(), 10u);
    EXPECT_EQ(chunks[2].data.back(), 0x27);
}

TEST(IntelHex, ExtendedAddressesMoveTheBase) {
    const auto chunks = chunksOf(":020000021000EC\n" // segment 0x1000 -> 0x10000
                                 ":0100000055AA\n"
                                 ":020000040002F8\n" // linear 0x0002 -> 0x20000
                                 ":01000100AA54\n"
                                 ":00000001FF\n");
    ASSERT_EQ(chunks.size(), 2u);
    EXPECT_EQ(chunks[0].address, 0x10000u);
    EXPECT_EQ(chunks[1].address, 0x20001u);
}

TEST(IntelHex, MalformedFilesAreRefusedWithTheLine) {
    EXPECT_EQ(errorOf(":0100000055AB\n:00000001FF\n").line, 1u); // checksum
    EXPECT_EQ(errorOf(":0100000055AA\n").what, "no end-of-file record");
    EXPECT_EQ(errorOf(":0100000055AA\n0100000055AA\n:00000001FF\n").line, 2u);    // no colon
    EXPECT_EQ(errorOf(":0200000055AA\n:00000001FF\n").line, 1u);                  // count mismatch
    EXPECT_EQ(errorOf(":01000000G5AA\n:00000001FF\n").line, 1u);                  // not hex
    EXPECT_EQ(errorOf(":0100000655A4\n:00000001FF\n").line, 1u);                  // record type 06
    EXPECT_EQ(errorOf(":0100000055AA\n:0100000066\n").line, 2u);                  // short record
    EXPECT_EQ(errorOf(":02000000556643\n:010001007787\n:00000001FF\n").line, 2u); // overlap
    EXPECT_TRUE(chunksOf(":00000001FF\n").empty());
}
