// The "Simulated Board" window on the simulator library, driven through the board layer as
// the program drives it: every transfer refreshes the window.

#include "ui/simboard/OutputTrace.h"
#include "ui/simboard/SimBoardWindow.h"

#include "board/BoardLink.h"
#include "board/BoardStart.h"
#include "device/RegisterMap.h"
#include "device/Temperature.h"

#include <QDoubleSpinBox>
#include <QLabel>
#include <QPushButton>
#include <QtTest>

#include <cmath>
#include <memory>

using namespace tq;
using namespace tq::ui;

class TestSimBoard : public QObject {
    Q_OBJECT

private:
    // One program's worth: the library, the state, the board layer, the window refreshed
    // after every transfer.
    struct Rig {
        board::DriverLibrary library{QStringLiteral(TQ_SIM_LIBRARY)};
        SharedState state;
        board::BoardLink declare{state, library, board::Backend::Newer};
        QWidget host;
        SimBoardWindow* window = nullptr;
        int failures = 0;

        bool start() {
            auto reset = reinterpret_cast<TQSim_Reset_fn>(library.resolveOptional("TQSim_Reset"));
            if (reset == nullptr) return false;
            reset();
            window = SimBoardWindow::create(library, host);
            if (window == nullptr) return false;
            declare.addObserver([this](const board::Transfer& t) {
                failures += t.succeeded() ? 0 : 1;
                window->refresh();
            });
            board::BoardStart::SetFirmwarePath(state, TQ_BIN_DIR);
            return board::BoardStart::StartBoard(state, library, board::Backend::Newer);
        }
        template <typename T> T* find(const char* name) {
            return window->findChild<T*>(QLatin1String(name));
        }
        QString text(const char* name) { return find<QLabel>(name)->text(); }
        double shownVolts(const char* name) { return text(name).chopped(2).toDouble(); }
        double volts(int ch) {
            return reinterpret_cast<TQSim_OutputVolts_fn>(
                library.resolveOptional("TQSim_OutputVolts"))(ch);
        }
    };

private slots:
    void showsEachChannelAsTheVoltmeterReadsIt() {
        Rig rig;
        QVERIFY(rig.start());
        rig.state.Check1Value = 1;
        const QString before = rig.text("VoltsC");

        rig.declare.WriteRegister(device::DacC, device::DataRegister, 0xF000);
        rig.declare.WriteRegister(device::DacA, device::DataRegister, 0x0000);
        QCOMPARE(rig.failures, 0);
        const char* names[] = {"VoltsA", "VoltsB", "VoltsC", "VoltsD"};
        for (int ch = 0; ch < 4; ++ch)
            QCOMPARE(rig.text(names[ch]), QString::asprintf("%.4f V", rig.volts(ch)));
        QCOMPARE(SimBoardWindow::VoltsText(-10.00026), QStringLiteral("-10.0003 V"));
        QVERIFY(!SimBoardWindow::VoltsText(std::nan("")).contains(QLatin1String("nan")));
        QVERIFY(rig.text("VoltsC") != before);
        QVERIFY(rig.shownVolts("VoltsC") > 8.0);                   // near +R x 0xF000 / 0x8000 - R
        QVERIFY(std::abs(rig.shownVolts("VoltsA") + 10.0) < 0.01); // -R, give or take its errors
        QCOMPARE(rig.text("CodeC"), QStringLiteral("0xF000  \u00B110 V"));

        // The line states follow the control-line word.
        QCOMPARE(rig.text("CodingState"), QStringLiteral("binary"));
        rig.state.BinTwosCompLine = 0;
        rig.state.LdacLine = 0;
        rig.declare.WriteControlLines();
        QCOMPARE(rig.text("CodingState"), QStringLiteral("2s comp"));
        QCOMPARE(rig.text("LdacState"), QStringLiteral("low"));
        QCOMPARE(rig.text("FirmwareState"), QStringLiteral("running"));
        // The same code means another voltage under two's complement coding.
        QCOMPARE(rig.text("VoltsC"), QString::asprintf("%.4f V", rig.volts(2)));
        QVERIFY(rig.shownVolts("VoltsC") < 0.0);

        // Its SCPI meter starts on demand, once, and the window says where.
        const int port = rig.window->startMeter();
        QVERIFY(port > 0);
        QCOMPARE(rig.window->startMeter(), port);
        QVERIFY(rig.text("MeterAddress").contains(QStringLiteral("tcp://127.0.0.1:%1").arg(port)));
    }

