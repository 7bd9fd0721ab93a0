// The "Hardware Configuration" and "Function Register Configuration" panels and the die
// temperature, driven through their real widgets on the simulated board: the traffic each
// control sends, the state and screen it leaves, and what the simulated board does with it.

#include "WindowFixture.h"

#include "ui/main/FunctionPanel.h"
#include "ui/main/HardwarePanel.h"
#include "ui/main/MainForm.h"
#include "ui/main/TemperaturePanel.h"
#include "ui/widgets/Toggle.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QtTest>

#include <functional>

using namespace tq;
using namespace tq::ui;
using namespace tq::test;

namespace {

const char* const kVR = "Vendor_Request";

// A started TQ5802R program whose recorded traffic begins after the start-up.
struct Started {
    Program p;
    MainForm& f;
    HardwarePanel& hw;
    FunctionPanel& fn;
    TemperaturePanel& temp;
    SharedState& s;

    Started()
        : p(makeProgram(kTQ5802R)), f(p.main->form()), hw(f.hardwarePanel()), fn(f.functionPanel()),
          temp(f.temperaturePanel()), s(p.main->state()) {
        if (p.main->start() != 0) qFatal("start-up failed on the simulated board");
        p.driver->calls.clear();
    }

    // The traffic since the last call, as text for readable failures.
    QStringList traffic() {
        QStringList out;
        for (const Call& c : p.driver->calls)
            out << describe(c);
        p.driver->calls.clear();
        return out;
    }
};

QStringList expect(std::initializer_list<Call> calls) {
    QStringList out;
    for (const Call& c : calls)
        out << describe(c);
    return out;
}

void click(QWidget* w) {
    QTest::mouseClick(w, Qt::LeftButton);
}

} // namespace

class TestConfigPanels : public QObject {
    Q_OBJECT

private slots:
    // ---- Hardware Configuration -------------------------------------------------------

    // Each switch flips its own bit of the control-line word, and the board's line follows.
    void controlLineSwitch_data() {
        QTest::addColumn<QString>("toggle");
        QTest::addColumn<int>("value"); // the word after one switch
        QTest::addColumn<int>("index");
        QTest::newRow("Bin / 2sComp") << "Toggle2" << 0x9B << 0;
        QTest::newRow("CLR") << "Toggle8" << 0x97 << 0;
        QTest::newRow("RSTIN") << "Toggle10" << 0x9D << 0;
        QTest::newRow("LDAC") << "Toggle9" << 0x8F << 0;
        QTest::newRow("drive D1") << "Toggle12" << 0x9F << 2;
        QTest::newRow("drive D0") << "Toggle11" << 0x9F << 1;
    }
    void controlLineSwitch() {
        QFETCH(QString, toggle);
        QFETCH(int, value);
        QFETCH(int, index);
        Started w;
        click(w.hw.Check1); // frees LDAC; sends nothing
        auto* t = w.hw.findChild<Toggle*>(toggle);
        for (auto [v, i] : {std::pair{value, index}, std::pair{0x9F, 0}}) {
            click(t);
            QCOMPARE(w.traffic(), expect({vr(kVR, 0xDE, v, i, 0, 0)}));
            const TQSimRegisters r = w.p.driver->registers();
            QCOMPARE(r.ldac << 4 | r.clr << 3 | r.binary << 2 | r.rstin << 1, v & 0x1E);
            QCOMPARE(r.driveLevelD1 << 1 | r.driveLevelD0, i);
        }
    }

    void pulseAfterDataWriteHoldsLdacHigh() {
        Started w;
        click(w.hw.Check1); // unchecked: LDAC stays high, its switch usable
        QCOMPARE(w.s.Check1Value, int16_t{0});
        QVERIFY(w.hw.Toggle9->isEnabled());
        QCOMPARE(w.s.LdacLine, int16_t{1});
        click(w.hw.Toggle9);
        w.traffic();
        click(w.hw.Check1); // checked: raised again, on the switch and on the board
        QVERIFY(w.hw.Toggle9->value());
        QVERIFY(!w.hw.Toggle9->isEnabled());
        QCOMPARE(w.s.LdacLine, int16_t{1});
        QCOMPARE(w.traffic(), expect({vr(kVR, 0xDE, 0x9F, 0, 0, 0)}));
        QCOMPARE(w.p.driver->registers().ldac, uint8_t{1});
    }

