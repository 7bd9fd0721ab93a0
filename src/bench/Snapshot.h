#pragma once
// A board set-up as a file: every register of the four channels, the function register and
// the control lines. The same file serves tq5802ctl and the window, so a set-up made in one
// loads in the other.
//
// The file is JSON:
//   {
//     "format": "tq5802-board-setup", "version": 1, "board": "TQ5802R",
//     "channels": { "A": { "data": 32768, "coarse": 0, "fine": 0, "offset": 0 }, ... "D": {...} },
//     "function": { "localGndOffset": false, "d1Output": false, "d1High": false,
//                   "d0Output": false, "d0High": false, "sdoEnabled": true },
//     "lines": { "ldac": true, "clr": true, "binary": true, "rstin": true,
//                "driveD0": false, "driveD1": false, "pulseAfterWrite": true }
//   }
// Register values are the registers' own codes (data 0..65535, coarse 0..2, fine 0..63 in
// 6-bit two's complement, offset 0..255 in 8-bit two's complement); "volts" and "lsb"
// beside them are written for people and ignored when reading.

#include "bench/Bench.h"

#include <QByteArray>
#include <QString>

#include <array>

namespace tq::bench {

inline constexpr int kSnapshotVersion = 1;

struct Snapshot {
    Model model = Model::TQ5802R;
    std::array<ChannelRegisters, 4> channels{};
    FunctionFlags function;
    ControlLines lines;
    bool operator==(const Snapshot&) const = default;
};

// Reads every register back from the board (serial data output must be on).
Outcome<Snapshot> TakeSnapshot(Bench& bench);

// Writes a set-up back without glitching an output: LDAC, RSTIN and CLR held high and no
// pulses while ranges, trims and then data go to the input registers, one LOAD moves all
// four channels at once, then the function register and the control lines as saved.
// Refuses a set-up of another board before writing anything.
Status RestoreSnapshot(Bench& bench, const Snapshot& snapshot);

QByteArray SnapshotToJson(const Snapshot& snapshot);
// Refuses, with a message saying why, a file of another format or version, of another
// board than `model`, or with a value outside its register.
Outcome<Snapshot> SnapshotFromJson(const QByteArray& json, Model model);

Status SaveSnapshotFile(const Snapshot& snapshot, const QString& path);
Outcome<Snapshot> LoadSnapshotFile(const QString& path, Model model);

} // namespace tq::bench
