// The calibration panel through its real widgets on the simulated board: the codes written
// for the edge cases, failures and limits, the steps and the pause, a whole run that removes
// the board's errors, and the "Simulated Board" window's wiring.

#include "WindowFixture.h"
#include "device/RegisterMap.h"
#include "ui/main/CalibrationPanel.h"
#include "ui/main/MainForm.h"
#include "ui/main/RegistersPanel.h"
#include "ui/simboard/SimBoardWindow.h"

#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QtTest>

#include <cmath>

using namespace tq;
using namespace tq::test;
using ui::CalibrationPanel;
using Step = CalibrationPanel::Step;

namespace {

constexpr int32_t kOffsetWrite = 5 << 3, kGainWrite = 4 << 3; // command bytes, channel 0

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
        ui::RegistersPanel& r = p.main->form().registersPanel();
        r.ComboAddr->setCurrentIndex(channel);
        r.ComboAddr_Click();
    }
    // Types `text` into the step's entry and clicks its "Done"; returns the register writes
    // (command byte, data) the click made.
    std::vector<std::pair<int32_t, int32_t>> done(QLineEdit* entry, const QString& text) {
        entry->clear();
        QTest::keyClicks(entry, text);
        const size_t from = p.driver->calls.size();
        QTest::mouseClick(entry == c->TextOff ? c->CommandOff : c->CommandFS, Qt::LeftButton);
        std::vector<std::pair<int32_t, int32_t>> writes;
        for (size_t i = from; i < p.driver->calls.size(); ++i)
            if (const Call& k = p.driver->calls[i]; k.direction == 0 && k.request >= 0)
                writes.emplace_back(k.value, k.index);
        return writes;
    }
    std::vector<std::pair<int32_t, int32_t>> start(QLineEdit* entry, const QString& text) {
        QTest::mouseClick(c->Command8, Qt::LeftButton);
        if (entry == c->TextFS) done(c->TextOff, QStringLiteral("0"));
        return done(entry, text);
    }
};

using Writes = std::vector<std::pair<int32_t, int32_t>>;

} // namespace

class TestCalibration : public QObject {
    Q_OBJECT

private slots:
    void offsetStepWritesCorrectedCode_data() {
        QTest::addColumn<QString>("measured");
        QTest::addColumn<int>("code");
        QTest::newRow("+1 mV: -3.25 LSB") << "0.001" << 230;
        QTest::newRow("-1 mV: +3.25 LSB") << "-0.001" << 26;
        QTest::newRow("0 V: written all the same") << "0" << 0;
    }
    void offsetStepWritesCorrectedCode() {
        QFETCH(QString, measured);
        QFETCH(int, code);
        Run run;
        QCOMPARE(run.start(run.c->TextOff, measured), (Writes{{kOffsetWrite, code}}));
        QCOMPARE(run.p.main->state().DataValue, code);
        QCOMPARE(run.c->step(), Step::Gain);
        QVERIFY(run.boxes.boxes.empty());
    }

    void gainStepWritesCorrectedCode_data() {
        QTest::addColumn<bool>("legacy");
        QTest::addColumn<QString>("measured");
        QTest::addColumn<int>("code");
        QTest::newRow("-10.001 V") << false << "-10.001" << 57;
        QTest::newRow("-9.999 V") << false << "-9.999" << 7;
        QTest::newRow("-9.997 V: 31/32 of 20") << false << "-9.997" << 19;
        QTest::newRow("-9.997 V, TQ5802: 20 itself") << true << "-9.997" << 20;
        QTest::newRow("-10.001 V, TQ5802") << true << "-10.001" << 57;
    }
    void gainStepWritesCorrectedCode() {
        QFETCH(bool, legacy);
        QFETCH(QString, measured);
        QFETCH(int, code);
        Run run(legacy ? ui::kTQ5802 : ui::kTQ5802R);
        QCOMPARE(run.start(run.c->TextFS, measured), (Writes{{kGainWrite, code}}));
        QCOMPARE(run.c->step(), Step::Complete);
        QVERIFY(run.c->LabelComplete->isVisible());
        QVERIFY(!run.c->Command8->isEnabled());
        QVERIFY(run.boxes.boxes.empty());
    }

