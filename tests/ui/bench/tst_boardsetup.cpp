// The window's board set-up files on the simulated board: a set-up saved, the board changed,
// the set-up loaded back gives the same board and switches that show it; a file of another
// board is refused with nothing written.

#include "main/WindowFixture.h"

#include "bench/Snapshot.h"
#include "ui/bench/BoardSetup.h"
#include "ui/main/FunctionPanel.h"
#include "ui/main/HardwarePanel.h"
#include "ui/main/MainForm.h"
#include "ui/widgets/Toggle.h"

#include <QCheckBox>
#include <QTemporaryDir>
#include <QtTest>

#include <cstring>

using namespace tq;
using namespace tq::ui;
using namespace tq::test;

class TestBoardSetup : public QObject {
    Q_OBJECT

private slots:
    void roundTripRestoresBoardAndSwitches() {
        Program p = makeProgram(kTQ5802R);
        QCOMPARE(p.main->start(), 0);
        MainForm& f = p.main->form();
        QVERIFY(f.MnuSaveSetup->isEnabled() && f.MnuLoadSetup->isEnabled());

        // A set-up made as a bench would: ranges, trims, data, lines and pins.
        bench::Bench b(p.main->declare(), *p.driver, bench::Model::TQ5802R);
        QVERIFY(b.setRange(bench::Channel::B, 2));
        QVERIFY(b.setFineGain(bench::Channel::C, -5));
        QVERIFY(b.setOffset(bench::Channel::D, 1.5));
        QVERIFY(b.setCode(bench::Channel::A, 0x4321));
        bench::FunctionFlags fn;
        fn.d1Output = true;
        fn.d1High = true;
        QVERIFY(b.setFunction(fn));
        bench::ControlLines lines;
        lines.clr = false;
        lines.pulseAfterWrite = false;
        QVERIFY(b.setLines(lines));
        const TQSimRegisters before = p.driver->registers();

        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("bench.json"));
        QCOMPARE(f.boardSetup().saveTo(path), QString());

        QVERIFY(b.setCode(bench::Channel::All, 0));
        QVERIFY(b.setRange(bench::Channel::All, 0));
        QVERIFY(b.setFunction(bench::FunctionFlags{}));
        QVERIFY(b.setLines(bench::ControlLines{}));

        QCOMPARE(f.boardSetup().loadFrom(path), QString());
        const TQSimRegisters after = p.driver->registers();
        QCOMPARE(std::memcmp(&before, &after, sizeof before), 0);
        QVERIFY(!f.hardwarePanel().Toggle8->value()); // CLR low
        QCOMPARE(f.hardwarePanel().Check1->checkState(), Qt::Unchecked);
        QVERIFY(f.functionPanel().Toggle3->value()); // D1 an output
        QVERIFY(f.functionPanel().Toggle5->isEnabled());
        QVERIFY(!f.hardwarePanel().Toggle12->isEnabled());

        // Another board's file: refused, nothing sent.
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QByteArray json = file.readAll();
        file.close();
        json.replace("\"TQ5802R\"", "\"TQ5802\"");
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(json);
        file.close();
        p.driver->calls.clear();
        QVERIFY(f.boardSetup().loadFrom(path).contains(QStringLiteral("TQ5802")));
        QVERIFY(p.driver->calls.empty());
    }
};

QTEST_MAIN(TestBoardSetup)
#include "tst_boardsetup.moc"
