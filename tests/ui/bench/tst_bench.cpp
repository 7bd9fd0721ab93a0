// The main window's bench features on the simulated board, driven through the widgets: the
// "USB Traffic" dock, a board unplugged in use and plugged back, and what a screen reader
// is told.

#include "WindowFixture.h"
#include "ui/bench/TrafficAndReplug.h"
#include "ui/bench/TrafficView.h"
#include "ui/main/FunctionPanel.h"
#include "ui/main/HardwarePanel.h"
#include "ui/main/MainForm.h"
#include "ui/main/RegistersPanel.h"
#include "ui/main/TemperaturePanel.h"
#include "ui/widgets/Toggle.h"

#include <QAccessible>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QtTest>

using namespace tq;
using namespace tq::ui;
using namespace tq::test;

namespace {

constexpr int kWait = 5000; // ms; the watch looks at the bus every second at most

QString dump(const TQSimRegisters& r) {
    QString out;
    for (int ch = 0; ch < 4; ++ch)
        out += QStringLiteral("%1: in %2 dac %3 coarse %4 fine %5 offset %6\n")
                   .arg(ch)
                   .arg(r.input[ch], 0, 16)
                   .arg(r.dac[ch], 0, 16)
                   .arg(r.coarse[ch])
                   .arg(r.fine[ch])
                   .arg(r.offset[ch]);
    return out + QStringLiteral("function %1 lines %2%3%4%5 drive %6%7 levels %8%9")
                     .arg(r.function, 0, 16)
                     .arg(r.ldac)
                     .arg(r.clr)
                     .arg(r.binary)
                     .arg(r.rstin)
                     .arg(r.driveD0)
                     .arg(r.driveD1)
                     .arg(r.driveLevelD0)
                     .arg(r.driveLevelD1);
}

// A list choice made in code runs the list's handler, as the window's own code does.
void pick(QComboBox* list, int item, RegistersPanel& r, void (RegistersPanel::*handler)()) {
    list->setCurrentIndex(item);
    (r.*handler)();
}

void enter(QLineEdit* box, const QString& text) {
    box->setText(text);
    QTest::keyClick(box, Qt::Key_Return);
}

struct Window {
    Program p = makeProgram(kTQ5802R);
    MainForm* form = nullptr;
    TrafficView* traffic = nullptr;

    Window() {
        if (p.main->start() != 0) return;
        form = &p.main->form();
        traffic = form->findChild<TrafficView*>();
        QVERIFY(QTest::qWaitForWindowExposed(form));
    }
    QString message() const { return form->statusBar()->currentMessage(); }
    QStringList column(int column) const {
        QStringList out;
        for (int row = 0; row < traffic->filter().rowCount(); ++row)
            out << traffic->filter().index(row, column).data().toString();
        return out;
    }
};

int vendorRequests(const std::vector<Call>& calls) {
    return static_cast<int>(std::count_if(calls.begin(), calls.end(), [](const Call& c) {
        return c.entry == QStringLiteral("Vendor_Request");
    }));
}

} // namespace

