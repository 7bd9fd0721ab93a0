// A board pulled and plugged back while the program uses it: the watch notices, waits, starts
// the firmware again and restores what the program had written, through the simulator
// library, in every kind of state the converter's registers can be left in.

#include "board/BoardWatch.h"
#include "board/BoardLink.h"
#include "board/DriverLibrary.h"
#include "board/RegisterShadow.h"
#include "board/SharedState.h"
#include "board/BoardStart.h"
#include "device/RegisterMap.h"
#include "drivers/sim/sim_abi.h"

#include <QCoreApplication>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include <functional>
#include <sstream>
#include <string>

namespace tq::board {
namespace {

using device::AllDacs;
using device::CoarseGainRegister;
using device::DacA;
using device::DacB;
using device::DacC;
using device::DacD;
using device::DataRegister;
using device::FineGainRegister;
using device::FunctionRegister;
using device::OffsetRegister;

// Everything the board holds, as one comparable text.
std::string dump(const TQSimRegisters& r) {
    std::ostringstream out;
    out << std::hex;
    for (int ch = 0; ch < 4; ++ch)
        out << "ch" << ch << " in " << r.input[ch] << " dac " << r.dac[ch] << " coarse "
            << int(r.coarse[ch]) << " fine " << int(r.fine[ch]) << " offset " << int(r.offset[ch])
            << "\n";
    out << "function " << r.function << " ldac " << int(r.ldac) << " clr " << int(r.clr)
        << " binary " << int(r.binary) << " rstin " << int(r.rstin) << " drive " << int(r.driveD0)
        << int(r.driveD1) << " levels " << int(r.driveLevelD0) << int(r.driveLevelD1) << "\n";
    return out.str();
}

struct Scenario {
    const char* name;
    std::function<void(BoardLink&, SharedState&)> use;
};

void setUp(BoardLink& d, SharedState&) {
    d.WriteRegister(DacB, DataRegister, 0x1234);
    d.WriteRegister(DacB, CoarseGainRegister, 1);
    d.WriteRegister(DacC, FineGainRegister, 0x3F);
    d.WriteRegister(DacD, OffsetRegister, 0x80);
    d.WriteRegister(device::FunctionControlWord, FunctionRegister, 0x20);
}

const Scenario kScenarios[] = {
    {"data, range, trims and function register", setUp},
    {"input written without a pulse stays unloaded",
     [](BoardLink& d, SharedState& s) {
         setUp(d, s);
         s.Check1Value = 0;
         d.WriteRegister(DacA, DataRegister, 0x1111);
         d.WriteRegister(AllDacs, CoarseGainRegister, 2);
     }},
    {"CLEAR leaves the inputs and zeroes the outputs",
     [](BoardLink& d, SharedState& s) {
         setUp(d, s);
         d.WriteRegister(device::FunctionClear, FunctionRegister, 0);
     }},
    {"LDAC low passes data straight through",
     [](BoardLink& d, SharedState& s) {
         s.Check1Value = 0;
         s.LdacLine = 0;
         d.WriteControlLines();
         d.WriteRegister(DacC, DataRegister, 0x3333);
     }},
    {"CLR held low",
     [](BoardLink& d, SharedState& s) {
         setUp(d, s);
         s.ClrLine = 0;
         d.WriteControlLines();
         d.WriteRegister(DacA, DataRegister, 0x0F0F);
     }},
    {"two's complement coding and the board driving D0 high",
     [](BoardLink& d, SharedState& s) {
         s.BinTwosCompLine = 0;
         s.DriveD0Line = 1;
         d.WriteControlLines();
         d.DriveRequest(kDriveD0, 1);
         d.WriteRegister(DacD, DataRegister, 0x7FFF);
     }},
    {"a clear in two's complement leaves the unwritten inputs as they powered up",
     [](BoardLink& d, SharedState& s) {
         d.WriteRegister(DacB, DataRegister, 0x1234);
         s.BinTwosCompLine = 0;
         d.WriteControlLines();
         d.WriteRegister(device::FunctionClear, FunctionRegister, 0);
     }},
    {"RSTIN held low",
     [](BoardLink& d, SharedState& s) {
         setUp(d, s);
         s.RstinLine = 0;
         d.WriteControlLines();
     }},
};

class Reconnect : public testing::TestWithParam<std::tuple<Backend, int>> {
protected:
    static void SetUpTestSuite() {
        static int argc = 1;
        static char name[] = "tq_sim_reconnect_tests";
        static char* argv[] = {name, nullptr};
        if (!QCoreApplication::instance()) app = new QCoreApplication(argc, argv);
    }
    void SetUp() override {
        sim("TQSim_Reset")();
        BoardStart::SetFirmwarePath(state, TQ_BIN_DIR);
        shadow.follow(declare);
        state.Check1Value = 1;
    }
    TQSim_Reset_fn sim(const char* entry) {
        return reinterpret_cast<TQSim_Reset_fn>(library.resolveOptional(entry));
    }
    std::string boardState() {
        TQSimRegisters r{};
        reinterpret_cast<TQSim_ReadRegisters_fn>(library.resolveOptional("TQSim_ReadRegisters"))(
            &r);
        return dump(r);
    }

