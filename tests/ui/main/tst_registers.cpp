// The Read / Write Registers panel on the simulated board, driven through its widgets: what
// each entry sends, what the board then holds, and what the panel shows.

#include "WindowFixture.h"
#include "ui/main/MainForm.h"
#include "ui/main/RegistersPanel.h"

#include <QAbstractItemView>
#include <QLabel>
#include <QLineEdit>
#include <QtTest>

using namespace tq;
using namespace tq::ui;
using namespace tq::test;

namespace {

constexpr int kWrite = 0xD9; // write, then pulse LDAC ("Pulse After Data Write" is checked)
constexpr int kShift = 0xDD;

// A choice from a list as the user makes it: open the list and click the item.
void choose(QComboBox* box, const QString& text) {
    const int i = box->findText(text);
    QVERIFY2(i >= 0, qPrintable(text));
    box->showPopup();
    QAbstractItemView* view = box->view();
    QVERIFY(QTest::qWaitForWindowExposed(view->window()));
    const QRect item = view->visualRect(view->model()->index(i, 0));
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, item.center());
    QTRY_VERIFY(!view->window()->isVisible());
    QCOMPARE(box->currentText(), text);
}

// Typing over an entry's text and pressing Enter.
void enter(QLineEdit* box, const QString& text) {
    box->setFocus();
    box->selectAll();
    QTest::keyClick(box, Qt::Key_Backspace);
    QTest::keyClicks(box, text);
    QTest::keyClick(box, Qt::Key_Return);
}

QStringList described(const std::vector<Call>& calls, size_t from = 0) {
    QStringList out;
    for (size_t i = from; i < calls.size(); ++i)
        out << describe(calls[i]);
    return out;
}

QStringList expect(std::initializer_list<Call> calls) {
    return described(std::vector<Call>(calls));
}

Call write(int command, int32_t data) {
    return vr("Vendor_Request", kWrite, command, data, 0, 0);
}

struct Panel {
    Program p = makeProgram(kTQ5802R);
    RegistersPanel* r = nullptr;
    SharedState* s = nullptr;
    size_t mark = 0;

    Panel() {
        if (p.main->start() != 0) return;
        r = &p.main->form().registersPanel();
        s = &p.main->state();
        QVERIFY(QTest::qWaitForWindowExposed(&p.main->form()));
        p.main->form().activateWindow();
    }
    // Traffic since the last call.
    QStringList traffic() {
        QStringList out = described(p.driver->calls, mark);
        mark = p.driver->calls.size();
        return out;
    }
    // "Read Register" as the user clicks it; returns the value read.
    int32_t readBack() {
        QTest::mouseClick(r->command1, Qt::LeftButton);
        traffic();
        return s->DataValue;
    }
    QString bits() const {
        QString out;
        for (int i = 15; i >= 0; --i)
            out += r->LabelD[i]->text();
        return out;
    }
};

// One of the two identical read words ReadRegister sends.
Call readCall(int command) {
    return vr("Vendor_Request", kShift, command | 0x80, 0, 1, 3);
}

QString hex(int32_t v) {
    return QString::number(v, 16).toUpper();
}

QString binary16(int32_t v) {
    return QString::number(v, 2).rightJustified(16, QLatin1Char('0'));
}

} // namespace