    // The lines, CLEAR and LOAD change what the simulated board's outputs do.
    void linesAndCommandsDriveTheOutputs() {
        Started w;
        board::BoardLink& d = w.p.main->declare();
        RecordingDriver& sim = *w.p.driver;
        auto volts = [&] { return sim.outputVolts(0); };
        click(w.hw.Check1); // no pulse: a data write waits in the input register
        d.WriteRegister(0, 2, 0xC000);
        QVERIFY(std::abs(volts()) < 0.2);
        click(w.fn.Command5); // LOAD
        QVERIFY2(std::abs(volts() - 5) < 0.2, qPrintable(QString::number(volts())));
        click(w.hw.Toggle2); // two's complement: 0xC000 is now a negative code
        QVERIFY2(std::abs(volts() + 5) < 0.2, qPrintable(QString::number(volts())));
        click(w.hw.Toggle2);
        click(w.fn.Command4); // CLEAR
        QVERIFY(std::abs(volts()) < 0.2);
        click(w.fn.Command5);
        click(w.hw.Toggle8); // CLR low holds the 0 V code
        QVERIFY(std::abs(volts()) < 0.2);
        click(w.hw.Toggle8);
        click(w.hw.Toggle9); // LDAC low: writes go straight through
        d.WriteRegister(0, 2, 0x4000);
        QVERIFY2(std::abs(volts() + 5) < 0.2, qPrintable(QString::number(volts())));
        click(w.hw.Toggle10); // RSTIN low resets the registers
        QCOMPARE(sim.registers().input[0], uint16_t{0x8000});
        QVERIFY(std::abs(volts()) < 0.2);
    }

    // ---- Function Register Configuration ----------------------------------------------

    void offsetAdjustAndSdoSwitches() {
        Started w;
        click(w.fn.Toggle1);
        QCOMPARE(w.s.LocalGndOffsetBit, int16_t{1});
        QCOMPARE(w.traffic(), expect({vr(kVR, 0xDD, 0x01, 0x20, 0, 0)}));
        click(w.fn.Toggle7);
        QCOMPARE(w.fn.Toggle7->caption(), QStringLiteral("Disabled"));
        QCOMPARE(w.s.SdoDisableBit, int16_t{1});
        QCOMPARE(w.traffic(), expect({vr(kVR, 0xDD, 0x01, 0x21, 0, 0)}));
        QCOMPARE(w.s.FunctionBits, 0x21);
        QCOMPARE(w.p.driver->registers().function, uint16_t{0x21});
    }

    void directionSwitchesDriveEnableAndShowRead() {
        Started w; // both pins inputs
        QVERIFY(w.fn.Command6->isVisible());
        click(w.hw.Toggle12); // the board drives D1 high
        w.traffic();

        click(w.fn.Toggle3); // D1 output
        QCOMPARE(w.traffic(), expect({vr(kVR, 0xDC, 0, 0, 1, 0), vr(kVR, 0xDD, 0x01, 0x10, 0, 0)}));
        QVERIFY(w.fn.Toggle5->isEnabled());
        QVERIFY(!w.hw.Frame21->isEnabled());
        QVERIFY(!w.hw.Toggle12->isEnabled());
        QVERIFY(w.fn.Command6->isVisible());
        QCOMPARE(w.s.D1DirectionBit, int16_t{1});
        QCOMPARE(w.p.driver->registers().driveD1, uint8_t{0});
        // The drive flag survives, and the next control-line word still carries it.
        QCOMPARE(w.s.DriveD1Line, int16_t{1});
        click(w.hw.Toggle8);
        QCOMPARE(w.traffic(), expect({vr(kVR, 0xDE, 0x97, 2, 0, 0)}));

        click(w.fn.Toggle4); // both outputs: nothing left to read
        QCOMPARE(w.traffic(), expect({vr(kVR, 0xDB, 0, 0, 1, 0), vr(kVR, 0xDD, 0x01, 0x14, 0, 0)}));
        QVERIFY(!w.fn.Command6->isVisible());
        QVERIFY(!w.hw.Frame20->isEnabled());

        click(w.fn.Toggle3); // D1 input again
        QCOMPARE(w.traffic(), expect({vr(kVR, 0xDC, 1, 0, 1, 0), vr(kVR, 0xDD, 0x01, 0x04, 0, 0)}));
        QVERIFY(w.fn.Command6->isVisible());
        QVERIFY(!w.fn.Toggle5->isEnabled());
        QVERIFY(w.hw.Frame21->isEnabled());
        QVERIFY(w.hw.Toggle12->isEnabled());
        const TQSimRegisters r = w.p.driver->registers();
        QVERIFY(r.driveD1 && !r.driveD0);
    }