    static inline QCoreApplication* app = nullptr;
    Backend backend = std::get<0>(GetParam());
    DriverLibrary library{QStringLiteral(TQ_SIM_LIBRARY)};
    SharedState state;
    BoardLink declare{state, library, backend};
    RegisterShadow shadow;
    BoardWatch watch{state, declare, library, shadow};
};

TEST_P(Reconnect, UnpluggedInUseAndReplugged_BoardHoldsWhatItHeldBefore) {
    const Scenario& scenario = kScenarios[std::get<1>(GetParam())];
    SCOPED_TRACE(scenario.name);
    ASSERT_TRUE(BoardStart::StartBoard(state, library, backend));
    ASSERT_TRUE(watch.start());
    declare.WriteControlLines();
    scenario.use(declare, state);
    const std::string before = boardState();
    QSignalSpy lost(&watch, &BoardWatch::disconnected);
    QSignalSpy back(&watch, &BoardWatch::reconnected);

    // Twice: what the shadow learnt from the first restore must do for the second.
    for (int cycle = 1; cycle <= 2; ++cycle) {
        SCOPED_TRACE(cycle);
        // The next transfer fails and tells the watch; nothing is tried while it is away.
        sim("TQSim_Unplug")();
        declare.WriteRegister(device::FunctionNoOperation, FunctionRegister, 0);
        EXPECT_EQ(watch.link(), BoardWatch::Link::Disconnected);
        EXPECT_EQ(lost.count(), cycle);
        watch.check();
        EXPECT_EQ(back.count(), cycle - 1);

        sim("TQSim_Replug")();
        watch.check();
        EXPECT_EQ(watch.link(), BoardWatch::Link::Connected);
        EXPECT_EQ(back.count(), cycle);
        EXPECT_EQ(boardState(), before);
        // And transfers go through again.
        declare.WriteRegister(device::FunctionNoOperation, FunctionRegister, 0);
        EXPECT_EQ(state.DriverStatus, 0);
    }
}

INSTANTIATE_TEST_SUITE_P(BothBackends, Reconnect,
                         testing::Combine(testing::Values(Backend::Newer, Backend::Legacy),
                                          testing::Range(0,
                                                         static_cast<int>(std::size(kScenarios)))));

TEST(ReconnectWithoutHelp, ADriverThatCannotTellLeavesTheWatchOff) {
    struct Plain : DriverApi {
        int16_t Search_For_Boards(int32_t, int32_t, int32_t*, uint8_t*) override { return 0; }
        int16_t Connect(int32_t, int32_t, uint8_t, int32_t*) override { return 0; }
        int16_t Download_Firmware(int32_t, uint8_t*) override { return 0; }
        int16_t Vendor_Request(int32_t, uint8_t, int32_t, int32_t, uint8_t, int32_t,
                               uint8_t*) override {
            return -4;
        }
        int16_t LoadFirmWare(uint8_t*) override { return 1; }
        int16_t VendorIORequest(int16_t, int32_t, int32_t, int16_t, int16_t, uint8_t*) override {
            return -4;
        }
    } driver;
    SharedState state;
    BoardLink declare{state, driver, Backend::Newer};
    RegisterShadow shadow;
    BoardWatch watch{state, declare, driver, shadow};
    EXPECT_FALSE(watch.start());
    declare.WriteControlLines();
    EXPECT_EQ(watch.link(), BoardWatch::Link::Unwatched);
}

} // namespace
} // namespace tq::board