class TestRegisters : public QObject {
    Q_OBJECT

private slots:
    // Enter in the data entry: DAC B's range is read, the code written and shown.
    void dataEntry_data() {
        QTest::addColumn<bool>("dec");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("code"); // -1: the entry is refused
        QTest::addColumn<QString>("shown");
        QTest::newRow("hex empty") << false << "" << 0 << "0";
        QTest::newRow("hex FFFFF clamps") << false << "FFFFF" << 0xFFFF << "FFFF";
        QTest::newRow("hex abc is hex") << false << "abc" << 0xABC << "ABC";
        QTest::newRow("hex 1e99 is hex") << false << "1e99" << 0x1E99 << "1E99";
        QTest::newRow("hex --5") << false << "--5" << -1 << "";
        QTest::newRow("hex 9 digits") << false << "123456789" << -1 << "";
        QTest::newRow("dec 12.5 to even") << true << "12.5" << 12 << "12";
        QTest::newRow("dec -5 clamps") << true << "-5" << 0 << "0";
        QTest::newRow("dec 70000 clamps") << true << "70000" << 65535 << "65535";
        QTest::newRow("dec abc") << true << "abc" << 0 << "0";
        QTest::newRow("dec empty") << true << "" << 0 << "0";
        QTest::newRow("dec --5") << true << "--5" << 0 << "0";
        QTest::newRow("dec 1e99") << true << "1e99" << -1 << "";
    }
    void dataEntry() {
        QFETCH(bool, dec);
        QFETCH(QString, typed);
        QFETCH(int, code);
        QFETCH(QString, shown);
        Panel w;
        QVERIFY(w.r);
        choose(w.r->ComboAddr, QStringLiteral("DAC B"));
        if (dec) QTest::mouseClick(w.r->Command2, Qt::LeftButton);
        const QString wordBefore = w.r->LabelData->text();
        w.traffic();

        enter(w.r->TextData, typed);
        QCOMPARE(w.r->DataRangeCode, 0);
        if (code < 0) {
            // Only the range was read; the box is emptied for a new try.
            QCOMPARE(w.traffic(), expect({readCall(0x19), readCall(0x19)}));
            QCOMPARE(w.r->TextData->text(), QString());
            QCOMPARE(QApplication::focusWidget(), w.r->TextData);
            QCOMPARE(w.r->LabelData->text(), wordBefore);
            return;
        }
        QCOMPARE(w.traffic(), expect({readCall(0x19), readCall(0x19), write(0x11, code)}));
        QCOMPARE(w.p.driver->registers().input[1], code);
        QCOMPARE(w.r->TextData->text(), shown);
        QCOMPARE(w.r->Label27->text(),
                 dec ? QString::number(code) : hex(code).rightJustified(4, '0'));
        QCOMPARE(w.r->LabelData->text(), hex(0x110000 + code));
        QCOMPARE(w.r->LabelRW->text(), QStringLiteral("0"));
        QCOMPARE(w.bits(), binary16(code));
        const QString volts = w.r->TextVolts->text();
        QCOMPARE(volts, QString::number(20.0 * code / 65536 - 10, 'f', 4));

        // The board gives back what was written, and the panel shows it alike.
        QCOMPARE(w.readBack(), code);
        QCOMPARE(w.r->TextData->text(), shown);
        QCOMPARE(w.r->TextVolts->text(), volts);
        QCOMPARE(w.r->LabelData->text(), hex(0x910000 + code));
    }

