// The calibration panel through its real widgets on the simulated board: the codes written
// for the edge cases, failures and limits, the steps and the pause, a whole run that removes
// the board's errors, and the "Simulated Board" window's wiring.

#include "WindowFixture.h"
#include "device/RegisterMap.h"
#include "ui/main/CalibrationPanel.h"
#include "ui/main/FunctionPanel.h"
#include "ui/main/MainForm.h"
#include "ui/main/RegistersPanel.h"
#include "ui/main/TemperaturePanel.h"
#include "ui/simboard/SimBoardWindow.h"
#include "ui/widgets/Toggle.h"

#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QtTest>

#include <algorithm>
#include <cmath>

Q_DECLARE_METATYPE(tq::ui::CalibrationPanel::Step)

using namespace tq;
using namespace tq::test;
using ui::CalibrationPanel;
using Step = CalibrationPanel::Step;

namespace {

struct Run {
    Program p;
    CalibrationPanel* c;
    BoxAnswerer boxes;

    explicit Run(const Variant& v = ui::kTQ5802R) : p(makeProgram(v)) {
        if (p.main->start() != 0) qFatal("start-up failed");
        c = &p.main->form().calibrationPanel();
        QVERIFY(QTest::qWaitForWindowActive(&p.main->form()));
    }
    void select(int channel) {
        p.main->form().registersPanel().ComboAddr->setCurrentIndex(channel);
        p.main->form().registersPanel().ComboAddr_Click();
    }
    // Types into the step's entry and clicks its "Done"; the register writes it made, each
    // as "command byte=data" in hex.
    QString done(QLineEdit* entry, const QString& text) {
        entry->clear();
        QTest::keyClicks(entry, text);
        const size_t from = p.driver->calls.size();
        QTest::mouseClick(entry == c->TextOff ? c->CommandOff : c->CommandFS, Qt::LeftButton);
        QStringList writes;
        for (size_t i = from; i < p.driver->calls.size(); ++i)
            if (const Call& k = p.driver->calls[i]; k.direction == 0 && k.request >= 0)
                writes << QStringLiteral("%1=%2").arg(k.value, 0, 16).arg(k.index);
        return writes.join(QLatin1Char(' '));
    }
    QString shown() const {
        QStringList names;
        for (QWidget* w : c->findChildren<QWidget*>())
            if (w->isVisible()) names << w->objectName();
        return names.join(QLatin1Char(' '));
    }
};

} // namespace

class TestCalibration : public QObject {
    Q_OBJECT

private slots:
    void codesWrittenAndRefusals_data() {
        QTest::addColumn<bool>("legacy");
        QTest::addColumn<int>("readBack"); // offset register read-back, -1: the board's
        QTest::addColumn<QString>("off");
        QTest::addColumn<QString>("fs"); // empty: the run stops after the offset step
        QTest::addColumn<QString>("writes");
        QTest::addColumn<QStringList>("boxes");
        QTest::addColumn<Step>("step");
        const auto row = [](const char* name, bool legacy, int readBack, const char* off,
                            const char* fs, const char* writes, QStringList boxes, Step step) {
            QTest::newRow(name) << legacy << readBack << QString::fromLatin1(off)
                                << QString::fromLatin1(fs) << QString::fromLatin1(writes) << boxes
                                << step;
        };
        const QStringList none, unusable{"The measured voltage could not be used"};
        row("+1 mV", false, -1, "0.001", "", "28=230", none, Step::Gain);
        row("-1 mV", false, -1, "-0.001", "", "28=26", none, Step::Gain);
        row("0 V", false, -1, "0", "", "28=0", none, Step::Gain);
        row("+0.01 mV: -0.033 LSB is code 0", false, -1, "0.00001", "", "28=0", none, Step::Gain);
        row("-10.001 V", false, -1, "0", "-10.001", "28=0 20=57", none, Step::Complete);
        row("-9.999 V", false, -1, "0", "-9.999", "28=0 20=7", none, Step::Complete);
        row("-9.997 V: 31/32 of 20", false, -1, "0", "-9.997", "28=0 20=19", none, Step::Complete);
        row("-9.997 V, TQ5802: 20", true, -1, "0", "-9.997", "28=0 20=20", none, Step::Complete);
        row("+10 V refused", false, -1, "0", "+10", "28=0", {"A negative number is expected"},
            Step::Gain);
        row("offset text beyond a float", false, -1, "1e39", "", "", unusable, Step::Offset);
        row("offset read-back above 32767", false, 0x8000, "0.001", "", "", unusable, Step::Offset);
        row("both limited, written and told", false, -1, "-0.02", "-9.99", "28=127 20=30",
            {"offset of 65.54 LSB", "; 15.875 LSB was written.", "fine gain of 66 is",
             "; 30 was written."},
            Step::Complete);
    }
    void codesWrittenAndRefusals() {
        QFETCH(bool, legacy);
        QFETCH(int, readBack);
        QFETCH(QString, off);
        QFETCH(QString, fs);
        QFETCH(QString, writes);
        QFETCH(QStringList, boxes);
        QFETCH(Step, step);
        Run run(legacy ? ui::kTQ5802 : ui::kTQ5802R);
        if (readBack >= 0) run.p.driver->readAnswers[0xA8] = readBack;
        QTest::mouseClick(run.c->Command8, Qt::LeftButton);
        QString got = run.done(run.c->TextOff, off);
        if (!fs.isEmpty()) got += QLatin1Char(' ') + run.done(run.c->TextFS, fs);
        QCOMPARE(got.trimmed(), writes);
        QCOMPARE(run.p.driver->registers().strayWrites, 0u); // every code within its field
        QCOMPARE(run.c->step(), step);
        QString told;
        for (const auto& box : run.boxes.boxes) {
            QCOMPARE(box.icon, QMessageBox::Warning);
            told += box.text;
        }
        for (const QString& part : boxes)
            QVERIFY2(told.contains(part), qPrintable(told));
        if (boxes.isEmpty()) QVERIFY2(told.isEmpty(), qPrintable(told));
        if (step != Step::Complete && !boxes.isEmpty()) { // refused: entry emptied, focused
            QLineEdit* entry = step == Step::Gain ? run.c->TextFS : run.c->TextOff;
            QVERIFY(entry->text().isEmpty());
            QCOMPARE(run.p.main->form().focusWidget(), entry);
        }
    }

