// The bench library on the simulated board: every operation's effect is read back through
// the simulated board's own read-outs, not through the library.

#include "bench/Bench.h"
#include "bench/Snapshot.h"
#include "board/DriverLibrary.h"
#include "drivers/sim/sim_abi.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>

namespace tq::bench {
namespace {

class BenchOnSim : public testing::Test {
protected:
    void SetUp() override {
        reset = reinterpret_cast<TQSim_Reset_fn>(library.resolveOptional("TQSim_Reset"));
        read = reinterpret_cast<TQSim_ReadRegisters_fn>(
            library.resolveOptional("TQSim_ReadRegisters"));
        failing = reinterpret_cast<TQSim_SetFailingTransfers_fn>(
            library.resolveOptional("TQSim_SetFailingTransfers"));
        volts =
            reinterpret_cast<TQSim_OutputVolts_fn>(library.resolveOptional("TQSim_OutputVolts"));
        ASSERT_TRUE(reset && read && failing && volts);
        reset();
        ASSERT_TRUE(bench.start(QStringLiteral(TQ_BIN_DIR "/TQ5802.hex")));
        bench.declare().addObserver([this](const board::Transfer&) { ++transfers; });
    }
    TQSimRegisters board() const {
        TQSimRegisters r{};
        read(&r);
        return r;
    }

