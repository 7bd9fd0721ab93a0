// "Calibrate with Meter..." on the simulated board with its simulated meter: a run cancelled
// half way leaves every trim as it was, a full run fills the table; and sweep plots are
// written without a display.

#include "main/WindowFixture.h"

#include "bench/Sweep.h"
#include "plot/SweepPlot.h"
#include "ui/bench/TrafficAndReplug.h"
#include "ui/bench/MeterCalibrationDialog.h"
#include "ui/main/MainForm.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QSpinBox>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <cstdlib>
#include <cstring>

using namespace tq;
using namespace tq::ui;
using namespace tq::plot;
using namespace tq::test;

class TestMeterDialog : public QObject {
    Q_OBJECT

private slots:
    void calibratesAndCancels() {
        Program p = makeProgram(kTQ5802R);
        QCOMPARE(p.main->start(), 0);
        MainForm& f = p.main->form();
        board::DriverLibrary sim{QStringLiteral(TQ_SIM_LIBRARY)};
        const int port =
            reinterpret_cast<TQSim_StartMeter_fn>(sim.resolveOptional("TQSim_StartMeter"))();
        QVERIFY(port > 0);
        const QString url = QStringLiteral("tcp://127.0.0.1:%1").arg(port);
        f.offerMeter(url, QStringLiteral("ROUT:CLOS (@{n})"));

        // Every channel well off.
        bench::Bench b(p.main->declare(), *p.driver, bench::Model::TQ5802R);
        for (const bench::Channel c : bench::kChannels) {
            QVERIFY(b.setOffset(c, bench::ChannelIndex(c) % 2 ? -3 : 3));
            QVERIFY(b.setFineGain(c, -9));
        }
        const TQSimRegisters before = p.driver->registers();

        f.MnuMeterCalibration->trigger();
        auto* d = f.findChild<MeterCalibrationDialog*>();
        QVERIFY(d && d->isVisible());
        QCOMPARE(d->MeterRoute->text(), QStringLiteral("ROUT:CLOS (@{n})"));
        QCOMPARE(d->MeterUrl->text(), url);
        d->MeterSettle->setValue(0);
        d->MeterSamples->setValue(2);

        // The meter left on DAC A while B is calibrated: an error naming it, nothing changed.
        d->Channels[0]->setChecked(false);
        d->MeterRoute->setText(QStringLiteral("ROUT:CLOS (@1)"));
        QTest::mouseClick(d->StartButton, Qt::LeftButton);
        QVERIFY2(d->Status->text().contains(QLatin1String("is it on DAC B?")),
                 qPrintable(d->Status->text()));
        const TQSimRegisters refused = p.driver->registers();
        QCOMPARE(std::memcmp(&before, &refused, sizeof before), 0);
        d->Channels[0]->setChecked(true);
        d->MeterRoute->setText(QStringLiteral("ROUT:CLOS (@{n})"));

        // Cancelled in the middle of channel B: the trims are back as they were. Meanwhile the
        // dialog alone takes input and the board watch leaves the bus alone.
        const board::BoardWatch& watch = f.findChild<TrafficAndReplug*>()->watch();
        int seen = 0;
        auto once = connect(d, &MeterCalibrationDialog::progressed, d, [&](int step, int steps) {
            QVERIFY(step < steps && d->Progress->value() == step && d->running());
            QVERIFY(QApplication::activeModalWidget() == d && d->isVisible() && watch.paused());
            if (++seen == 12) QTest::mouseClick(d->CancelButton, Qt::LeftButton);
        });
        QTest::mouseClick(d->StartButton, Qt::LeftButton);
        disconnect(once);
        QVERIFY(seen >= 12 && !d->running());
        QVERIFY2(d->Status->text().startsWith(QStringLiteral("Cancelled")),
                 qPrintable(d->Status->text()));
        QCOMPARE(d->Results->rowCount(), 0);
        const TQSimRegisters cancelled = p.driver->registers();
        QCOMPARE(std::memcmp(&before, &cancelled, sizeof before), 0);
        QVERIFY(d->StartButton->isEnabled() && !d->CancelButton->isEnabled());
        QVERIFY(d->windowModality() == Qt::NonModal && d->isVisible() && !watch.paused());

        // A full run: the table holds every channel, within half an LSB after.
        QSignalSpy finished(d, &MeterCalibrationDialog::finished);
        QTest::mouseClick(d->StartButton, Qt::LeftButton);
        QCOMPARE(finished.size(), 1);
        QVERIFY2(finished[0][0].toBool(), qPrintable(d->Status->text()));
        QCOMPARE(d->Results->rowCount(), 4);
        QCOMPARE(d->Progress->value(), d->Progress->maximum());
        for (int row = 0; row < 4; ++row) {
            QCOMPARE(d->Results->item(row, 0)->text(),
                     QStringLiteral("DAC %1").arg(QChar(u'A' + row)));
            QVERIFY(std::abs(d->Results->item(row, 1)->text().toDouble()) > 2);
            QVERIFY(std::abs(d->Results->item(row, 3)->text().toDouble()) <= 0.5);
            QVERIFY(std::abs(d->Results->item(row, 7)->text().toDouble()) <= 0.5);
        }
        const TQSimRegisters after = p.driver->registers();
        QVERIFY(std::memcmp(before.offset, after.offset, sizeof before.offset) != 0);
        QVERIFY(std::memcmp(before.input, after.input, sizeof before.input) == 0);
    }

    // A plot written to PNG and to SVG on the offscreen platform; a path that cannot be
    // written is an error, not a crash.
    void plotsWithoutADisplay() {
        bench::SweepResult r;
        r.channel = bench::Channel::B;
        for (int32_t code = 0; code <= 65535; code += 256) {
            const int32_t c = std::min(code, 65535);
            const double x = (c - 32768) / 32768.0;
            bench::SweepPoint pt;
            pt.code = c;
            pt.volts = -10 + c * 20.0 / 65536 + 0.0003 * (1 - x * x);
            r.points.push_back(pt);
            if (c == 65280) {
                pt.code = 65535;
                pt.volts = -10 + 65535 * 20.0 / 65536;
                r.points.push_back(pt);
            }
        }
        QVERIFY(bench::AnalyseSweep(r));
        QTemporaryDir dir;
        const QString png = dir.filePath(QStringLiteral("sweep.png"));
        const QString svg = dir.filePath(QStringLiteral("sweep.SVG"));
        QVERIFY(RenderSweepPlot(r, png, QSize(800, 900)));
        QVERIFY(RenderSweepPlot(r, svg));
        QImage image(png);
        QCOMPARE(image.size(), QSize(800, 900));
        int dark = 0;
        for (int y = 0; y < image.height(); y += 4)
            for (int x = 0; x < image.width(); x += 4)
                dark += qGray(image.pixel(x, y)) < 128;
        QVERIFY(dark > 200); // axes, labels and curves, not a blank page
        QFile file(svg);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY(file.readAll().contains("<svg"));
        QVERIFY(!RenderSweepPlot(r, dir.filePath(QStringLiteral("no/such/dir/plot.png"))));
    }
};

int main(int argc, char** argv) {
    // The window's own simulated meter, started without the environment's help.
    unsetenv("TQ5802_SIM_METER");
    QApplication app(argc, argv);
    TestMeterDialog test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_meterdialog.moc"