    void levelSwitchesOnlyForOutputs() {
        Started w; // both pins inputs
        click(w.fn.Toggle3);
        click(w.fn.Toggle5);
        QCOMPARE(w.fn.Toggle5->caption(), QStringLiteral("D1 - High"));
        QCOMPARE(w.s.D1LevelBit, int16_t{1});
        w.traffic();

        // D0 is an input: its level switch is disabled, and even if it were reached it
        // sends nothing, changes no flag and keeps showing what it showed.
        QVERIFY(!w.fn.Toggle6->isEnabled());
        w.fn.Toggle6->setEnabled(true);
        click(w.fn.Toggle6);
        QVERIFY(!w.fn.Toggle6->value());
        QCOMPARE(w.s.D0LevelBit, int16_t{0});
        QCOMPARE(w.s.FunctionBits, 0x18);
        QCOMPARE(w.traffic(), QStringList{});

        click(w.fn.Toggle4);
        w.traffic();
        click(w.fn.Toggle6);
        QCOMPARE(w.s.D0LevelBit, int16_t{1});
        QCOMPARE(w.traffic(), expect({vr(kVR, 0xDD, 0x01, 0x1E, 0, 0)}));
    }

    void clearAndLoadArePlainWritesWhilePulsing() {
        Started w;
        QVERIFY(w.hw.Check1->isChecked());
        click(w.fn.Command4);
        click(w.fn.Command5);
        QCOMPARE(w.traffic(), expect({vr(kVR, 0xDD, 0x04, 0, 0, 0), vr(kVR, 0xDD, 0x05, 0, 0, 0)}));
        QCOMPARE(w.s.FunctionBits, 0); // left as the start-up made it
    }

    void readTakesPinLevelsAsDriveLevels() {
        Started w;            // both pins inputs
        click(w.hw.Toggle12); // the board is to drive D1 high...
        click(w.fn.Toggle3);  // ...once D1 is an input again
        click(w.fn.Toggle3);
        w.traffic();

        click(w.fn.Command6);
        QCOMPARE(w.traffic(), expect({vr(kVR, 0xDD, 0x81, 0, 1, 3), vr(kVR, 0xDD, 0x81, 0, 1, 3),
                                      vr(kVR, 0xDD, 0x01, 0x08, 0, 0), vr(kVR, 0xDD, 0x81, 0, 1, 3),
                                      vr(kVR, 0xDD, 0x81, 0, 1, 3)}));
        QCOMPARE(w.s.FunctionBits, 0x08);
        QCOMPARE(w.s.DriveD1Line, int16_t{1});
        QCOMPARE(w.s.DriveD0Line, int16_t{0});
        QCOMPARE(w.fn.Toggle5->caption(), QStringLiteral("D1 - High"));
        QCOMPARE(w.fn.Toggle6->caption(), QStringLiteral("D0 - Low"));
        QCOMPARE(w.s.D1LevelBit, int16_t{0});
    }