    board::DriverLibrary library{QStringLiteral(TQ_SIM_LIBRARY)};
    Bench bench{library, Model::TQ5802R};
    TQSim_Reset_fn reset = nullptr;
    TQSim_ReadRegisters_fn read = nullptr;
    TQSim_SetFailingTransfers_fn failing = nullptr;
    TQSim_OutputVolts_fn volts = nullptr;
    int transfers = 0;
};

TEST_F(BenchOnSim, StartLeavesTheWindowsSetUp) {
    const TQSimRegisters r = board();
    EXPECT_EQ(r.function & 1, 0) << "serial data output on";
    EXPECT_EQ(r.ldac + r.clr + r.binary + r.rstin, 4);
    EXPECT_EQ(bench.rangeVolts(Channel::C), 10.0f);
}

// Each operation and what the board holds afterwards.
TEST_F(BenchOnSim, OperationsReachTheBoard) {
    struct Case {
        const char* what;
        std::function<Status(Bench&)> op;
        std::function<bool(const TQSimRegisters&)> holds;
    };
    const Case cases[] = {
        {"code B", [](Bench& b) { return b.setCode(Channel::B, 0x1234); },
         [](const auto& r) { return r.input[1] == 0x1234 && r.dac[1] == 0x1234; }},
        {"code ALL", [](Bench& b) { return b.setCode(Channel::All, 7); },
         [](const auto& r) { return r.dac[0] == 7 && r.dac[3] == 7; }},
        {"range D", [](Bench& b) { return b.setRange(Channel::D, 2); },
         [](const auto& r) { return r.coarse[3] == 2 && r.coarse[2] == 0; }},
        {"fine -1", [](Bench& b) { return b.setFineGain(Channel::A, -1); },
         [](const auto& r) { return r.fine[0] == 63; }},
        {"offset -0.125", [](Bench& b) { return b.setOffset(Channel::C, -0.125); },
         [](const auto& r) { return r.offset[2] == 255; }},
        {"trims ALL", [](Bench& b) { return b.setTrims(Channel::All, -2.0, 1.5); },
         [](const auto& r) { return r.fine[3] == 62 && r.offset[0] == 12; }},
        {"lines",
         [](Bench& b) {
             ControlLines l;
             l.clr = false;
             l.binary = false;
             return b.setLines(l);
         },
         [](const auto& r) { return r.clr == 0 && r.binary == 0 && r.ldac == 1; }},
        {"function D0 out",
         [](Bench& b) {
             FunctionFlags f;
             f.d0Output = true;
             f.d0High = true;
             return b.setFunction(f);
         },
         [](const auto& r) { return r.function == 0x06 && r.driveD0 == 0; }},
        {"raw offset ALL", [](Bench& b) { return b.writeRaw(5, 4, 0x10); },
         [](const auto& r) { return r.offset[0] == 0x10 && r.offset[3] == 0x10; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Status s = c.op(bench);
        ASSERT_TRUE(s) << s.error().message;
        EXPECT_TRUE(c.holds(board()));
    }
    // Read back through the library too.
    const Outcome<ChannelRegisters> b = bench.readChannel(Channel::B);
    ASSERT_TRUE(b);
    EXPECT_EQ(b->data, 7); // ALL came after B
}

// Volts use each channel's own range and the present coding.
TEST_F(BenchOnSim, VoltsInTheChannelsOwnRangeAndCoding) {
    ASSERT_TRUE(bench.setRange(Channel::B, 2));
    ASSERT_TRUE(bench.setVolts(Channel::B, -10.5263));
    EXPECT_EQ(board().dac[1], 0);
    ASSERT_TRUE(bench.setVolts(Channel::All, 5.0));
    EXPECT_EQ(board().dac[0], 49152);          // 5 V of 10 V
    EXPECT_NE(board().dac[0], board().dac[1]); // B's range is wider

    ControlLines twos;
    twos.binary = false;
    ASSERT_TRUE(bench.setLines(twos));
    ASSERT_TRUE(bench.setVolts(Channel::A, -10.0));
    EXPECT_EQ(board().dac[0], 0x8000);
    EXPECT_NEAR(volts(0), -10.0, 0.01);
    EXPECT_FLOAT_EQ(bench.codeToVolts(Channel::A, 0x8000), -10.0f);
    EXPECT_FLOAT_EQ(bench.codeToVolts(Channel::A, 0), 0.0f);
    // The code the library reports is the one it wrote, in the channel's own range.
    ASSERT_TRUE(bench.setVolts(Channel::B, 5.0));
    EXPECT_EQ(bench.voltsToCode(Channel::B, 5.0), board().dac[1]);
    EXPECT_NE(bench.voltsToCode(Channel::A, 5.0), board().dac[1]);
}

// Refused values name the allowed range, and nothing goes to the board.
TEST_F(BenchOnSim, RefusalsSendNothing) {
    const std::function<Status(Bench&)> refused[] = {
        [](Bench& b) { return b.setCode(Channel::A, 65536); },
        [](Bench& b) { return b.setCode(Channel::A, -1); },
        [](Bench& b) { return b.setVolts(Channel::A, 10.01); },
        [](Bench& b) { return b.setVolts(Channel::All, std::nan("")); },
        [](Bench& b) { return b.setRange(Channel::A, 3); },
        [](Bench& b) { return b.setFineGain(Channel::A, 31.6); },
        [](Bench& b) { return b.setOffset(Channel::A, -16.01); },
        // A good fine gain is not written when the offset beside it is refused.
        [](Bench& b) { return b.setTrims(Channel::A, 3.0, 16.0); },
        [](Bench& b) { return b.writeRaw(5, 0, 0x100); },
        [](Bench& b) { return b.writeRaw(1, 0, 0); },
        [](Bench& b) { return b.writeRaw(2, 5, 0); },
        [](Bench& b) { return Status(b.readRegister(2, Channel::All).error()); },
    };
    for (const auto& op : refused) {
        const Status s = op(bench);
        ASSERT_FALSE(s);
        EXPECT_EQ(s.error().kind, Error::Kind::Usage);
        EXPECT_FALSE(s.error().message.empty());
    }
    EXPECT_EQ(transfers, 0);
}

TEST_F(BenchOnSim, FailedTransferNamesRequestAndStatus) {
    failing(1);
    const Status s = bench.setCode(Channel::A, 1);
    failing(0);
    ASSERT_FALSE(s);
    EXPECT_EQ(s.error().kind, Error::Kind::Transfer);
    EXPECT_EQ(s.error().request, 0xD9);
    EXPECT_NE(s.error().status, 0);
}

// Read-backs in the registers' own units, and telling a gone board from a failing one.
TEST_F(BenchOnSim, ReadBacksInUnitsAndBoardPresence) {
    ASSERT_TRUE(bench.setRange(Channel::B, 2));
    ASSERT_TRUE(bench.setVolts(Channel::B, -5.0));
    ASSERT_TRUE(bench.setFineGain(Channel::B, -3));
    ASSERT_TRUE(bench.setOffset(Channel::B, -1.25));
    EXPECT_NEAR(*bench.readVolts(Channel::B), -5.0, 10.5263 / 32768);
    EXPECT_EQ(*bench.readFineGain(Channel::B), -3.0f);
    EXPECT_EQ(*bench.readOffset(Channel::B), -1.25f);
    EXPECT_EQ(*bench.readField(3, Channel::B), 2);
    EXPECT_FALSE(bench.readVolts(Channel::All));

    EXPECT_TRUE(bench.boardPresent());
    failing(1);
    EXPECT_TRUE(bench.boardPresent());
    failing(0);
    auto unplug = reinterpret_cast<TQSim_Unplug_fn>(library.resolveOptional("TQSim_Unplug"));
    ASSERT_TRUE(unplug);
    unplug();
    EXPECT_FALSE(bench.readVolts(Channel::A));
    EXPECT_FALSE(bench.boardPresent());
}

TEST_F(BenchOnSim, TemperatureKeepsRegistersReadable) {
    const Outcome<Temperature> t = bench.temperature();
    ASSERT_TRUE(t);
    EXPECT_NEAR(t->value.celsius, 25.0, 1.0);
    EXPECT_TRUE(bench.readRegister(2, Channel::A));
    EXPECT_EQ(board().function & 1, 0);
}

TEST_F(BenchOnSim, SnapshotRoundTripRestoresTheBoard) {
    ASSERT_TRUE(bench.setRange(Channel::C, 1));
    ASSERT_TRUE(bench.setFineGain(Channel::C, -7));
    ASSERT_TRUE(bench.setOffset(Channel::D, 3.375));
    ASSERT_TRUE(bench.setCode(Channel::A, 0xBEEF));
    FunctionFlags f;
    f.localGndOffset = true;
    ASSERT_TRUE(bench.setFunction(f));
    const TQSimRegisters before = board();

    const Outcome<Snapshot> saved = TakeSnapshot(bench);
    ASSERT_TRUE(saved);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("setup.json"));
    ASSERT_TRUE(SaveSnapshotFile(*saved, path));

    ASSERT_TRUE(bench.setCode(Channel::All, 0));
    ASSERT_TRUE(bench.setRange(Channel::All, 2));
    ASSERT_TRUE(bench.setFunction(FunctionFlags{}));

    const Outcome<Snapshot> loaded = LoadSnapshotFile(path, Model::TQ5802R);
    ASSERT_TRUE(loaded) << loaded.error().message;
    EXPECT_EQ(*loaded, *saved);
    ASSERT_TRUE(RestoreSnapshot(bench, *loaded));
    const TQSimRegisters after = board();
    EXPECT_EQ(0, std::memcmp(&before, &after, sizeof before));
    EXPECT_EQ(bench.rangeCode(Channel::C), 1);

    // Another board's or version's file is refused before anything is written.
    transfers = 0;
    QByteArray json = SnapshotToJson(*saved);
    EXPECT_FALSE(SnapshotFromJson(json, Model::TQ5802));
    EXPECT_FALSE(SnapshotFromJson(QByteArray(json).replace("\"version\": 1", "\"version\": 2"),
                                  Model::TQ5802R));
    EXPECT_FALSE(SnapshotFromJson(QByteArray(json).replace("\"offset\": 27", "\"offset\": 256"),
                                  Model::TQ5802R));
    EXPECT_FALSE(SnapshotFromJson("{", Model::TQ5802R));
    EXPECT_FALSE(SnapshotFromJson(QByteArray(json).replace("\"offset\": 27", "\"offset\": 1e300"),
                                  Model::TQ5802R));
    EXPECT_EQ(transfers, 0);
}

} // namespace
} // namespace tq::bench