    // The trace keeps a sample for each change of the outputs, and only for a change.
    void traceFollowsTheOutputs() {
        Rig rig;
        QVERIFY(rig.start());
        rig.state.Check1Value = 1;
        const auto* trace = rig.window->findChild<OutputTrace*>();
        QVERIFY(trace);
        const std::size_t before = trace->samples();
        for (const int32_t code : {0x1000, 0x2000, 0x2000, 0x1000})
            rig.declare.WriteRegister(device::DacB, device::DataRegister, code);
        QCOMPARE(trace->samples(), before + 3);
    }

    void temperatureSpinSetsWhatTheBoardReports() {
        Rig rig;
        QVERIFY(rig.start());
        auto* spin = rig.find<QDoubleSpinBox>("TemperatureSpin");
        QCOMPARE(spin->value(), 25.0);

        for (const double celsius : {100.0, -40.0, 36.6}) {
            spin->setValue(celsius);
            const int16_t reading = rig.declare.ReadAdcWord();
            // 1.2775 V at 0 degrees, 5 mV per degree, 4096 counts = 3.29 V.
            const double expected = (1.2775 + 0.005 * celsius) / 3.29 * 4096.0;
            QVERIFY(std::abs(reading - expected) <= 1.0);
            QVERIFY(std::abs(device::TemperatureFromReading(reading).celsius - celsius) < 0.5);
        }

        // A reset of the simulator shows at the next refresh.
        reinterpret_cast<TQSim_Reset_fn>(rig.library.resolveOptional("TQSim_Reset"))();
        rig.window->refresh();
        QCOMPARE(spin->value(), 25.0);
    }

    void unplugFailsTransfersAndReplugNeedsANewStart() {
        Rig rig;
        QVERIFY(rig.start());
        auto* unplug = rig.find<QPushButton>("UnplugButton");
        auto* replug = rig.find<QPushButton>("ReplugButton");
        auto* note = rig.find<QLabel>("NoteLabel");
        QCOMPARE(rig.text("AttachedState"), QStringLiteral("attached"));
        QVERIFY(unplug->isEnabled() && !replug->isEnabled());
        QVERIFY(!note->isVisibleTo(rig.window));

        QTest::mouseClick(unplug, Qt::LeftButton);
        rig.declare.WriteRegister(device::DacA, device::DataRegister, 0x1234);
        QVERIFY(rig.state.DriverStatus != 0);
        QCOMPARE(rig.failures, 1);
        QCOMPARE(rig.text("AttachedState"), QStringLiteral("unplugged"));
        QCOMPARE(rig.text("FirmwareState"), QStringLiteral("not loaded"));
        QVERIFY(!unplug->isEnabled() && replug->isEnabled());
        QVERIFY(note->isVisibleTo(rig.window));

        // Replugged, the board is powered afresh but nobody has reconnected to it.
        QTest::mouseClick(replug, Qt::LeftButton);
        QCOMPARE(note->text(),
                 QStringLiteral("Board replugged: waiting for the program to reconnect"));
        QCOMPARE(rig.text("AttachedState"), QStringLiteral("attached"));
        rig.declare.WriteRegister(device::DacA, device::DataRegister, 0x1234);
        QVERIFY(rig.state.DriverStatus != 0);
        QVERIFY(note->isVisibleTo(rig.window));

        // A new start (what the program does once it notices the board) works and retires
        // the note.
        QVERIFY(board::BoardStart::StartBoard(rig.state, rig.library, board::Backend::Newer));
        rig.declare.WriteRegister(device::DacA, device::DataRegister, 0x1234);
        QCOMPARE(rig.state.DriverStatus, int16_t{0});
        QVERIFY(!note->isVisibleTo(rig.window));
    }

    void otherLibrariesGetNoWindow() {
        QWidget host;
        board::DriverLibrary partial{QStringLiteral(TQ_PARTIAL_DRIVER)};
        QVERIFY(SimBoardWindow::create(partial, host) == nullptr);
        board::DriverLibrary missing{QStringLiteral("/nonexistent/libTQ5802Sim.so")};
        QVERIFY(SimBoardWindow::create(missing, host) == nullptr);
        QVERIFY(host.findChildren<SimBoardWindow*>().isEmpty());
    }
};

QTEST_MAIN(TestSimBoard)
#include "tst_simboard.moc"
