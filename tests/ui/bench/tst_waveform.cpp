// Tools > "Waveform..." on the simulated board: a shape plays to its last point, Stop ends a
// play that would run forever, a shape beyond the range is refused with nothing sent, and
// the dialog alone takes input meanwhile.

#include "WindowFixture.h"
#include "ui/bench/PlotArea.h"
#include "ui/bench/WaveformDialog.h"
#include "ui/main/MainForm.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QtCharts/QChartView>
#include <QtCharts/QLineSeries>
#include <QtTest>

using namespace tq;
using namespace tq::ui;
using namespace tq::test;

class TestWaveform : public QObject {
    Q_OBJECT

private slots:
    void playsStopsAndRefuses() {
        Program p = makeProgram(kTQ5802R);
        QCOMPARE(p.main->start(), 0);
        MainForm& f = p.main->form();
        f.MnuWaveform->trigger();
        auto* d = f.findChild<WaveformDialog*>();
        QVERIFY(d && d->isVisible());

        // A square on A and B, two periods of ten points: the outputs end on its low half.
        d->ShapeKind->setCurrentIndex(static_cast<int>(bench::Waveform::Square));
        emit d->ShapeKind->activated(d->ShapeKind->currentIndex());
        d->ChannelChecks[1]->setChecked(true);
        d->Amplitude->setValue(5);
        d->Frequency->setValue(50);
        d->Rate->setValue(500);
        d->Count->setValue(2);
        const auto* preview = d->Preview->findChild<QChartView*>();
        QVERIFY(preview);
        QCOMPARE(preview->chart()->series().size(), 2);
        QTest::mouseClick(d->StartButton, Qt::LeftButton);
        QVERIFY2(d->report() && d->report()->points == 20, qPrintable(d->Status->text()));
        const TQSimRegisters played = p.driver->registers();
        QCOMPARE(played.dac[0], 0x4000);
        QCOMPARE(played.dac[1], 0x4000);
        QVERIFY(d->windowModality() == Qt::NonModal && !d->running());

        // Until stopped: Stop at the first progress ends it, the outputs at 0 V.
        d->Forever->setChecked(true);
        d->EndLevel->setCurrentIndex(1);
        int seen = 0;
        auto once = connect(d, &WaveformDialog::progressed, d, [&] {
            QVERIFY(QApplication::activeModalWidget() == d && d->running());
            if (++seen == 1) QTest::mouseClick(d->StopButton, Qt::LeftButton);
        });
        QTest::mouseClick(d->StartButton, Qt::LeftButton);
        disconnect(once);
        QVERIFY(seen >= 1 && d->report() && d->report()->stopped);
        QCOMPARE(p.driver->registers().dac[0], 0x8000);
        QVERIFY(d->StartButton->isEnabled() && !d->StopButton->isEnabled());

        // Beyond the range: refused before anything is sent.
        d->Offset->setValue(6);
        const auto sent = p.driver->calls.size();
        QTest::mouseClick(d->StartButton, Qt::LeftButton);
        QVERIFY2(d->Status->text().contains(QStringLiteral("outside its range")),
                 qPrintable(d->Status->text()));
        for (auto i = sent; i < p.driver->calls.size(); ++i) // the ranges read, nothing written
            QVERIFY2(p.driver->calls[i].direction == 1, qPrintable(describe(p.driver->calls[i])));
        QCOMPARE(p.driver->registers().input[0], 0x8000);
    }
};

QTEST_MAIN(TestWaveform)
#include "tst_waveform.moc"