    // Far from -R (every positive entry is): the message, nothing written, still the gain
    // step, and a corrected entry then succeeds.
    void gainStepRefusesFarMeasurement() {
        Run run;
        QCOMPARE(run.start(run.c->TextFS, QStringLiteral("+10")), Writes{});
        QCOMPARE(run.boxes.boxes.size(), size_t{1});
        QCOMPARE(run.boxes.boxes[0].text, QStringLiteral("A negative number is expected"));
        QCOMPARE(run.boxes.boxes[0].icon, QMessageBox::Warning);
        QVERIFY(run.c->TextFS->text().isEmpty());
        QCOMPARE(run.p.main->form().focusWidget(), run.c->TextFS);
        QCOMPARE(run.c->step(), Step::Gain);
        QCOMPARE(run.done(run.c->TextFS, QStringLiteral("-10.001")), (Writes{{kGainWrite, 57}}));
    }

    // Bad text or an odd read-back in the offset step: a message, nothing written.
    void offsetStepRefusesUnusableInput_data() {
        QTest::addColumn<QString>("measured");
        QTest::addColumn<int>("readBack");
        QTest::newRow("beyond single precision") << "1e39" << -1;
        QTest::newRow("read-back above 32767") << "0.001" << 0x8000;
    }
    void offsetStepRefusesUnusableInput() {
        QFETCH(QString, measured);
        QFETCH(int, readBack);
        Run run;
        if (readBack >= 0) run.p.driver->readAnswers[0x80 | kOffsetWrite] = readBack;
        QCOMPARE(run.start(run.c->TextOff, measured), Writes{});
        QCOMPARE(run.boxes.boxes.size(), size_t{1});
        QCOMPARE(run.boxes.boxes[0].text, QStringLiteral("The measured voltage could not be used"));
        QVERIFY(run.c->TextOff->text().isEmpty());
        QCOMPARE(run.p.main->form().focusWidget(), run.c->TextOff);
        QCOMPARE(run.c->step(), Step::Offset);
    }

    // Corrections beyond the registers are limited, written and reported.
    void limitedResultsAreWrittenAndReported() {
        Run run;
        QCOMPARE(run.start(run.c->TextOff, QStringLiteral("-0.02")), (Writes{{kOffsetWrite, 127}}));
        QCOMPARE(run.c->step(), Step::Gain);
        QCOMPARE(run.done(run.c->TextFS, QStringLiteral("-9.99")), (Writes{{kGainWrite, 30}}));
        QCOMPARE(run.boxes.boxes.size(), size_t{2});
        QVERIFY2(run.boxes.boxes[0].text.contains(QStringLiteral("65.54 LSB")) &&
                     run.boxes.boxes[0].text.contains(QStringLiteral("15.875 LSB was written")),
                 qPrintable(run.boxes.boxes[0].text));
        QVERIFY2(run.boxes.boxes[1].text.contains(QStringLiteral(" 66 ")) &&
                     run.boxes.boxes[1].text.contains(QStringLiteral("30 was written")),
                 qPrintable(run.boxes.boxes[1].text));
        QCOMPARE(run.c->step(), Step::Complete);
    }

    void stepsPauseAndChannel() {
        Run run;
        CalibrationPanel& c = *run.c;
        const auto shown = [&c] {
            QString s;
            for (QWidget* w : c.findChildren<QWidget*>())
                if (w->isVisible()) s += w->objectName() + QLatin1Char(' ');
            return s.trimmed();
        };
        QCOMPARE(shown(), QStringLiteral("Command8"));
        const size_t before = run.p.driver->calls.size();
        QTest::mouseClick(c.Command8, Qt::LeftButton);
        QCOMPARE(run.p.driver->calls.size(), before); // nothing sent
        QCOMPARE(shown(), QStringLiteral("Command8 LabelOff1 LabelOff2 TextOff CommandOff"));
        QVERIFY(!c.Command8->isEnabled());

        // The channel is the one selected when each "Done" is clicked.
        run.select(1);
        QCOMPARE(run.done(c.TextOff, QStringLiteral("0.001")), (Writes{{kOffsetWrite | 1, 230}}));
        QCOMPARE(shown(), QStringLiteral("Command8 LabelFS1 LabelFS2 TextFS CommandFS"));
        run.select(2);
        QCOMPARE(run.done(c.TextFS, QStringLiteral("-10.001")), (Writes{{kGainWrite | 2, 57}}));
        QCOMPARE(shown(), QStringLiteral("Command8 LabelComplete"));

        // The pause serves the window: another panel still reaches the board, Command8 not.
        QTest::mouseClick(c.Command8, Qt::LeftButton);
        QCOMPARE(c.step(), Step::Complete);
        const size_t during = run.p.driver->calls.size();
        QTest::mouseClick(run.p.main->form().registersPanel().command1, Qt::LeftButton);
        QVERIFY(run.p.driver->calls.size() > during);
        QTRY_COMPARE_WITH_TIMEOUT(c.step(), Step::Idle, 10000);
        QCOMPARE(shown(), QStringLiteral("Command8"));
        QVERIFY(c.Command8->isEnabled());

        // The entries keep their texts for the next run.
        QTest::mouseClick(c.Command8, Qt::LeftButton);
        QCOMPARE(c.TextOff->text(), QStringLiteral("0.001"));
        QCOMPARE(c.TextFS->text(), QStringLiteral("-10.001"));
    }

