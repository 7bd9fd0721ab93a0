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
    // Enter in each entry of DAC B's registers: the reads and the write on the wire, what the
    // board then holds, what the panel shows, and the same value read back.
    void entry_data() {
        QTest::addColumn<QString>("reg");
        QTest::addColumn<bool>("dec");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("code"); // -1: refused, the box is emptied
        QTest::addColumn<QString>("shown");
        const QString data = "Data Register", volts = "volts", fine = "Fine Gain Register",
                      offset = "Offset Register";
        QTest::newRow("hex empty") << data << false << "" << 0 << "0";
        QTest::newRow("hex FFFFF clamps") << data << false << "FFFFF" << 0xFFFF << "FFFF";
        QTest::newRow("hex abc is hex") << data << false << "abc" << 0xABC << "ABC";
        QTest::newRow("hex 1e99 is hex") << data << false << "1e99" << 0x1E99 << "1E99";
        QTest::newRow("hex --5") << data << false << "--5" << -1 << "";
        QTest::newRow("hex 9 digits") << data << false << "123456789" << -1 << "";
        QTest::newRow("dec 12.5 to even") << data << true << "12.5" << 12 << "12";
        QTest::newRow("dec -5 clamps") << data << true << "-5" << 0 << "0";
        QTest::newRow("dec 70000 clamps") << data << true << "70000" << 65535 << "65535";
        QTest::newRow("dec abc") << data << true << "abc" << 0 << "0";
        QTest::newRow("dec empty") << data << true << "" << 0 << "0";
        QTest::newRow("dec --5") << data << true << "--5" << 0 << "0";
        QTest::newRow("dec 1e99") << data << true << "1e99" << -1 << "";
        QTest::newRow("volts 2.5") << volts << false << "2.5" << 40960 << "2.5000";
        QTest::newRow("volts 20 clamps") << volts << false << "20" << 65535 << "10.0000";
        QTest::newRow("volts -20 clamps") << volts << false << "-20" << 0 << "-10.0000";
        QTest::newRow("volts 5 decimals first")
            << volts << false << "1.234549" << 36813 << "1.2346";
        QTest::newRow("volts dec") << volts << true << "2.5" << 40960 << "2.5000";
        QTest::newRow("volts abc") << volts << false << "abc" << 32768 << "0.0000";
        QTest::newRow("volts empty") << volts << false << "" << 32768 << "0.0000";
        QTest::newRow("volts --5") << volts << false << "--5" << 32768 << "0.0000";
        QTest::newRow("volts 1e99") << volts << false << "1e99" << -1 << "";
        QTest::newRow("fine 2.5 to even") << fine << false << "2.5" << 2 << "2";
        QTest::newRow("fine -32") << fine << false << "-32" << 32 << "-32";
        QTest::newRow("fine 31.4") << fine << false << "31.4" << 31 << "31";
        QTest::newRow("fine -1") << fine << false << "-1" << 63 << "-1";
        QTest::newRow("fine -0.5 is 0") << fine << false << "-0.5" << 0 << "0";
        QTest::newRow("fine 40 clamps") << fine << false << "40" << 31 << "31";
        QTest::newRow("fine abc") << fine << false << "abc" << 0 << "0";
        QTest::newRow("fine empty") << fine << false << "" << 0 << "0";
        QTest::newRow("fine --5") << fine << false << "--5" << 0 << "0";
        QTest::newRow("fine 1e99") << fine << false << "1e99" << -1 << "";
        QTest::newRow("offset -0.125") << offset << false << "-0.125" << 255 << "-0.125";
        QTest::newRow("offset 15.875") << offset << false << "15.875" << 127 << "15.875";
        QTest::newRow("offset -16") << offset << false << "-16" << 128 << "-16";
        QTest::newRow("offset 100 clamps") << offset << false << "100" << 127 << "15.875";
        QTest::newRow("offset abc") << offset << false << "abc" << 0 << "0";
        QTest::newRow("offset empty") << offset << false << "" << 0 << "0";
        QTest::newRow("offset --5") << offset << false << "--5" << 0 << "0";
        QTest::newRow("offset 1e99") << offset << false << "1e99" << -1 << "";
    }
    void entry() {
        QFETCH(QString, reg);
        QFETCH(bool, dec);
        QFETCH(QString, typed);
        QFETCH(int, code);
        QFETCH(QString, shown);
        Panel w;
        QVERIFY(w.r);
        RegistersPanel& r = *w.r;
        const bool isVolts = reg == QStringLiteral("volts");
        choose(r.ComboAddr, QStringLiteral("DAC B"));
        choose(r.ComboReg, isVolts ? QStringLiteral("Data Register") : reg);
        if (dec) QTest::mouseClick(r.Command2, Qt::LeftButton);
        const int regCode = w.s->RegisterCode;
        QLineEdit* box = isVolts        ? r.TextVolts
                         : regCode == 2 ? r.TextData
                         : regCode == 4 ? r.TextFine
                                        : r.TextOffset;
        auto held = [&w, regCode] {
            const TQSimRegisters b = w.p.driver->registers();
            return regCode == 2   ? int{b.input[1]}
                   : regCode == 4 ? int{b.fine[1]}
                                  : int{b.offset[1]};
        };
        const QString wordBefore = r.LabelData->text();
        const int heldBefore = held();
        w.traffic();

        enter(box, typed);
        // The data code entry reads its own channel's range, the voltage entry DAC A's.
        QStringList wire;
        if (regCode == 2)
            wire = expect({readCall(isVolts ? 0x18 : 0x19), readCall(isVolts ? 0x18 : 0x19)});
        if (code >= 0) wire << describe(write(regCode * 8 + 1, code));
        QCOMPARE(w.traffic(), wire);
        QCOMPARE(box->text(), shown);
        if (code < 0) {
            QCOMPARE(QApplication::focusWidget(), box);
            QCOMPARE(held(), heldBefore);
            QCOMPARE(r.LabelData->text(), wordBefore);
            return;
        }
        QCOMPARE(held(), code);
        QCOMPARE(w.p.driver->registers().strayWrites, 0u);
        QCOMPARE(r.LabelRW->text(), QStringLiteral("0"));
        if (isVolts) {
            QCOMPARE(r.TextData->text(), dec ? QString::number(code) : hex(code));
            QCOMPARE(r.LabelData->text(), wordBefore); // not refreshed by a voltage entry
        } else {
            QCOMPARE(r.LabelData->text(), hex(regCode * 0x80000 + 0x10000 + code));
            QCOMPARE(w.bits(), binary16(code));
            QCOMPARE(r.Label27->text(),
                     dec ? QString::number(code) : hex(code).rightJustified(4, '0'));
        }

        // The board gives back what was written, and the panel shows it alike.
        QCOMPARE(w.readBack(), code);
        QCOMPARE(r.LabelData->text(), hex(0x800000 + regCode * 0x80000 + 0x10000 + code));
        if (!isVolts) QCOMPARE(box->text(), shown);
        if (regCode == 2) // the code's own voltage, whatever was typed
            QCOMPARE(r.TextVolts->text(), QString::number(20.0 * code / 65536 - 10, 'f', 4));
    }

    // A trim from -1/16 up to 0 is the offset code 0: the word never carries D8, which lies
    // outside the register's 8-bit field.
    void offsetJustBelowZeroStaysInTheField_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("code");
        QTest::newRow("-0.0625") << "-0.0625" << 0;
        QTest::newRow("-0.05") << "-0.05" << 0;
        QTest::newRow("-0.0001") << "-0.0001" << 0;
        QTest::newRow("-0.0626") << "-0.0626" << 255;
    }
    void offsetJustBelowZeroStaysInTheField() {
        QFETCH(QString, typed);
        QFETCH(int, code);
        Panel w;
        QVERIFY(w.r);
        choose(w.r->ComboReg, QStringLiteral("Offset Register"));
        w.traffic();
        enter(w.r->TextOffset, typed);
        QCOMPARE(w.traffic(), expect({write(0x28, code)}));
        const TQSimRegisters b = w.p.driver->registers();
        QCOMPARE(int{b.offset[0]}, code);
        QCOMPARE(b.strayWrites, 0u);
    }

    // Showing the coarse gain register of "ALL DACs" reads it but writes no range: each
    // channel keeps its own. One channel's read is chosen again, rewriting its own code.
    void coarseGainOfAllDacsIsOnlyShown_data() {
        QTest::addColumn<QString>("addr");
        QTest::addColumn<bool>("registerFirst");
        QTest::newRow("ALL DACs, then the register") << "ALL DACs" << false;
        QTest::newRow("the register, then ALL DACs") << "ALL DACs" << true;
        QTest::newRow("DAC B, then the register") << "DAC B" << false;
    }
    void coarseGainOfAllDacsIsOnlyShown() {
        QFETCH(QString, addr);
        QFETCH(bool, registerFirst);
        Panel w;
        QVERIFY(w.r);
        RegistersPanel& r = *w.r;
        const int ranges[4] = {1, 2, 0, 1};
        for (int16_t ch = 0; ch < 4; ++ch)
            w.p.main->declare().WriteRegister(ch, 3, ranges[ch]);
        w.traffic();
        const QString coarse = QStringLiteral("Coarse Gain Register");
        choose(registerFirst ? r.ComboReg : r.ComboAddr, registerFirst ? coarse : addr);
        choose(registerFirst ? r.ComboAddr : r.ComboReg, registerFirst ? addr : coarse);
        QTest::mouseClick(r.command1, Qt::LeftButton);

        const int selected = r.ComboAddr->currentIndex();
        int rewrites = 0;
        for (size_t i = w.mark; i < w.p.driver->calls.size(); ++i) {
            const Call& c = w.p.driver->calls[i];
            if (c.direction != 0 || c.request < 0 || (c.value >> 3) != 3) continue;
            ++rewrites; // a coarse gain write: only ever one channel's own code
            const int channel = c.value & 7;
            QVERIFY(channel < 4);
            QCOMPARE(c.index, ranges[channel]);
        }
        if (selected < 4) QVERIFY(rewrites > 0);
        const TQSimRegisters b = w.p.driver->registers();
        for (int ch = 0; ch < 4; ++ch)
            QCOMPARE(int{b.coarse[ch]}, ranges[ch]);
        // What the read gave is shown all the same.
        QCOMPARE(r.ComboCoarse->currentIndex(), selected < 4 ? ranges[selected] : 0);
    }

    // The coarse gain list writes a channel's range; the voltage entry takes DAC A's range
    // for every channel; a range code without an item picks none.
    void coarseGainAndVoltsRange() {
        Panel w;
        QVERIFY(w.r);
        RegistersPanel& r = *w.r;
        choose(r.ComboReg, QStringLiteral("Coarse Gain Register"));
        QCOMPARE(r.ComboCoarse->currentIndex(), 0);
        QVERIFY(r.ComboCoarse->isVisible());
        QVERIFY(!r.TextData->isVisible());
        const QString word = r.LabelData->text();
        w.traffic();
        choose(r.ComboCoarse, QStringLiteral("Output Range = \u00B1 10.5263 V"));
        QCOMPARE(w.traffic(), expect({write(0x18, 2)}));
        QCOMPARE(w.p.driver->registers().coarse[0], 2);
        QCOMPARE(w.s->OutputRangeVolts, 10.5263f);
        QCOMPARE(r.LabelRW->text(), QStringLiteral("0"));
        QCOMPARE(r.LabelData->text(), word);
        choose(r.ComboReg, QStringLiteral("Data Register"));
        choose(r.ComboReg, QStringLiteral("Coarse Gain Register"));
        QCOMPARE(r.ComboCoarse->currentIndex(), 2);
        QCOMPARE(r.LabelData->text(), QStringLiteral("980002"));

        choose(r.ComboReg, QStringLiteral("Data Register"));
        choose(r.ComboAddr, QStringLiteral("DAC C"));
        QCOMPARE(w.p.driver->registers().coarse[2], 0);
        w.traffic();
        enter(r.TextVolts, QStringLiteral("10.3")); // beyond DAC C's range of 10 V
        QCOMPARE(w.traffic(), expect({readCall(0x18), readCall(0x18), write(0x12, 64832)}));
        QCOMPARE(r.TextVolts->text(), QStringLiteral("10.3000"));
        QCOMPARE(r.TextData->text(), QStringLiteral("FD40"));

        w.p.main->declare().WriteRegister(2, 3, 3);
        w.traffic();
        choose(r.ComboReg, QStringLiteral("Coarse Gain Register"));
        QCOMPARE(r.ComboCoarse->currentIndex(), -1);
        QCOMPARE(w.s->CoarseGainCode, 3);
        for (const QString& call : w.traffic())
            QVERIFY2(!call.contains(QStringLiteral("0xd9")), qPrintable(call));
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

    // The function register shows its control word, read only, at address 1; leaving it,
    // accesses go to the channel the list shows again.
    void functionRegisterAndBack_data() {
        QTest::addColumn<QString>("channel");
        QTest::addColumn<int>("address");
        QTest::newRow("DAC A") << "DAC A" << 0;
        QTest::newRow("DAC C") << "DAC C" << 2;
    }
    void functionRegisterAndBack() {
        QFETCH(QString, channel);
        QFETCH(int, address);
        Panel w;
        QVERIFY(w.r);
        RegistersPanel& r = *w.r;
        auto aLabels = [&r] {
            return r.LabelA[2]->text() + r.LabelA[1]->text() + r.LabelA[0]->text();
        };
        choose(r.ComboAddr, channel);
        w.traffic();
        choose(r.ComboReg, QStringLiteral("Function Register"));
        QCOMPARE(w.traffic(), expect({vr("Vendor_Request", kShift, 0x01, 0, 0, 0), readCall(0x01),
                                      readCall(0x01)}));
        QCOMPARE(r.LabelData->text().left(2), QStringLiteral("81"));
        QCOMPARE(r.ComboRW->currentText(), QStringLiteral("Read"));
        QVERIFY(!r.ComboRW->isEnabled());
        QVERIFY(!r.ComboAddr->isVisible());
        QVERIFY(r.Command2->isVisible());
        QVERIFY(!r.TextData->isVisible());
        QCOMPARE(aLabels(), QStringLiteral("001"));

        choose(r.ComboReg, QStringLiteral("Data Register"));
        QCOMPARE(w.s->AddressCode, address);
        QCOMPARE(aLabels(), QString::number(address, 2).rightJustified(3, '0'));
        QVERIFY(r.ComboRW->isEnabled());
        w.traffic();
        enter(r.TextData, QStringLiteral("1234"));
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
