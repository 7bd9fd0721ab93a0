#pragma once
// A transfer told in words, for people reading the traffic: what the request did to the
// board ("write DAC B data register 0x1234, pulse LDAC", "read function register",
// "control lines LDAC high, CLR high, binary, RSTIN high, drive D1 low, D0 low"), its raw
// fields, and how it ended. Shared by every front end that shows or logs traffic.

#include "board/BoardLink.h"

#include <QString>

namespace tq::board {

// What a request is for, as a list of traffic groups them.
enum class TransferKind { RegisterWrite, RegisterRead, ControlLines, WordRead, PinDrive, Other };
TransferKind KindOf(const Transfer& t);

// What the request does, from its code, value, index and direction alone; a read that
// carries its own answer (the converter echoes the read's command byte) adds ": 0x1234".
QString TransferWords(const Transfer& t);

// The raw request: "0xDD value 0x0081 index 0x0000 in length 3: 81 00 FC", with the bytes
// a successful read received, as they arrived.
QString TransferRaw(const Transfer& t);

// "done", or "failed (status -4)".
QString TransferStatusWords(const Transfer& t);

// One line with all three: words, then the raw request and the status in brackets.
QString DescribeInWords(const Transfer& t);

} // namespace tq::board
