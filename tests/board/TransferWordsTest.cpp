// The words a person reads for each kind of transfer, and how a failed one ends.

#include "board/TransferWords.h"
#include "board/BoardLink.h"

#include <gtest/gtest.h>

namespace tq::board {
namespace {

// Received bytes as the board sends them: bit order mirrored.
std::array<uint8_t, 3> sent(uint8_t a, uint8_t b, uint8_t c = 0) {
    return {BoardLink::ReverseBits(a), BoardLink::ReverseBits(b), BoardLink::ReverseBits(c)};
}

TEST(TransferWords, EachRequestKindInWords) {
    struct Case {
        Transfer t;
        const char* words;
    };
    const Case cases[] = {
        {{.request = kWriteAndPulse, .value = 0x11, .index = 0x1234},
         "write DAC B data register 0x1234, pulse LDAC"},
        {{.request = kShiftWord, .value = 0x1C, .index = 0x0002},
         "write all DACs coarse gain register 0x0002"},
        {{.request = kShiftWord, .value = 0x23, .index = 0x003F},
         "write DAC D fine gain register 0x003F"},
        {{.request = kShiftWord, .value = 0x2A, .index = 0x0080},
         "write DAC C offset register 0x0080"},
        {{.request = kShiftWord, .value = 0x01, .index = 0x0021}, "write function register 0x0021"},
        {{.request = kShiftWord, .value = 0x00}, "no operation"},
        {{.request = kShiftWord, .value = 0x04}, "clear all DAC channels"},
        {{.request = kShiftWord, .value = 0x05}, "load all DAC channels"},
        // A read whose answer is its own (the command byte comes back first) shows it; the
        // first of a pair carries the previous frame and shows none.
        {{.request = kShiftWord,
          .value = 0x81,
          .direction = 1,
          .length = 3,
          .received = sent(0x81, 0x00, 0x3F)},
         "read function register: 0x003F"},
        {{.request = kShiftWord,
          .value = 0x9B,
          .direction = 1,
          .length = 3,
          .received = sent(0x11, 0x12, 0x34)},
         "read DAC D coarse gain register"},
        {{.request = kControlLines, .value = 0x9F, .index = 0},
         "control lines LDAC high, CLR high, binary, RSTIN high, drive D1 low, D0 low"},
        {{.request = kControlLines, .value = 0x81, .index = 2},
         "control lines LDAC low, CLR low, 2s complement, RSTIN low, drive D1 high, D0 low"},
        {{.request = kReadAdc, .direction = 1, .length = 2, .received = sent(0x03, 0x1A)},
         "read 2-byte word: 0x031A"},
        {{.request = kDriveD0, .value = 1, .direction = 1}, "board drives the D0 pin"},
        {{.request = kDriveD1, .value = 0, .direction = 1}, "D1 pin left to the converter"},
        {{.request = 0x42, .value = 7}, "request 0x42"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(TransferWords(c.t).toStdString(), c.words);
        EXPECT_TRUE(TransferStatusWords(c.t) == QStringLiteral("done"));
    }
}

TEST(TransferWords, AFailedTransferSaysSoAndShowsNoAnswer) {
    const Transfer t{.request = kShiftWord,
                     .value = 0x81,
                     .direction = 1,
                     .length = 3,
                     .received = sent(0x81, 0x00, 0x3F),
                     .status = -4};
    EXPECT_EQ(TransferWords(t).toStdString(), "read function register");
    EXPECT_EQ(TransferStatusWords(t).toStdString(), "failed (status -4)");
    EXPECT_EQ(TransferRaw(t).toStdString(), "0xDD value 0x0081 index 0x0000 in length 3");
    EXPECT_EQ(DescribeInWords(t).toStdString(),
              "read function register [0xDD value 0x0081 index 0x0000 in length 3, "
              "failed (status -4)]");
    Transfer answered = t;
    answered.status = 0;
    EXPECT_EQ(TransferRaw(answered).toStdString(),
              "0xDD value 0x0081 index 0x0000 in length 3: 81 00 FC");
}

} // namespace
} // namespace tq::board
