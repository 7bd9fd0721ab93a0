#include "ui/main/FunctionPanel.h"

#include "device/RegisterMap.h"
#include "ui/main/HardwarePanel.h"
#include "ui/main/MainForm.h"
#include "ui/widgets/Toggle.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

namespace tq::ui {

namespace {

Toggle* makeToggle(QWidget* parent, const char* name, const char* off, const char* on) {
    auto* t = new Toggle(QString::fromUtf8(off), QString::fromUtf8(on), parent);
    t->setObjectName(QString::fromLatin1(name));
    return t;
}

QGroupBox* frame(QWidget* parent, const char* name, const QString& caption) {
    auto* f = new QGroupBox(caption, parent);
    f->setObjectName(QString::fromLatin1(name));
    return f;
}

} // namespace

FunctionPanel::FunctionPanel(FormContext& ctx, QWidget* parent)
    : QGroupBox(QStringLiteral("Function Register Configuration"), parent), ctx_(ctx) {
    setObjectName(QStringLiteral("Frame6"));

    Frame7 = frame(this, "Frame7", QStringLiteral("Local Gnd Offset Adjust"));
    Toggle1 = makeToggle(Frame7, "Toggle1", "Disabled", "Enabled");
    (new QVBoxLayout(Frame7))->addWidget(Toggle1);

    Frame9 = frame(this, "Frame9", QStringLiteral("Serial Data Output (SDO)"));
    Toggle7 = makeToggle(Frame9, "Toggle7", "Enabled", "Disabled");
    (new QVBoxLayout(Frame9))->addWidget(Toggle7);

    Frame8 = frame(this, "Frame8", QStringLiteral("Digital I/O Ports"));
    Frame11 = frame(Frame8, "Frame11", QString());
    Toggle3 = makeToggle(Frame11, "Toggle3", "D1 - Input", "D1 - Output");
    Toggle5 = makeToggle(Frame11, "Toggle5", "D1 - Low", "D1 - High");
    auto* d1 = new QVBoxLayout(Frame11);
    d1->addWidget(Toggle3);
    d1->addWidget(Toggle5);
    Frame10 = frame(Frame8, "Frame10", QString());
    Toggle4 = makeToggle(Frame10, "Toggle4", "D0 - Input", "D0 - Output");
    Toggle6 = makeToggle(Frame10, "Toggle6", "D0 - Low", "D0 - High");
    auto* d0 = new QVBoxLayout(Frame10);
    d0->addWidget(Toggle4);
    d0->addWidget(Toggle6);
    Command6 = new QPushButton(QStringLiteral("READ"), Frame8);
    Command6->setObjectName(QStringLiteral("Command6"));
    Command6->setToolTip(QStringLiteral("Read the levels of D1 and D0"));
    auto* io = new QHBoxLayout(Frame8);
    io->addWidget(Frame11);
    io->addWidget(Frame10);
    io->addWidget(Command6, 0, Qt::AlignVCenter);
    // "READ" comes and goes with the pin directions; keep its place so nothing moves.
    QSizePolicy keep = Command6->sizePolicy();
    keep.setRetainSizeWhenHidden(true);
    Command6->setSizePolicy(keep);

    Command4 = new QPushButton(QStringLiteral("CLEAR"), this);
    Command4->setObjectName(QStringLiteral("Command4"));
    Command5 = new QPushButton(QStringLiteral("LOAD"), this);
    Command5->setObjectName(QStringLiteral("Command5"));

    auto* grid = new QGridLayout(this);
    grid->addWidget(Frame7, 0, 0);
    grid->addWidget(Frame9, 0, 1);
    auto* commands = new QVBoxLayout;
    commands->addWidget(Command4);
    commands->addWidget(Command5);
    commands->addStretch(1);
    grid->addLayout(commands, 0, 2, 2, 1);
    grid->addWidget(Frame8, 1, 0, 1, 2);
    grid->setColumnStretch(0, 1);
    grid->setColumnStretch(1, 1);

    setTabOrder(Toggle1, Toggle7);
    setTabOrder(Toggle7, Toggle3);
    setTabOrder(Toggle3, Toggle5);
    setTabOrder(Toggle5, Toggle4);
    setTabOrder(Toggle4, Toggle6);
    setTabOrder(Toggle6, Command6);
    setTabOrder(Command6, Command4);
    setTabOrder(Command4, Command5);

    connect(Toggle1, &Toggle::Change, this, [this] { Toggle1_Change(); });
    connect(Toggle3, &Toggle::Change, this, [this] { Toggle3_Change(); });
    connect(Toggle4, &Toggle::Change, this, [this] { Toggle4_Change(); });
    connect(Toggle5, &Toggle::Change, this, [this] { Toggle5_Change(); });
    connect(Toggle6, &Toggle::Change, this, [this] { Toggle6_Change(); });
    connect(Toggle7, &Toggle::Change, this, [this] { Toggle7_Change(); });
    connect(Command4, &QPushButton::clicked, this, [this] { Command4_Click(); });
    connect(Command5, &QPushButton::clicked, this, [this] { Command5_Click(); });
    connect(Command6, &QPushButton::clicked, this, [this] { Command6_Click(); });
}

void FunctionPanel::WriteFunctionFlags() {
    SharedState& s = ctx_.state;
    s.FunctionBits = composedFunctionBits();
    ctx_.declare.WriteRegister(1, 0, s.FunctionBits);
}

int32_t FunctionPanel::composedFunctionBits() const {
    const SharedState& s = ctx_.state;
    return device::ComposeFunctionBits(s.LocalGndOffsetBit, s.D1DirectionBit, s.D1LevelBit,
                                       s.D0DirectionBit, s.D0LevelBit, s.SdoDisableBit);
}

void FunctionPanel::Toggle1_Change() {
    ctx_.state.LocalGndOffsetBit = Toggle1->value() ? 1 : 0;
    WriteFunctionFlags();
}

void FunctionPanel::Toggle7_Change() {
    ctx_.state.SdoDisableBit = Toggle7->value() ? 1 : 0;
    WriteFunctionFlags();
}

void FunctionPanel::setLevel(Toggle* level, const Toggle* direction, int16_t& levelBit) {
    if (!direction->value()) {
        // An input pin's level is the converter's to report ("READ" shows it there), not
        // the user's to set: the switch goes back to what it showed and nothing is sent.
        level->setValue(!level->value());
        return;
    }
    levelBit = level->value() ? 1 : 0;
    WriteFunctionFlags();
}

void FunctionPanel::Toggle5_Change() {
    setLevel(Toggle5, Toggle3, ctx_.state.D1LevelBit);
}

void FunctionPanel::Toggle6_Change() {
    setLevel(Toggle6, Toggle4, ctx_.state.D0LevelBit);
}

void FunctionPanel::setDirection(const Pin& pin) {
    const bool output = pin.direction->value();
    // The board lets go of a pin the converter drives, and drives one it reads.
    ctx_.declare.DriveRequest(pin.driveRequest, output ? 0 : 1);
    pin.level->setEnabled(output);
    Command6->setVisible(!output || !pin.otherDirection->value());
    pin.driveFrame->setEnabled(!output);
    pin.driveToggle->setEnabled(!output);
    pin.directionBit = output ? 1 : 0;
    WriteFunctionFlags();
}

void FunctionPanel::Toggle3_Change() {
    HardwarePanel& hw = ctx_.form.hardwarePanel();
    setDirection({Toggle3, Toggle5, Toggle4, hw.Frame21, hw.Toggle12, board::kDriveD1,
                  ctx_.state.D1DirectionBit});
}

void FunctionPanel::Toggle4_Change() {
    HardwarePanel& hw = ctx_.form.hardwarePanel();
    setDirection({Toggle4, Toggle6, Toggle3, hw.Frame20, hw.Toggle11, board::kDriveD0,
                  ctx_.state.D0DirectionBit});
}

void FunctionPanel::Command4_Click() {
    ctx_.declare.WriteRegister(device::FunctionClear, device::FunctionRegister, 0);
}

void FunctionPanel::Command5_Click() {
    ctx_.declare.WriteRegister(device::FunctionLoad, device::FunctionRegister, 0);
}

void FunctionPanel::Command6_Click() {
    SharedState& s = ctx_.state;
    board::BoardLink& d = ctx_.declare;
    // The register answers only while SDO is on: turn it on for this read, whatever
    // SdoDisableBit says; the next composed word writes bit 0 from the flag again.
    int32_t word = d.ReadRegister(device::FunctionControlWord, device::FunctionRegister);
    // With SDO off nothing drives the line and the first read is noise; writing it back
    // would reconfigure both pins. Then the word we last composed is the register's.
    const bool answered = s.SdoDisableBit == 0 && (word & ~device::FunctionBitsMask) == 0;
    if (!answered) word = composedFunctionBits();
    s.FunctionBits = word & device::FunctionBitsMask & ~device::SdoDisableMask;
    d.WriteRegister(device::FunctionControlWord, device::FunctionRegister, s.FunctionBits);
    s.FunctionBits = d.ReadRegister(device::FunctionControlWord, device::FunctionRegister);
    // The levels read become the board's drive levels, sent with the next control-line word.
    s.DriveD1Line = (s.FunctionBits & device::D1LevelMask) != 0 ? 1 : 0;
    s.DriveD0Line = (s.FunctionBits & device::D0LevelMask) != 0 ? 1 : 0;
    Toggle7->setValue(false);
    Toggle5->setValue(s.DriveD1Line != 0);
    Toggle6->setValue(s.DriveD0Line != 0);
}

} // namespace tq::ui
