// The board layer (BoardStart, BoardLink, DriverLibrary) with our USB driver library against the
// emulated board with the simulated board's model behind it, compared with the same steps on
// the simulator's own driver library: same traffic, same results.

#include "EmulatedBoard.h"
#include "SimBehindUsb.h"

#include "board/BoardLink.h"
#include "board/DriverLibrary.h"
#include "board/SharedState.h"
#include "board/BoardStart.h"
#include "drivers/sim/sim_abi.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include <vector>

namespace {

using tq::SharedState;
using tq::board::Backend;
using tq::board::BoardLink;
using tq::board::DriverLibrary;
using tq::board::Transfer;
namespace BoardStart = tq::board::BoardStart;

struct Session {
    bool started = false;
    int32_t handle = 0;
    std::vector<Transfer> transfers;
    std::vector<int32_t> reads;
    int16_t adc = 0;
};

Session runSession(DriverLibrary& driver, Backend backend) {
    SharedState state;
    BoardStart::SetFirmwarePath(state, TQ_BIN_DIR);
    BoardLink declare(state, driver, backend);
    Session run;
    declare.addObserver([&run](const Transfer& t) { run.transfers.push_back(t); });
    run.started = BoardStart::StartBoard(state, driver, backend);
    run.handle = state.BoardHandle;
    state.Check1Value = 1;
    declare.WriteControlLines();
    declare.WriteRegister(0, 2, 0x1234); // data register, DAC A
    run.reads.push_back(declare.ReadRegister(0, 2));
    declare.WriteRegister(3, 4, 0x0021); // fine gain, DAC D
    run.reads.push_back(declare.ReadRegister(3, 4));
    run.reads.push_back(declare.ReadRegister(1, 0)); // function register
    run.adc = declare.ReadAdcWord();
    declare.DriveRequest(tq::board::kDriveD0, 1);
    return run;
}

// Each case must run in a process of its own (ctest runs them so): a driver library loaded
// by an earlier case keeps its libusb context, and that breaks the emulation of a later
// testbed's re-enumerated device.
class BoardOverUsb : public testing::TestWithParam<Backend> {};

TEST_P(BoardOverUsb, SameTrafficAndResultsAsTheSimulatorLibrary) {
    const Backend backend = GetParam();
    // The emulated bus must exist before either library makes its libusb context.
    tq::usbtest::EmulatedBoard device(backend == Backend::Newer ? 10 : 20);
    tq::sim::SimBoard model;
    tq::usbtest::putSimBehind(device, model);
    device.setAfterRelease(tq::usbtest::AfterRelease::Renumerate);
    device.plug();

    DriverLibrary simLibrary(QStringLiteral(TQ_BIN_DIR "/libTQ5802Sim.so"));
    const auto reset = reinterpret_cast<TQSim_Reset_fn>(simLibrary.resolveOptional("TQSim_Reset"));
    ASSERT_NE(reset, nullptr);
    reset();
    const Session sim = runSession(simLibrary, backend);

    DriverLibrary usbLibrary(backend == Backend::Newer
                                 ? QStringLiteral(TQ_BIN_DIR "/libQRV_CYUSB_USB4.so")
                                 : QStringLiteral(TQ_BIN_DIR "/libUSBFunctions.so"));
    const Session usb = runSession(usbLibrary, backend);

    ASSERT_TRUE(sim.started);
    ASSERT_TRUE(usb.started);
    if (backend == Backend::Newer) {
        EXPECT_NE(usb.handle, 0);
    }
    EXPECT_EQ(device.enumerations(), 2); // the download made the board re-enumerate
    EXPECT_TRUE(model.firmwareRunning());
    EXPECT_EQ(usb.reads, sim.reads);
    EXPECT_EQ(usb.reads[0], 0x1234);
    EXPECT_EQ(usb.adc, sim.adc);
    ASSERT_EQ(usb.transfers.size(), sim.transfers.size());
    for (std::size_t i = 0; i < sim.transfers.size(); ++i) {
        const Transfer& a = usb.transfers[i];
        const Transfer& b = sim.transfers[i];
        EXPECT_EQ(a.request, b.request) << i;
        EXPECT_EQ(a.value, b.value) << i;
        EXPECT_EQ(a.index, b.index) << i;
        EXPECT_EQ(a.direction, b.direction) << i;
        EXPECT_EQ(a.length, b.length) << i;
        EXPECT_EQ(a.received, b.received) << i;
        EXPECT_EQ(a.status, 0) << i;
        EXPECT_EQ(b.status, 0) << i;
    }

    // And on the wire: one vendor control transfer per request, as the board layer saw it.
    std::vector<tq::usbtest::ControlRecord> wire;
    for (const auto& r : device.records())
        if ((r.setup.requestType & 0x60) == 0x40 && r.setup.request != 0xA0) wire.push_back(r);
    ASSERT_EQ(wire.size(), usb.transfers.size());
    for (std::size_t i = 0; i < wire.size(); ++i) {
        EXPECT_EQ(wire[i].setup.request, usb.transfers[i].request) << i;
        EXPECT_EQ(wire[i].setup.value, usb.transfers[i].value) << i;
        EXPECT_EQ(wire[i].setup.index, usb.transfers[i].index) << i;
        EXPECT_EQ(wire[i].setup.in(), usb.transfers[i].direction == 1) << i;
        EXPECT_EQ(wire[i].setup.length, usb.transfers[i].length) << i;
    }
}

// Why a start failed reaches the program through the library's Last_Error_Text: first with
// no board attached, then with one and an image that writes the CPU's reset register.
TEST(BoardOverUsbFailure, TheLibraryTellsWhyTheStartFailed) {
    tq::usbtest::EmulatedBoard device(30);
    DriverLibrary usbLibrary(QStringLiteral(TQ_BIN_DIR "/libQRV_CYUSB_USB4.so"));
    const QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    {
        QFile image(dir.filePath(QString::fromLatin1(BoardStart::kFirmwareFile)));
        ASSERT_TRUE(image.open(QIODevice::WriteOnly));
        image.write(":0100000055AA\n:01E600000019\n:00000001FF\n");
    }
    struct Step {
        bool plugged;
        const char* reason;
    };
    for (const Step step : {Step{false, "no board with USB id 0456:b202 is attached"},
                            Step{true, "TQ5802.hex line 2: data at 0xE600"}}) {
        if (step.plugged) device.plug();
        SharedState state;
        BoardStart::SetFirmwarePath(state, dir.path().toStdString());
        EXPECT_FALSE(BoardStart::StartBoard(state, usbLibrary, Backend::Newer));
        const std::string text = usbLibrary.lastErrorText();
        EXPECT_NE(text.find(step.reason), std::string::npos) << text;
    }
    // The image was refused before anything went to the board.
    for (const auto& r : device.records())
        EXPECT_NE(r.setup.request, 0xA0);
}

INSTANTIATE_TEST_SUITE_P(Backends, BoardOverUsb, testing::Values(Backend::Newer, Backend::Legacy),
                         [](const auto& info) {
                             return info.param == Backend::Newer ? "Newer" : "Legacy";
                         });

} // namespace