    // "Measure" leaves SDO off, so the register cannot answer READ's first read: the word
    // written to turn SDO on is ours, not the noise, and the pins keep their directions.
    void readAfterMeasureTurnsSdoOnAndKeepsThePins() {
        Started w;
        click(w.fn.Toggle3);
        click(w.fn.Toggle5); // D1 an output, high
        click(w.temp.Command7);
        QCOMPARE(w.p.driver->registers().function, uint16_t{0x19});
        w.traffic();

        click(w.fn.Command6);
        QCOMPARE(w.traffic(), expect({vr(kVR, 0xDD, 0x81, 0, 1, 3), vr(kVR, 0xDD, 0x81, 0, 1, 3),
                                      vr(kVR, 0xDD, 0x01, 0x18, 0, 0), vr(kVR, 0xDD, 0x81, 0, 1, 3),
                                      vr(kVR, 0xDD, 0x81, 0, 1, 3)}));
        QCOMPARE(w.p.driver->registers().function, uint16_t{0x18});
        QCOMPARE(w.s.FunctionBits, 0x18);
        QCOMPARE(w.s.DriveD1Line, int16_t{1});
        // SDO is on and shown so; the flag keeps what was set.
        QCOMPARE(w.fn.Toggle7->caption(), QStringLiteral("Enabled"));
        QCOMPARE(w.s.SdoDisableBit, int16_t{1});
        // The next composed word writes bit 0 from the flag again.
        click(w.fn.Toggle1);
        QCOMPARE(w.traffic(), expect({vr(kVR, 0xDD, 0x01, 0x39, 0, 0)}));
    }

    void readOfALowOutputClearsTheDriveFlag() {
        Started w; // both pins inputs
        click(w.hw.Toggle12);
        click(w.fn.Toggle3); // the converter drives D1, low
        click(w.fn.Command6);
        QCOMPARE(w.s.DriveD1Line, int16_t{0});
        QVERIFY(!w.fn.Toggle5->value());
        w.traffic();
        click(w.hw.Toggle10);
        QCOMPARE(w.traffic(), expect({vr(kVR, 0xDE, 0x9D, 0, 0, 0)}));
    }

    // ---- Die temperature ----------------------------------------------------------------

    void measureShowsVoltsAndDegrees_data() {
        QTest::addColumn<int>("reading");
        QTest::addColumn<QString>("volts");
        QTest::addColumn<QString>("celsius");
        QTest::newRow("4") << 4 << ".003"
                           << "-255";
        QTest::newRow("2000") << 2000 << "1.606"
                              << "66";
        QTest::newRow("4095") << 4095 << "3.289"
                              << "402";
        QTest::newRow("1591, just above 0") << 1591 << "1.278"
                                            << "0";
        QTest::newRow("1590, just below 0") << 1590 << "1.277"
                                            << "0";
    }
    void measureShowsVoltsAndDegrees() {
        QFETCH(int, reading);
        QFETCH(QString, volts);
        QFETCH(QString, celsius);
        Started w;
        // The simulated die at the temperature whose reading this is.
        w.p.driver->setDieTemperature((reading * 3.29 / 4096 - 1.2775) / 0.005);
        QCOMPARE(w.fn.Toggle7->caption(), QStringLiteral("Enabled"));
        click(w.temp.Command7);
        QCOMPARE(w.temp.Label23->text(), volts);
        QCOMPARE(w.temp.Label25->text(), celsius);
        QCOMPARE(w.traffic(), expect({vr(kVR, 0xDD, 0x01, 0x01, 0, 0), vr(kVR, 0xDA, 0, 0, 1, 2),
                                      vr(kVR, 0xDA, 0, 0, 1, 2), vr(kVR, 0xDA, 0, 0, 1, 2)}));
        QCOMPARE(w.fn.Toggle7->caption(), QStringLiteral("Disabled"));
        QCOMPARE(w.s.SdoDisableBit, int16_t{1});
        QCOMPARE(w.p.driver->registers().function, uint16_t{0x01});
    }

    void measureUsesTheThirdReadingSigned() {
        Started w;
        click(w.fn.Toggle1);
        w.p.driver->adcReadings = {2000, 4095, -100};
        click(w.temp.Command7);
        QCOMPARE(w.temp.Label23->text(), QStringLiteral("-.080"));
        QCOMPARE(w.temp.Label25->text(), QStringLiteral("-272"));
        QCOMPARE(w.s.FunctionBits, 0x21); // the other bits keep their flags
        QVERIFY(w.p.driver->adcReadings.empty());
    }
};

QTEST_MAIN(TestConfigPanels)
#include "tst_configpanels.moc"
