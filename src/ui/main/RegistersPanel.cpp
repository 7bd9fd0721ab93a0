#include "ui/main/RegistersPanel.h"

#include "device/Encodings.h"
#include "device/Format.h"
#include "device/NumberText.h"
#include "device/RegisterMap.h"
#include "device/Round.h"

#include "ui/main/FunctionPanel.h"
#include "ui/main/MainForm.h"
#include "ui/widgets/Named.h"
#include "ui/widgets/Toggle.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <optional>
#include <string>

namespace tq::ui {

namespace {

QLabel* bitLabel(QWidget* parent, const QString& name) {
    auto* l = new QLabel(QStringLiteral("0"), parent);
    l->setObjectName(name);
    l->setAlignment(Qt::AlignCenter);
    l->setFrameShape(QFrame::Panel);
    l->setFrameShadow(QFrame::Sunken);
    l->setMinimumWidth(22);
    return l;
}

QLabel* heading(QWidget* parent, const QString& text) {
    auto* l = new QLabel(text, parent);
    l->setAlignment(Qt::AlignCenter);
    QFont f = l->font();
    f.setPointSizeF(f.pointSizeF() * 0.85);
    l->setFont(f);
    return l;
}

QLabel* groupCaption(QWidget* parent, const QString& text) {
    auto* l = new QLabel(text, parent);
    l->setAlignment(Qt::AlignCenter);
    l->setFrameShape(QFrame::StyledPanel);
    QFont f = l->font();
    f.setBold(true);
    f.setPointSizeF(f.pointSizeF() * 0.9);
    l->setFont(f);
    return l;
}

} // namespace

RegistersPanel::RegistersPanel(FormContext& ctx, QWidget* parent)
    : QGroupBox(QStringLiteral("Read / Write Registers"), parent), ctx_(ctx) {
    setObjectName(QStringLiteral("Frame1"));

    ComboRW = named(new QComboBox(this), "ComboRW");
    ComboRW->setAccessibleName(QStringLiteral("Read or write"));
    ComboReg = named(new QComboBox(this), "ComboReg");
    ComboReg->setAccessibleName(QStringLiteral("Register"));
    ComboReg->setMinimumContentsLength(20);
    ComboAddr = named(new QComboBox(this), "ComboAddr");
    ComboAddr->setAccessibleName(QStringLiteral("DAC address"));
    ComboAddr->setMinimumContentsLength(8);
    command1 = named(new QPushButton(QStringLiteral("Read Register"), this), "command1");
    Label27 = named(new QLabel(QStringLiteral("0"), this), "Label27");
    Label27->setAccessibleDescription(QStringLiteral("Data value"));
    Label27->setFrameShape(QFrame::StyledPanel);
    Label27->setFrameShadow(QFrame::Sunken);
    Label27->setMinimumWidth(70);
    Label27->setAlignment(Qt::AlignCenter);
    QFont valueFont = Label27->font();
    valueFont.setBold(true);
    Label27->setFont(valueFont);

    Label1 = named(new QLabel(QStringLiteral("Enter Data Value"), this), "Label1");
    TextData = named(new QLineEdit(QStringLiteral("0"), this), "TextData");
    Label29 = named(new QLabel(QStringLiteral("Enter Voltage Value"), this), "Label29");
    TextVolts = named(new QLineEdit(QStringLiteral("0.0000"), this), "TextVolts");
    Label5 = named(new QLabel(QStringLiteral("Select Output Range"), this), "Label5");
    ComboCoarse = named(new QComboBox(this), "ComboCoarse");
    Label7 = named(new QLabel(QStringLiteral("Enter Fine Gain Value"), this), "Label7");
    TextFine = named(new QLineEdit(QStringLiteral("0"), this), "TextFine");
    Label9 = named(new QLabel(QStringLiteral("Enter Offset Value"), this), "Label9");
    TextOffset = named(new QLineEdit(QStringLiteral("0"), this), "TextOffset");
    Command2 =
        named(new QPushButton(QString::fromStdString(ctx.state.DisplayRadix), this), "Command2");
    Command2->setAccessibleDescription(QStringLiteral("Display radix"));
    Label11 = named(new QLabel(QStringLiteral("Select Function"), this), "Label11");
    ComboFunction = named(new QComboBox(this), "ComboFunction");
    LabelFunction = named(new QLabel(QStringLiteral("Enter Function Data"), this), "LabelFunction");
    TextFunction = named(new QLineEdit(this), "TextFunction");

    Label1->setBuddy(TextData);
    Label29->setBuddy(TextVolts);
    Label5->setBuddy(ComboCoarse);
    Label7->setBuddy(TextFine);
    Label9->setBuddy(TextOffset);
    Label11->setBuddy(ComboFunction);
    LabelFunction->setBuddy(TextFunction);
    for (QLineEdit* e : {TextData, TextVolts, TextFine, TextOffset, TextFunction})
        e->setMaximumWidth(110);

    // Selection row.
    auto* selectRow = new QHBoxLayout;
    selectRow->addWidget(ComboRW);
    selectRow->addWidget(ComboReg);
    selectRow->addWidget(ComboAddr);
    selectRow->addWidget(command1);
    selectRow->addSpacing(12);
    selectRow->addWidget(Label27);
    selectRow->addStretch(1);

    // Entries: only the selected register's rows are visible at a time.
    auto* entries = new QGridLayout;
    entries->setColumnStretch(3, 1);
    entries->addWidget(Label1, 0, 0);
    entries->addWidget(TextData, 0, 1);
    entries->addWidget(Command2, 0, 2);
    entries->addWidget(Label29, 1, 0);
    entries->addWidget(TextVolts, 1, 1);
    entries->addWidget(Label5, 2, 0);
    entries->addWidget(ComboCoarse, 2, 1, 1, 2);
    entries->addWidget(Label7, 3, 0);
    entries->addWidget(TextFine, 3, 1);
    entries->addWidget(Label9, 4, 0);
    entries->addWidget(TextOffset, 4, 1);
    entries->addWidget(Label11, 5, 0);
    entries->addWidget(ComboFunction, 5, 1, 1, 2);
    entries->addWidget(LabelFunction, 6, 0);
    entries->addWidget(TextFunction, 6, 1);
    auto* entryBox = new QWidget(this);
    auto* entryOuter = new QVBoxLayout(entryBox);
    entryOuter->setContentsMargins(0, 0, 0, 0);
    entryOuter->addLayout(entries);
    entryOuter->addStretch(1);
    entryBox->setMinimumHeight(66);

    auto* top = new QVBoxLayout(this);
    top->addLayout(selectRow);
    top->addWidget(entryBox);
    top->addWidget(buildBitGrid());

    setTabOrder(ComboRW, ComboReg);
    setTabOrder(ComboReg, ComboAddr);
    setTabOrder(ComboAddr, command1);
    setTabOrder(command1, TextData);
    setTabOrder(TextData, Command2);
    setTabOrder(Command2, TextVolts);
    setTabOrder(TextVolts, ComboCoarse);
    setTabOrder(ComboCoarse, TextFine);
    setTabOrder(TextFine, TextOffset);
    setTabOrder(TextOffset, ComboFunction);
    setTabOrder(ComboFunction, TextFunction);

    connect(ComboRW, &QComboBox::activated, this, [this] { ComboRW_Click(); });
    connect(ComboReg, &QComboBox::activated, this, [this] { ComboReg_Click(); });
    connect(ComboAddr, &QComboBox::activated, this, [this] { ComboAddr_Click(); });
    connect(ComboCoarse, &QComboBox::activated, this, [this] { ComboCoarse_Click(); });
    connect(ComboFunction, &QComboBox::activated, this, [this] { ComboFunction_Click(); });
    connect(command1, &QPushButton::clicked, this, [this] { Command1_Click(); });
    connect(Command2, &QPushButton::clicked, this, [this] { Command2_Click(); });
    connect(TextData, &QLineEdit::returnPressed, this, [this] { TextData_KeyPress(); });
    connect(TextVolts, &QLineEdit::returnPressed, this, [this] { TextVolts_KeyPress(); });
    connect(TextFine, &QLineEdit::returnPressed, this, [this] { TextFine_KeyPress(); });
    connect(TextOffset, &QLineEdit::returnPressed, this, [this] { TextOffset_KeyPress(); });
    connect(TextFunction, &QLineEdit::returnPressed, this, [this] { TextFunction_KeyPress(); });
}

QWidget* RegistersPanel::buildBitGrid() {
    Frame17 = new QGroupBox(QStringLiteral("Input Register Contents"), this);
    Frame17->setObjectName(QStringLiteral("Frame17"));
    auto* grid = new QGridLayout(Frame17);
    grid->setHorizontalSpacing(2);
    grid->setVerticalSpacing(2);

    // Row 0: group captions, row 1: bit headings, row 2: bit values. Columns 0..23 are bits
    // 23..0; column 25 is the hex value.
    grid->addWidget(groupCaption(Frame17, QStringLiteral("Register Select")), 0, 2, 1, 3);
    grid->addWidget(groupCaption(Frame17, QStringLiteral("DAC Address")), 0, 5, 1, 3);
    grid->addWidget(groupCaption(Frame17, QStringLiteral("Data")), 0, 8, 1, 16);
    grid->addWidget(groupCaption(Frame17, QStringLiteral("Hex Value")), 1, 25);

    int col = 0;
    auto put = [&](const QString& head, QLabel* value) {
        grid->addWidget(heading(Frame17, head), 1, col);
        grid->addWidget(value, 2, col);
        ++col;
    };
    LabelRW = bitLabel(Frame17, QStringLiteral("LabelRW"));
    put(QStringLiteral("R/W"), LabelRW);
    put(QStringLiteral("0"), bitLabel(Frame17, QStringLiteral("LabelBit22")));
    for (int i = 2; i >= 0; --i) {
        LabelREG[i] = bitLabel(Frame17, QStringLiteral("LabelREG%1").arg(i));
        put(QStringLiteral("REG %1").arg(i), LabelREG[i]);
    }
    for (int i = 2; i >= 0; --i) {
        LabelA[i] = bitLabel(Frame17, QStringLiteral("LabelA%1").arg(i));
        put(QStringLiteral("A%1").arg(i), LabelA[i]);
    }
    for (int i = 15; i >= 0; --i) {
        LabelD[i] = bitLabel(Frame17, QStringLiteral("LabelD%1").arg(i));
        put(QStringLiteral("D%1").arg(i), LabelD[i]);
    }
    grid->setColumnMinimumWidth(24, 10);
    LabelData = named(new QLabel(QStringLiteral("000000"), Frame17), "LabelData");
    LabelData->setAlignment(Qt::AlignCenter);
    LabelData->setFrameShape(QFrame::Panel);
    LabelData->setFrameShadow(QFrame::Sunken);
    LabelData->setMinimumWidth(70);
    LabelData->setAccessibleDescription(QStringLiteral("Hex Value"));
    QFont f = LabelData->font();
    f.setBold(true);
    LabelData->setFont(f);
    grid->addWidget(LabelData, 2, 25);
    // Equal columns: the word reads as one row of bits.
    for (int c = 0; c < 24; ++c) {
        grid->setColumnMinimumWidth(c, 34);
        grid->setColumnStretch(c, 1);
    }
    return Frame17;
}

void RegistersPanel::hideEntryControls() {
    for (QWidget* w : std::initializer_list<QWidget*>{
             ComboFunction, Label11, TextFunction, LabelFunction, TextData, Label1, TextVolts,
             Label29, Command2, ComboCoarse, Label5, TextFine, Label7, TextOffset, Label9})
        w->hide();
}

void RegistersPanel::ComboRW_Click() {
    const int item = ComboRW->currentIndex();
    if (item < 0) return;
    ctx_.state.ReadWriteBit = device::ReadWriteItems.at(static_cast<size_t>(item)).bit;
    LabelRW->setText(QString::number(ctx_.state.ReadWriteBit));
}

void RegistersPanel::setAddress(int16_t code) {
    ctx_.state.AddressCode = code;
    for (int i = 0; i < 3; ++i)
        LabelA[i]->setText(QString::number((code >> i) & 1));
}

void RegistersPanel::rejectEntry(QLineEdit* box) {
    box->clear();
    box->setFocus();
}

void RegistersPanel::ComboReg_Click() {
    SharedState& s = ctx_.state;
    const int item = ComboReg->currentIndex();
    if (item < 0) return;

    s.RegisterCode = device::RegisterItems.at(static_cast<size_t>(item)).code;
    for (int i = 0; i < 3; ++i)
        LabelREG[i]->setText(QString::number((s.RegisterCode >> i) & 1));

    hideEntryControls();
    auto showAll = [](std::initializer_list<QWidget*> widgets) {
        for (QWidget* w : widgets)
            w->show();
    };
    if (s.RegisterCode == device::FunctionRegister) { // the control word, read only
        ComboRW->setCurrentIndex(
            ComboRW->findText(QString::fromUtf8(device::ReadWriteItems[0].text)));
        ComboRW_Click();
        ComboRW->setEnabled(false);
        Command2->show();
        ComboAddr->hide();
        setAddress(device::FunctionControlWord);
        Command1_Click();
        return;
    }

    ComboRW->setEnabled(true);
    ComboAddr->show();
    // The function register borrowed the address field; the channel the list shows is the
    // one every access of the other registers goes to.
    if (const int addr = ComboAddr->currentIndex(); addr >= 0)
        setAddress(device::AddressItems.at(static_cast<size_t>(addr)).code);

    switch (s.RegisterCode) {
    case device::DataRegister:
        showAll({TextData, Label1, TextVolts, Label29, Command2});
        break;
    case device::CoarseGainRegister:
        showAll({ComboCoarse, Label5});
        s.CoarseGainCode = ctx_.declare.ReadRegister(s.AddressCode, device::CoarseGainRegister) &
                           device::CoarseGainCodeMask;
        if (s.CoarseGainCode < ComboCoarse->count())
            showCoarseCode(s.CoarseGainCode);
        else // code 3 has no range
            ComboCoarse->setCurrentIndex(-1);
        break;
    case device::FineGainRegister:
        showAll({TextFine, Label7});
        break;
    default:
        showAll({TextOffset, Label9});
        break;
    }
    Command1_Click();
}

void RegistersPanel::ComboAddr_Click() {
    const int item = ComboAddr->currentIndex();
    if (item < 0) return;
    setAddress(device::AddressItems.at(static_cast<size_t>(item)).code);
    Command1_Click();
}

void RegistersPanel::ComboCoarse_Click() {
    SharedState& s = ctx_.state;
    const int item = ComboCoarse->currentIndex();
    if (item < 0) return;
    const device::CoarseGainRange& range = device::CoarseGainRanges.at(static_cast<size_t>(item));
    s.ReadWriteBit = device::WriteBit;
    LabelRW->setText(QStringLiteral("0"));
    ctx_.declare.WriteRegister(s.AddressCode, device::CoarseGainRegister, range.code);
    s.OutputRangeVolts = range.fullScaleVolts;
}

void RegistersPanel::showCoarseCode(int32_t code) {
    ComboCoarse->setCurrentIndex(code);
    // For one channel the range's handler rewrites the same code. A read of "ALL DACs" has
    // no single answer: running the handler would write it to all four channels, putting
    // every channel on a range nobody chose.
    if (ctx_.state.AddressCode != device::AllDacs) ComboCoarse_Click();
}

void RegistersPanel::ComboFunction_Click() {
    SharedState& s = ctx_.state;
    if (ComboFunction->currentText() == QString::fromUtf8(device::NoOperationItem)) {
        s.DataValue = 0;
        s.AddressCode = device::FunctionNoOperation;
        ctx_.declare.WriteRegister(device::FunctionNoOperation, s.RegisterCode, 0);
    }
    // The other function items belong to the function entry's behaviour.
}

void RegistersPanel::Command1_Click() {
    SharedState& s = ctx_.state;
    FunctionPanel& fn = ctx_.form.functionPanel();
    s.SdoDisableBit = 0; // a register reads back only while SDO is on
    fn.WriteFunctionFlags();
    fn.Toggle7->setValue(false);
    s.DataValue = ctx_.declare.ReadRegister(s.AddressCode, s.RegisterCode);
    UpdateInputRegisterDisplay(s.DataValue);
    LabelRW->setText(QStringLiteral("1"));
}

namespace {

// The leading number of an entry held in single precision, as the trims and volts are.
device::Result<float> SingleFromText(const QString& text) {
    const device::Result<double> number = device::NumberText(text.toStdString());
    if (!number) return number.error();
    return device::ToSingle(*number);
}

} // namespace

void RegistersPanel::Command2_Click() {
    SharedState& s = ctx_.state;
    const bool toDec = Command2->text() == QString::fromUtf8(device::RadixText(device::Radix::Hex));
    const device::Radix to = toDec ? device::Radix::Dec : device::Radix::Hex;
    s.DisplayRadix = std::string(device::RadixText(to));
    Command2->setText(QString::fromUtf8(device::RadixText(to)));

    // An empty box counts as 0, as the data entry reads it; a text that cannot be converted
    // empties its box, which gets the focus.
    auto convert = [to](const QString& shown) -> std::optional<QString> {
        const std::string text = shown.isEmpty() ? std::string("0") : shown.toStdString();
        const device::Result<std::string> changed = device::ChangeRadix(text, to);
        if (!changed) return std::nullopt;
        return QString::fromUtf8(*changed);
    };
    QLineEdit* failed = nullptr;
    for (QLineEdit* box : {TextData, TextFunction}) {
        if (const std::optional<QString> text = convert(box->text())) {
            box->setText(*text);
        } else {
            box->clear();
            if (!failed) failed = box;
        }
    }
    if (const std::optional<QString> text = convert(Label27->text())) Label27->setText(*text);
    if (toDec && failed != TextData) s.DataValue = TextData->text().toInt();
    if (failed) failed->setFocus();
}

void RegistersPanel::TextData_KeyPress() {
    SharedState& s = ctx_.state;
    board::BoardLink& d = ctx_.declare;
    DataRangeCode = d.ReadRegister(s.AddressCode, device::CoarseGainRegister);
    s.OutputRangeVolts = device::RangeFromCoarseCode(DataRangeCode, s.OutputRangeVolts);
    s.ReadWriteBit = device::WriteBit;
    LabelRW->setText(QStringLiteral("0"));

    const device::Radix radix = device::RadixFromText(s.DisplayRadix).value_or(device::Radix::Hex);
    const device::Result<device::CodeText> entry =
        device::DataCodeFromText(TextData->text().toStdString(), radix);
    if (!entry) {
        rejectEntry(TextData);
        return;
    }
    TextData->setText(QString::fromUtf8(entry->text));
    s.DataValue = entry->code;
    d.WriteRegister(s.AddressCode, s.RegisterCode, s.DataValue);

    TextVolts->setText(
        QString::fromUtf8(device::VoltsText(device::CodeToVolts(s.DataValue, s.OutputRangeVolts))));
    UpdateInputRegisterDisplay(s.DataValue);
    LabelRW->setText(QStringLiteral("0"));
}

void RegistersPanel::TextVolts_KeyPress() {
    SharedState& s = ctx_.state;
    board::BoardLink& d = ctx_.declare;
    // The range is always that of DAC A, whichever channel is selected.
    const int32_t c = d.ReadRegister(device::DacA, device::CoarseGainRegister);
    s.OutputRangeVolts = device::RangeFromCoarseCode(c, s.OutputRangeVolts);
    s.RegisterCode = device::DataRegister;

    const device::Result<float> entered = SingleFromText(TextVolts->text());
    if (!entered) {
        rejectEntry(TextVolts);
        return;
    }
    const float v = device::ClampVolts(*entered, s.OutputRangeVolts);
    TextVolts->setText(QString::fromUtf8(device::VoltsText(device::RoundDecimals(v, 5))));

    s.DataValue = device::VoltsToCode(v, s.OutputRangeVolts, s.BinTwosCompLine);
    TextData->setText(s.DisplayRadix == "Hex" ? QString::fromUtf8(device::HexText(s.DataValue))
                                              : QString::number(s.DataValue));
    d.WriteRegister(s.AddressCode, device::DataRegister, s.DataValue);
}

void RegistersPanel::TextFine_KeyPress() {
    writeTrim(TextFine, device::FineGainRegister, device::FineGainToCode, device::ClampFineGain);
}

void RegistersPanel::TextOffset_KeyPress() {
    writeTrim(TextOffset, device::OffsetRegister, device::OffsetToCode, device::ClampOffset);
}

// The fine gain and offset entries: an empty box reads as 0, the trim is limited to its
// range and shown as such, and its register value is written and displayed.
void RegistersPanel::writeTrim(QLineEdit* box, int16_t reg, int32_t (*toCode)(float),
                               float (*clamp)(float)) {
    SharedState& s = ctx_.state;
    s.ReadWriteBit = device::WriteBit;
    LabelRW->setText(QStringLiteral("0"));
    if (box->text().isEmpty()) box->setText(QStringLiteral("0"));
    const device::Result<float> trim = SingleFromText(box->text());
    if (!trim) {
        rejectEntry(box);
        return;
    }
    s.DataValue = toCode(*trim);
    box->setText(QString::fromUtf8(device::FloatText(clamp(*trim))));
    ctx_.declare.WriteRegister(s.AddressCode, reg, s.DataValue);
    UpdateInputRegisterDisplay(s.DataValue);
    LabelRW->setText(QStringLiteral("0"));
}

void RegistersPanel::TextFunction_KeyPress() {}

void RegistersPanel::UpdateInputRegisterDisplay(int32_t w) {
    const SharedState& s = ctx_.state;
    const bool hex = s.DisplayRadix == "Hex";
    LabelRW->setText(QString::number(s.ReadWriteBit));
    for (int i = 0; i < 16; ++i)
        LabelD[i]->setText(QString::number((w >> i) & 1));
    Label27->setText(hex ? QString::fromUtf8(device::HexText4(w)) : QString::number(w));
    LabelData->setText(QString::fromUtf8(
        device::HexText(device::WordValue(s.ReadWriteBit, s.RegisterCode, s.AddressCode, w))));

    const int item = ComboReg->currentIndex();
    if (item < 0) return;
    switch (device::RegisterItems.at(static_cast<size_t>(item)).code) {
    case device::DataRegister: {
        TextData->setText(hex ? QString::fromUtf8(device::HexText(w)) : QString::number(w));
        const float fs = device::RangeFromCoarseCode(DataRangeCode, s.OutputRangeVolts);
        TextVolts->setText(QString::fromUtf8(device::VoltsText(device::CodeToVolts(w, fs))));
        break;
    }
    case device::CoarseGainRegister:
        if (w >= 0 && w < ComboCoarse->count()) showCoarseCode(w);
        break;
    case device::FineGainRegister:
        TextFine->setText(
            QString::fromUtf8(device::FloatText(static_cast<float>(device::CodeToFineGain(w)))));
        break;
    case device::OffsetRegister:
        TextOffset->setText(QString::fromUtf8(device::FloatText(device::CodeToOffset(w))));
        break;
    default:
        break;
    }
}

} // namespace tq::ui
