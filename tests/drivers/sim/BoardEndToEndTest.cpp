// The board layer (DriverLibrary, BoardStart, BoardLink) driving the simulated board's library,
// loaded by its path as the programs load it.

#include "board/BoardLink.h"
#include "board/DriverLibrary.h"
#include "board/SharedState.h"
#include "board/BoardStart.h"
#include "drivers/sim/sim_abi.h"

#include <gtest/gtest.h>

#include <vector>

namespace tq::board {
namespace {

class BoardEndToEnd : public testing::TestWithParam<Backend> {
protected:
    void SetUp() override {
        library.setLoadErrorHandler([this](const LoadError& e) { loadErrors.push_back(e); });
        reset = reinterpret_cast<TQSim_Reset_fn>(library.resolveOptional("TQSim_Reset"));
        setAbsent =
            reinterpret_cast<TQSim_SetAbsent_fn>(library.resolveOptional("TQSim_SetAbsent"));
        setFailing = reinterpret_cast<TQSim_SetFailingTransfers_fn>(
            library.resolveOptional("TQSim_SetFailingTransfers"));
        outputVolts =
            reinterpret_cast<TQSim_OutputVolts_fn>(library.resolveOptional("TQSim_OutputVolts"));
        ASSERT_TRUE(reset && setAbsent && setFailing && outputVolts);
        reset();
        BoardStart::SetFirmwarePath(state, TQ_BIN_DIR);
        declare.addObserver([this](const Transfer& t) {
            if (t.status != 0) failures.push_back(t);
        });
    }
    bool start() { return BoardStart::StartBoard(state, library, GetParam()); }

    DriverLibrary library{QStringLiteral(TQ_SIM_LIBRARY)};
    SharedState state;
    BoardLink declare{state, library, GetParam()};
    std::vector<LoadError> loadErrors;
    std::vector<Transfer> failures;
    TQSim_Reset_fn reset = nullptr;
    TQSim_SetAbsent_fn setAbsent = nullptr;
    TQSim_SetFailingTransfers_fn setFailing = nullptr;
    TQSim_OutputVolts_fn outputVolts = nullptr;
};

TEST_P(BoardEndToEnd, OpensWritesReadsBackAndMeasures) {
    ASSERT_TRUE(start());
    if (GetParam() == Backend::Newer) {
        EXPECT_NE(state.BoardHandle, 0);
    }
    state.Check1Value = 1;

    // 0x8000 is also the power-on value, so a second value proves the write took.
    declare.WriteRegister(0, 2, 0x1234);
    EXPECT_EQ(declare.ReadRegister(0, 2), 0x1234);
    declare.WriteRegister(0, 2, 0x8000);
    EXPECT_EQ(declare.ReadRegister(0, 2), 0x8000);
    EXPECT_EQ(state.ReadbackValue, 0x8000);
    EXPECT_NEAR(outputVolts(0), 3.4 * 20.0 / 65536.0, 1e-9); // 0 V plus channel A's offset

    declare.ReadAdcWord();
    declare.ReadAdcWord();
    const int16_t reading = declare.ReadAdcWord();
    const double degrees = reading / 4096.0 * 3.29 / 0.005 - 1.2775 / 0.005;
    EXPECT_NEAR(degrees, 25.0, 0.5);

    // The function register with D0 driven high by the board, then SDO off.
    state.DriveD0Line = 1;
    declare.WriteControlLines();
    declare.DriveRequest(kDriveD0, 1);
    EXPECT_EQ(declare.ReadRegister(1, 0), 0x02);
    declare.WriteRegister(1, 0, 0x01);
    EXPECT_EQ(declare.ReadRegister(1, 0), 0xFFFF);

    EXPECT_EQ(state.DriverStatus, 0);
    EXPECT_TRUE(failures.empty());
    EXPECT_TRUE(loadErrors.empty());
}

TEST_P(BoardEndToEnd, MissingFirmwareFileFailsTheStart) {
    BoardStart::SetFirmwarePath(state, "/nonexistent-directory");
    EXPECT_FALSE(start());
    EXPECT_TRUE(loadErrors.empty());
}

TEST_P(BoardEndToEnd, AbsentBoardFailsTheStart) {
    setAbsent(1);
    EXPECT_FALSE(start());
    if (GetParam() == Backend::Newer) {
        EXPECT_EQ(state.BoardHandle, 0);
    }
}

TEST_P(BoardEndToEnd, MissingLibraryFailsTheStartAndIsReported) {
    DriverLibrary missing{QStringLiteral(TQ_BIN_DIR "/libNoSuchDriver.so")};
    std::vector<LoadError> errors;
    missing.setLoadErrorHandler([&](const LoadError& e) { errors.push_back(e); });
    EXPECT_FALSE(BoardStart::StartBoard(state, missing, GetParam()));
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_TRUE(errors[0].file.endsWith(QStringLiteral("libNoSuchDriver.so")));
}

TEST_P(BoardEndToEnd, FailingTransfersReachTheObservers) {
    ASSERT_TRUE(start());
    setFailing(1);
    declare.WriteRegister(0, 2, 0x4321);
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_EQ(failures[0].request, kShiftWord);
    EXPECT_NE(failures[0].status, 0);
    EXPECT_EQ(state.DriverStatus, failures[0].status);
    setFailing(0);
    EXPECT_EQ(declare.ReadRegister(0, 2), 0x8000); // the failed write changed nothing
    EXPECT_EQ(state.DriverStatus, 0);
}

INSTANTIATE_TEST_SUITE_P(BothBackEnds, BoardEndToEnd,
                         testing::Values(Backend::Newer, Backend::Legacy), [](const auto& info) {
                             return info.param == Backend::Newer ? "Newer" : "Legacy";
                         });

} // namespace
} // namespace tq::board