    // Enter in the voltage entry: always DAC A's range, written to the selected channel.
    void voltsEntry_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("code"); // -1: the entry is refused
        QTest::addColumn<QString>("shown");
        QTest::newRow("2.5") << "2.5" << 40960 << "2.5000";
        QTest::newRow("20 clamps") << "20" << 65535 << "10.0000";
        QTest::newRow("-20 clamps") << "-20" << 0 << "-10.0000";
        QTest::newRow("5 decimals first") << "1.234549" << 36813 << "1.2346";
        QTest::newRow("abc") << "abc" << 32768 << "0.0000";
        QTest::newRow("empty") << "" << 32768 << "0.0000";
        QTest::newRow("--5") << "--5" << 32768 << "0.0000";
        QTest::newRow("1e99") << "1e99" << -1 << "";
    }
    void voltsEntry() {
        QFETCH(QString, typed);
        QFETCH(int, code);
        QFETCH(QString, shown);
        Panel w;
        QVERIFY(w.r);
        choose(w.r->ComboAddr, QStringLiteral("DAC B"));
        const QString wordBefore = w.r->LabelData->text();
        w.traffic();

        enter(w.r->TextVolts, typed);
        QCOMPARE(w.r->TextVolts->text(), shown);
        // The display keeps the last access's word.
        QCOMPARE(w.r->LabelData->text(), wordBefore);
        if (code < 0) {
            QCOMPARE(w.traffic(), expect({readCall(0x18), readCall(0x18)}));
            QCOMPARE(QApplication::focusWidget(), w.r->TextVolts);
            return;
        }
        QCOMPARE(w.traffic(), expect({readCall(0x18), readCall(0x18), write(0x11, code)}));
        QCOMPARE(w.r->TextData->text(), hex(code));
        QCOMPARE(w.p.driver->registers().input[1], code);
        QCOMPARE(w.r->LabelRW->text(), QStringLiteral("0"));
        QCOMPARE(w.readBack(), code);
        QCOMPARE(w.r->TextData->text(), hex(code));
    }

    // DAC A's range counts for every channel's voltage; the coarse gain list sets it.
    void voltsTakeDacARange() {
        Panel w;
        QVERIFY(w.r);
        choose(w.r->ComboReg, QStringLiteral("Coarse Gain Register"));
        QCOMPARE(w.r->ComboCoarse->currentIndex(), 0);
        w.traffic();
        choose(w.r->ComboCoarse, QStringLiteral("Output Range = \u00B1 10.5263 V"));
        QCOMPARE(w.traffic(), expect({write(0x18, 2)}));
        QCOMPARE(w.p.driver->registers().coarse[0], 2);
        QCOMPARE(w.s->OutputRangeVolts, 10.5263f);
        QCOMPARE(w.r->LabelRW->text(), QStringLiteral("0"));

        choose(w.r->ComboReg, QStringLiteral("Data Register"));
        choose(w.r->ComboAddr, QStringLiteral("DAC C"));
        QCOMPARE(w.p.driver->registers().coarse[2], 0);
        w.traffic();
        enter(w.r->TextVolts, QStringLiteral("10.3"));
        QCOMPARE(w.traffic(), expect({readCall(0x18), readCall(0x18), write(0x12, 64832)}));
        QCOMPARE(w.r->TextVolts->text(), QStringLiteral("10.3000"));
        QCOMPARE(w.r->TextData->text(), QStringLiteral("FD40"));
    }

    // Under two's complement coding 0 V is code 0, shown on reading back by the binary relation.
    void twosComplementVolts() {
        Panel w;
        QVERIFY(w.r);
        w.s->BinTwosCompLine = 0;
        enter(w.r->TextVolts, QStringLiteral("0"));
        QCOMPARE(w.r->TextData->text(), QStringLiteral("0"));
        QCOMPARE(w.p.driver->registers().input[0], 0);
        QCOMPARE(w.readBack(), 0);
        QCOMPARE(w.r->TextVolts->text(), QStringLiteral("-10.0000"));
    }

    // Selecting the coarse gain register reads it and picks its range; code 3 picks none.
    void coarseGainSelection() {
        Panel w;
        QVERIFY(w.r);
        choose(w.r->ComboAddr, QStringLiteral("DAC D"));
        choose(w.r->ComboReg, QStringLiteral("Coarse Gain Register"));
        choose(w.r->ComboCoarse, QStringLiteral("Output Range = \u00B1 10.2564 V"));
        QCOMPARE(w.p.driver->registers().coarse[3], 1);

        w.traffic();
        choose(w.r->ComboReg, QStringLiteral("Data Register"));
        choose(w.r->ComboReg, QStringLiteral("Coarse Gain Register"));
        QCOMPARE(w.r->ComboCoarse->currentIndex(), 1);
        QCOMPARE(w.r->LabelData->text(), QStringLiteral("9B0001"));
        QVERIFY(w.r->ComboCoarse->isVisible());
        QVERIFY(!w.r->TextData->isVisible());

        // Code 3 has no range: nothing is picked and nothing written back.
        w.p.main->declare().WriteRegister(3, 3, 3);
        choose(w.r->ComboReg, QStringLiteral("Data Register"));
        w.traffic();
        choose(w.r->ComboReg, QStringLiteral("Coarse Gain Register"));
        QCOMPARE(w.r->ComboCoarse->currentIndex(), -1);
        for (const QString& call : w.traffic())
            QVERIFY2(!call.contains(QStringLiteral("0xd9")), qPrintable(call));
        QCOMPARE(w.s->CoarseGainCode, 3);
    }

    void fineGainEntry_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("code"); // -1: the entry is refused
        QTest::addColumn<QString>("shown");
        QTest::newRow("2.5 to even") << "2.5" << 2 << "2";
        QTest::newRow("-32") << "-32" << 32 << "-32";
        QTest::newRow("31.4") << "31.4" << 31 << "31";
        QTest::newRow("-1") << "-1" << 63 << "-1";
        QTest::newRow("-0.5 is 0") << "-0.5" << 0 << "0";
        QTest::newRow("40 clamps") << "40" << 31 << "31";
        QTest::newRow("abc") << "abc" << 0 << "0";
        QTest::newRow("empty") << "" << 0 << "0";
        QTest::newRow("--5") << "--5" << 0 << "0";
        QTest::newRow("1e99") << "1e99" << -1 << "";
    }
    void fineGainEntry() {
        QFETCH(QString, typed);
        QFETCH(int, code);
        QFETCH(QString, shown);
        Panel w;
        QVERIFY(w.r);
        choose(w.r->ComboAddr, QStringLiteral("DAC C"));
        choose(w.r->ComboReg, QStringLiteral("Fine Gain Register"));
        w.traffic();
        enter(w.r->TextFine, typed);
        if (code < 0) {
            QCOMPARE(w.traffic(), QStringList());
            QCOMPARE(w.r->TextFine->text(), QString());
            QCOMPARE(QApplication::focusWidget(), w.r->TextFine);
            return;
        }
        QCOMPARE(w.traffic(), expect({write(0x22, code)}));
        QCOMPARE(w.p.driver->registers().fine[2], code);
        QCOMPARE(w.r->TextFine->text(), shown);
        QCOMPARE(w.r->LabelData->text(), hex(0x220000 + code));
        QCOMPARE(w.readBack(), code);
        QCOMPARE(w.r->TextFine->text(), shown);
    }

    void offsetEntry_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("code"); // -1: the entry is refused
        QTest::addColumn<QString>("shown");
        QTest::newRow("-0.125") << "-0.125" << 255 << "-0.125";
        QTest::newRow("15.875") << "15.875" << 127 << "15.875";
        QTest::newRow("-16") << "-16" << 128 << "-16";
        QTest::newRow("100 clamps") << "100" << 127 << "15.875";
        QTest::newRow("abc") << "abc" << 0 << "0";
        QTest::newRow("empty") << "" << 0 << "0";
        QTest::newRow("--5") << "--5" << 0 << "0";
        QTest::newRow("1e99") << "1e99" << -1 << "";
    }
    void offsetEntry() {
        QFETCH(QString, typed);
        QFETCH(int, code);
        QFETCH(QString, shown);
        Panel w;
        QVERIFY(w.r);
        choose(w.r->ComboReg, QStringLiteral("Offset Register"));
        w.traffic();
        enter(w.r->TextOffset, typed);
        if (code < 0) {
            QCOMPARE(w.traffic(), QStringList());
            QCOMPARE(w.r->TextOffset->text(), QString());
            QCOMPARE(QApplication::focusWidget(), w.r->TextOffset);
            return;
        }
        QCOMPARE(w.traffic(), expect({write(0x28, code)}));
        QCOMPARE(w.p.driver->registers().offset[0], code);
        QCOMPARE(w.r->TextOffset->text(), shown);
        QCOMPARE(w.readBack(), code);
        QCOMPARE(w.r->TextOffset->text(), shown);
    }

    // The function register: the control word, read only, at address 1.
    void functionRegisterSelection() {
        Panel w;
        QVERIFY(w.r);
        w.traffic();
        choose(w.r->ComboReg, QStringLiteral("Function Register"));
        QCOMPARE(w.traffic(), expect({vr("Vendor_Request", kShift, 0x01, 0, 0, 0), readCall(0x01),
                                      readCall(0x01)}));
        QVERIFY(w.r->LabelData->text().startsWith(QStringLiteral("81")));
        QCOMPARE(w.r->LabelData->text().size(), 6);
        QCOMPARE(w.r->ComboRW->currentText(), QStringLiteral("Read"));
        QVERIFY(!w.r->ComboRW->isEnabled());
        QVERIFY(!w.r->ComboAddr->isVisible());
        QVERIFY(w.r->Command2->isVisible());
        QVERIFY(!w.r->TextData->isVisible());
        QCOMPARE(w.r->LabelA[2]->text() + w.r->LabelA[1]->text() + w.r->LabelA[0]->text(),
                 QStringLiteral("001"));
    }

    // Leaving the function register, accesses go to the channel the list shows again.
    void leavingFunctionRegisterRestoresChannel_data() {
        QTest::addColumn<QString>("channel");
        QTest::addColumn<int>("address");
        QTest::newRow("DAC A") << "DAC A" << 0;
        QTest::newRow("DAC C") << "DAC C" << 2;
    }
    void leavingFunctionRegisterRestoresChannel() {
        QFETCH(QString, channel);
        QFETCH(int, address);
        Panel w;
        QVERIFY(w.r);
        choose(w.r->ComboAddr, channel);
        choose(w.r->ComboReg, QStringLiteral("Function Register"));
        choose(w.r->ComboReg, QStringLiteral("Data Register"));
        QCOMPARE(w.s->AddressCode, address);
        QCOMPARE(w.r->ComboAddr->currentText(), channel);
        QCOMPARE(w.r->LabelA[1]->text() + w.r->LabelA[0]->text(),
                 QString::number(address, 2).rightJustified(2, '0'));
        QVERIFY(w.r->ComboRW->isEnabled());
        w.traffic();
        enter(w.r->TextData, QStringLiteral("1234"));
        QCOMPARE(w.traffic().last(), describe(write(0x10 + address, 0x1234)));
        QCOMPARE(w.p.driver->registers().input[address], 0x1234);
    }

    // The radix button converts the data entry, the function data and the value label.
    void radixRoundTrip() {
        Panel w;
        QVERIFY(w.r);
        enter(w.r->TextData, QStringLiteral("A000"));
        w.r->TextFunction->setText(QStringLiteral("3F"));
        QCOMPARE(w.r->Label27->text(), QStringLiteral("A000"));

        QTest::mouseClick(w.r->Command2, Qt::LeftButton);
        QCOMPARE(w.r->Command2->text(), QStringLiteral("Dec"));
        QCOMPARE(w.s->DisplayRadix, std::string("Dec"));
        QCOMPARE(w.r->TextData->text(), QStringLiteral("40960"));
        QCOMPARE(w.r->TextFunction->text(), QStringLiteral("63"));
        QCOMPARE(w.r->Label27->text(), QStringLiteral("40960"));
        QCOMPARE(w.s->DataValue, 40960);
        // Entries and reads now go by decimal.
        QCOMPARE(w.readBack(), 40960);
        QCOMPARE(w.r->TextData->text(), QStringLiteral("40960"));

        w.r->TextData->setText(QStringLiteral("26.5"));
        QTest::mouseClick(w.r->Command2, Qt::LeftButton);
        QCOMPARE(w.r->Command2->text(), QStringLiteral("Hex"));
        QCOMPARE(w.r->TextData->text(), QStringLiteral("001A"));
        QCOMPARE(w.r->TextFunction->text(), QStringLiteral("003F"));
        QCOMPARE(w.r->Label27->text(), QStringLiteral("A000"));
    }

    // Text the radix button cannot convert empties its box; an empty data box counts as 0.
    void radixOnBadText() {
        Panel w;
        QVERIFY(w.r);
        const size_t before = w.p.driver->calls.size();
        w.r->TextData->clear();
        QTest::mouseClick(w.r->Command2, Qt::LeftButton);
        QCOMPARE(w.r->TextData->text(), QStringLiteral("0"));
        QCOMPARE(w.s->DataValue, 0);

        w.r->TextData->setText(QStringLiteral("1e99"));
        QTest::mouseClick(w.r->Command2, Qt::LeftButton);
        QCOMPARE(w.r->Command2->text(), QStringLiteral("Hex"));
        QCOMPARE(w.r->TextData->text(), QString());
        QCOMPARE(QApplication::focusWidget(), w.r->TextData);

        w.r->TextData->setText(QStringLiteral("--5"));
        w.s->DataValue = 7;
        QTest::mouseClick(w.r->Command2, Qt::LeftButton);
        QCOMPARE(w.r->Command2->text(), QStringLiteral("Dec"));
        QCOMPARE(w.r->TextData->text(), QString());
        QCOMPARE(w.s->DataValue, 7);
        QCOMPARE(w.p.driver->calls.size(), before); // the button never writes
    }
};

QTEST_MAIN(TestRegisters)
#include "tst_registers.moc"