    // "Measure" leaves SDO off, so neither trim register can be read back: the user is told
    // to switch SDO on, nothing is written and the reading stays; with SDO on it goes ahead.
    void sdoOffIsNamedAndTheReadingKept_data() {
        QTest::addColumn<bool>("gainStep");
        QTest::addColumn<QString>("entered");
        QTest::addColumn<QString>("registerName");
        QTest::addColumn<QString>("writes"); // once SDO is on again
        QTest::newRow("offset step") << false << "0.001"
                                     << "offset"
                                     << "28=230";
        QTest::newRow("gain step") << true << "-10.001"
                                   << "fine gain"
                                   << "20=57";
    }
    void sdoOffIsNamedAndTheReadingKept() {
        QFETCH(bool, gainStep);
        QFETCH(QString, entered);
        QFETCH(QString, registerName);
        QFETCH(QString, writes);
        Run run;
        ui::MainForm& f = run.p.main->form();
        QTest::mouseClick(run.c->Command8, Qt::LeftButton);
        if (gainStep) run.done(run.c->TextOff, QStringLiteral("0"));
        QTest::mouseClick(f.temperaturePanel().Command7, Qt::LeftButton);
        QLineEdit* entry = gainStep ? run.c->TextFS : run.c->TextOff;
        QCOMPARE(run.done(entry, entered), QString());
        QCOMPARE(run.c->step(), gainStep ? Step::Gain : Step::Offset);
        QCOMPARE(entry->text(), entered);
        QCOMPARE(run.boxes.boxes.size(), size_t{1});
        QCOMPARE(run.boxes.boxes[0].icon, QMessageBox::Warning);
        QVERIFY2(run.boxes.boxes[0].text.contains(
                     QStringLiteral("The %1 register could not be read back with Serial Data "
                                    "Output (SDO) off. Switch SDO on")
                         .arg(registerName)),
                 qPrintable(run.boxes.boxes[0].text));

        QTest::mouseClick(f.functionPanel().Toggle7, Qt::LeftButton); // "Enabled"
        QVERIFY(!f.functionPanel().Toggle7->value());
        QCOMPARE(run.done(entry, entered), writes);
        QCOMPARE(run.boxes.boxes.size(), size_t{1});
    }

    void stepsPauseAndChannel() {
        Run run;
        CalibrationPanel& c = *run.c;
        QCOMPARE(run.shown(), QStringLiteral("Command8"));
        const size_t before = run.p.driver->calls.size();
        QTest::mouseClick(c.Command8, Qt::LeftButton);
        QCOMPARE(run.p.driver->calls.size(), before); // nothing sent
        QCOMPARE(run.shown(), QStringLiteral("Command8 LabelOff1 LabelOff2 TextOff CommandOff"));
        QVERIFY(!c.Command8->isEnabled());
        // The channel is the one selected when each "Done" is clicked.
        run.select(1);
        QCOMPARE(run.done(c.TextOff, QStringLiteral("0.001")), QStringLiteral("29=230"));
        QCOMPARE(run.shown(), QStringLiteral("Command8 LabelFS1 LabelFS2 TextFS CommandFS"));
        run.select(2);
        QCOMPARE(run.done(c.TextFS, QStringLiteral("-10.001")), QStringLiteral("22=57"));
        QCOMPARE(run.shown(), QStringLiteral("Command8 LabelComplete"));
        // The pause serves the window: another panel still reaches the board, Command8 not.
        QTest::mouseClick(c.Command8, Qt::LeftButton);
        QCOMPARE(c.step(), Step::Complete);
        const size_t during = run.p.driver->calls.size();
        QTest::mouseClick(run.p.main->form().registersPanel().command1, Qt::LeftButton);
        QVERIFY(run.p.driver->calls.size() > during);
        QTRY_COMPARE_WITH_TIMEOUT(c.step(), Step::Idle, 10000);
        QCOMPARE(run.shown(), QStringLiteral("Command8"));
        QVERIFY(c.Command8->isEnabled());
        // The entries keep their texts for the next run.
        QTest::mouseClick(c.Command8, Qt::LeftButton);
        QCOMPARE(c.TextOff->text() + c.TextFS->text(), QStringLiteral("0.001-10.001"));
    }