class TestBench : public QObject {
    Q_OBJECT

private slots:
    void trafficListsEveryTransferInWordsAndNumbers() {
        Window w;
        QVERIFY(w.form && w.traffic);
        QVERIFY(!w.traffic->isVisible());
        QAction* item = nullptr;
        for (QAction* a : w.form->MnuView->actions())
            if (a->text() == QStringLiteral("USB Traffic")) item = a;
        QVERIFY(item);
        item->trigger();
        QVERIFY(w.traffic->isVisible());

        // Everything since start, the start-up included, newest last.
        QTRY_COMPARE(w.traffic->model().rowCount(), vendorRequests(w.p.driver->calls));
        const QStringList words = w.column(TrafficModel::Request);
        QVERIFY(words.contains(QStringLiteral("read function register: 0x0000")));
        QVERIFY(words.contains(QStringLiteral(
            "control lines LDAC high, CLR high, binary, RSTIN high, drive D1 low, D0 low")));
        QCOMPARE(words.last(), QStringLiteral("read DAC A data register: 0x8000"));

        // Failed transfers stand out, and the window does not take them for a lost board.
        w.p.driver->setFailing(true);
        QTest::mouseClick(w.form->temperaturePanel().Command7, Qt::LeftButton);
        w.p.driver->setFailing(false);
        w.traffic->model().update();
        const int last = w.traffic->model().rowCount() - 1;
        const QModelIndex status = w.traffic->model().index(last, TrafficModel::Status);
        QCOMPARE(status.data().toString(), QStringLiteral("failed (status -1)"));
        QVERIFY(status.data(Qt::ForegroundRole).isValid());
        QVERIFY(w.form->centralWidget()->isEnabled());

        // Only the failed ones, saved as CSV.
        int failed = 0;
        for (int row = 0; row < w.traffic->model().rowCount(); ++row)
            failed += w.traffic->model().entry(row).transfer.succeeded() ? 0 : 1;
        QVERIFY(failed >= 3); // the measurement's three 2-byte reads at least
        w.traffic->filter().setShow(TrafficFilter::Show::Failed);
        QCOMPARE(w.traffic->filter().rowCount(), failed);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("traffic.csv"));
        QVERIFY(w.traffic->saveTo(path, nullptr));
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly | QIODevice::Text));
        const QStringList lines =
            QString::fromUtf8(file.readAll()).split(u'\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 1 + failed);
        QCOMPARE(lines[0], QStringLiteral("\"#\",\"Time\",\"Request\",\"Raw\",\"Status\""));
        QVERIFY2(lines.last().endsWith(
                     QStringLiteral(",\"read 2-byte word\",\"0xDA value 0x0000 index 0x0000 in "
                                    "length 2\",\"failed (status -1)\"")),
                 qPrintable(lines.last()));
        QVERIFY(!w.traffic->saveTo(dir.filePath(QStringLiteral("no/such/dir.csv")), nullptr));

        // Paused, nothing new is listed; cleared, nothing is left.
        w.traffic->filter().setShow(TrafficFilter::Show::All);
        const int before = w.traffic->model().rowCount();
        w.traffic->PauseButton->click();
        QTest::mouseClick(w.form->temperaturePanel().Command7, Qt::LeftButton);
        w.traffic->model().update();
        QCOMPARE(w.traffic->model().rowCount(), before);
        w.traffic->PauseButton->click();
        w.traffic->ClearButton->click();
        QCOMPARE(w.traffic->model().rowCount(), 0);
    }

    void oldestTransfersLeaveAFullList() {
        TrafficModel model(4);
        for (int i = 0; i < 10; ++i) {
            model.append({.request = board::kControlLines, .value = i});
            if (i % 3 == 0) model.update();
        }
        model.update();
        QCOMPARE(model.rowCount(), 4);
        for (int row = 0; row < 4; ++row)
            QCOMPARE(model.entry(row).number, uint64_t(7 + row));
    }

    // Set up through the panels, unplugged while in use and plugged back: the board holds
    // what the window shows, including the change whose transfer found the board gone; then
    // an unplug while idle.
    void unpluggedInUseAndReplugged() {
        Window w;
        QVERIFY(w.form);
        RegistersPanel& r = w.form->registersPanel();
        HardwarePanel& h = w.form->hardwarePanel();
        pick(r.ComboAddr, 1, r, &RegistersPanel::ComboAddr_Click); // DAC B
        enter(r.TextVolts, QStringLiteral("2.5"));
        pick(r.ComboReg, 2, r, &RegistersPanel::ComboReg_Click); // coarse gain
        pick(r.ComboCoarse, 1, r, &RegistersPanel::ComboCoarse_Click);
        pick(r.ComboReg, 3, r, &RegistersPanel::ComboReg_Click); // fine gain
        enter(r.TextFine, QStringLiteral("-7"));
        QTest::mouseClick(w.form->functionPanel().Toggle3, Qt::LeftButton); // D1 an output
        QTest::mouseClick(h.Toggle2, Qt::LeftButton);                       // 2s complement
        TQSimRegisters expected = w.p.driver->registers();
        QCOMPARE(expected.coarse[1], uint8_t{1});

        w.p.driver->unplug();
        QTest::mouseClick(h.Toggle8, Qt::LeftButton); // CLR low: the transfer fails
        QCOMPARE(w.message(), QStringLiteral("Board disconnected"));
        QVERIFY(!h.Toggle8->isEnabled() && !r.TextVolts->isEnabled());
        QVERIFY(w.form->MnuFile->isEnabled());

        w.p.driver->replug();
        QTRY_COMPARE_WITH_TIMEOUT(w.message(),
                                  QStringLiteral("Board reconnected - set-up restored"), kWait);
        QVERIFY(h.Toggle8->isEnabled());
        // CLR went low as the window shows, clearing the outputs to 0 V (two's complement).
        expected.clr = 0;
        for (auto& dac : expected.dac)
            dac = 0;
        QCOMPARE(dump(w.p.driver->registers()), dump(expected));

        w.p.driver->unplug();
        QTRY_COMPARE_WITH_TIMEOUT(w.message(), QStringLiteral("Board disconnected"), kWait);
        w.p.driver->replug();
        QTRY_COMPARE_WITH_TIMEOUT(w.message(),
                                  QStringLiteral("Board reconnected - set-up restored"), kWait);
        QCOMPARE(dump(w.p.driver->registers()), dump(expected));
    }

    void screenReadersTellControlsApartAndHearValues() {
        Window w;
        QVERIFY(w.form);
        const auto said = [](QObject* o, QAccessible::Text t) {
            return QAccessible::queryAccessibleInterface(o)->text(t);
        };
        HardwarePanel& h = w.form->hardwarePanel();
        FunctionPanel& f = w.form->functionPanel();
        // Every switch has its own name; its state is its caption.
        QSet<QString> names;
        for (Toggle* t : w.form->findChildren<Toggle*>())
            names.insert(said(t, QAccessible::Name));
        QCOMPARE(names.size(), w.form->findChildren<Toggle*>().size());
        QCOMPARE(said(h.Toggle8, QAccessible::Name), QStringLiteral("CLR pin"));
        QCOMPARE(said(h.Toggle8, QAccessible::Description), QStringLiteral("High"));
        QCOMPARE(h.Toggle8->text(), QStringLiteral("High"));
        QCOMPARE(said(h.Toggle12, QAccessible::Name), QStringLiteral("Drive D1 pin"));
        QCOMPARE(said(f.Frame11, QAccessible::Name), QStringLiteral("D1 pin"));

        // Labels that show a value say the value, and what it is.
        QTest::mouseClick(w.form->temperaturePanel().Command7, Qt::LeftButton);
        RegistersPanel& r = w.form->registersPanel();
        for (QWidget* shows : {static_cast<QWidget*>(r.Label27), static_cast<QWidget*>(r.LabelData),
                               static_cast<QWidget*>(r.Command2),
                               static_cast<QWidget*>(w.form->temperaturePanel().Label25)}) {
            const QString text = shows->property("text").toString();
            QCOMPARE(said(shows, QAccessible::Name), text);
            QVERIFY(!said(shows, QAccessible::Description).isEmpty());
        }
        QCOMPARE(said(r.LabelData, QAccessible::Description), QStringLiteral("Hex Value"));
    }
};

QTEST_MAIN(TestBench)
#include "tst_bench.moc"