    // A run against the simulated board's voltmeter removes its built-in errors.
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
        board::Declare& d = run.p.main->declare();
        SharedState& s = run.p.main->state();
        run.select(channel);
        const auto ch = static_cast<int16_t>(channel);
        // What the coarse gain choice does: the range register and the shared range.
        d.WriteRegister(ch, device::CoarseGainRegister, coarse);
        s.OutputRangeVolts = device::CoarseGainRanges.at(coarse).fullScaleVolts;
        const double R = s.OutputRangeVolts, lsb = 2 * R / 65536;
        const auto measure = [&](int32_t code) {
            d.WriteRegister(ch, device::DataRegister, code);
            return run.p.driver->outputVolts(channel);
        };
        const auto errorsLsb = [&] {
            return std::max(std::abs(measure(0x8000)) / lsb, std::abs(measure(0) + R) / lsb);
        };
        QVERIFY(errorsLsb() > 3);

        QTest::mouseClick(run.c->Command8, Qt::LeftButton);
        QCOMPARE(run.done(run.c->TextOff, ui::SimBoardWindow::VoltsText(measure(0x8000))).size(),
                 size_t{1});
        QCOMPARE(run.done(run.c->TextFS, ui::SimBoardWindow::VoltsText(measure(0))).size(),
                 size_t{1});
        QVERIFY(run.boxes.boxes.empty());
        QVERIFY2(errorsLsb() < 1, qPrintable(QString::number(errorsLsb())));
    }

    // The simulator's library gets the View menu and its window, which follows every
    // transfer; any other driver gets neither.
    void simulatedBoardWindow() {
        board::DriverLibrary sim(QStringLiteral(TQ_SIM_LIBRARY));
        reinterpret_cast<TQSim_Reset_fn>(sim.resolveOptional("TQSim_Reset"))();
        Main m(ui::kTQ5802R, QStringLiteral(TQ_SIM_LIBRARY), QStringLiteral(TQ_BIN_DIR));
        QCOMPARE(m.start(), 0);
        ui::SimBoardWindow* w = m.simulatedBoard();
        QVERIFY(w);
        QVERIFY(w->isVisible());
        QVERIFY(m.form().MnuView);
        QCOMPARE(m.form().MnuView->title(), QStringLiteral("&View"));
        w->hide();
        QCOMPARE(m.form().MnuView->actions().size(), 1);
        QCOMPARE(m.form().MnuView->actions()[0]->text(), QStringLiteral("&Simulated Board"));
        m.form().MnuView->actions()[0]->trigger();
        QVERIFY(w->isVisible());

        auto* voltsA = w->findChild<QLabel*>(QStringLiteral("VoltsA"));
        QVERIFY(voltsA);
        m.declare().WriteRegister(0, device::DataRegister, 0xFFFF);
        const auto outputVolts =
            reinterpret_cast<TQSim_OutputVolts_fn>(sim.resolveOptional("TQSim_OutputVolts"));
        QVERIFY(outputVolts(0) > 9.9);
        QCOMPARE(voltsA->text(), ui::SimBoardWindow::VoltsText(outputVolts(0)));

        Program other = makeProgram(ui::kTQ5802R);
        QCOMPARE(other.main->start(), 0);
        QVERIFY(!other.main->simulatedBoard());
        QVERIFY(!other.main->form().MnuView);
    }
};

QTEST_MAIN(TestCalibration)
#include "tst_calibration.moc"