    // A run typing in the simulated board's voltmeter readings removes its built-in errors.
    void runRemovesBoardErrors_data() {
        QTest::addColumn<int>("channel");
        QTest::addColumn<int>("coarse");
        QTest::newRow("DAC A, 10 V") << 0 << 0;
        QTest::newRow("DAC D, 10.5263 V") << 3 << 2;
    }
    void runRemovesBoardErrors() {
        QFETCH(int, channel);
        QFETCH(int, coarse);
        Run run;
        board::BoardLink& d = run.p.main->declare();
        const auto ch = static_cast<int16_t>(channel);
        run.select(channel);
        // What the coarse gain choice does: the range register and the shared range.
        d.WriteRegister(ch, device::CoarseGainRegister, coarse);
        const double R = run.p.main->state().OutputRangeVolts =
            device::CoarseGainRanges.at(coarse).fullScaleVolts;
        const auto load = [&](int32_t code) {
            d.WriteRegister(ch, device::DataRegister, code);
            return run.p.driver->outputVolts(channel);
        };
        const auto worstLsb = [&] {
            return std::max(std::abs(load(0x8000)), std::abs(load(0) + R)) / (2 * R / 65536);
        };
        QVERIFY(worstLsb() > 3);
        QTest::mouseClick(run.c->Command8, Qt::LeftButton);
        QVERIFY(!run.done(run.c->TextOff, ui::SimBoardWindow::VoltsText(load(0x8000))).isEmpty());
        QVERIFY(!run.done(run.c->TextFS, ui::SimBoardWindow::VoltsText(load(0))).isEmpty());
        QVERIFY(run.boxes.boxes.empty());
        QVERIFY2(worstLsb() < 1, qPrintable(QString::number(worstLsb())));
    }

    // The simulator's library gets its window in the View menu, beside the traffic; the
    // window follows every transfer. Any other driver gets the traffic alone.
    void simulatedBoardWindow() {
        board::DriverLibrary sim(QStringLiteral(TQ_SIM_LIBRARY));
        reinterpret_cast<TQSim_Reset_fn>(sim.resolveOptional("TQSim_Reset"))();
        Main m(ui::kTQ5802R, QStringLiteral(TQ_SIM_LIBRARY), QStringLiteral(TQ_BIN_DIR));
        QCOMPARE(m.start(), 0);
        QTRY_VERIFY(m.simulatedBoard()); // once the main window has been painted
        ui::SimBoardWindow* w = m.simulatedBoard();
        QVERIFY(w->isVisible() && m.form().MnuView);
        QCOMPARE(m.form().MnuView->title(), QStringLiteral("&View"));
        w->hide();
        QCOMPARE(m.form().MnuView->actions().size(), 2);
        QCOMPARE(m.form().MnuView->actions()[0]->text(), QStringLiteral("&Simulated Board"));
        QCOMPARE(m.form().MnuView->actions()[1]->text(), QStringLiteral("USB Traffic"));
        m.form().MnuView->actions()[0]->trigger();
        QVERIFY(w->isVisible());

        m.declare().WriteRegister(0, device::DataRegister, 0xFFFF);
        const double volts =
            reinterpret_cast<TQSim_OutputVolts_fn>(sim.resolveOptional("TQSim_OutputVolts"))(0);
        QVERIFY(volts > 9.9);
        QCOMPARE(w->findChild<QLabel*>(QStringLiteral("VoltsA"))->text(),
                 ui::SimBoardWindow::VoltsText(volts));

        Program other = makeProgram(ui::kTQ5802R);
        QCOMPARE(other.main->start(), 0);
        QTest::qWait(100);
        QVERIFY(!other.main->simulatedBoard() && other.main->form().MnuView);
        QCOMPARE(other.main->form().MnuView->actions().size(), 1);
        QCOMPARE(other.main->form().MnuView->actions()[0]->text(), QStringLiteral("USB Traffic"));
    }
};

QTEST_MAIN(TestCalibration)
#include "tst_calibration.moc"
