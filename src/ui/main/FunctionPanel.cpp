#include "ui/main/FunctionPanel.h"

#include "device/RegisterMap.h"
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
    s.FunctionBits = s.SdoDisableBit + 2 * s.D0LevelBit + 4 * s.D0DirectionBit + 8 * s.D1LevelBit +
                     16 * s.D1DirectionBit + 32 * s.LocalGndOffsetBit;
    ctx_.declare.WriteRegister(1, 0, s.FunctionBits);
}

// The switches' and buttons' behaviour belongs to the function register panel's own work.
void FunctionPanel::Toggle1_Change() {}
void FunctionPanel::Toggle3_Change() {}
void FunctionPanel::Toggle4_Change() {}
void FunctionPanel::Toggle5_Change() {}
void FunctionPanel::Toggle6_Change() {}
void FunctionPanel::Toggle7_Change() {}
void FunctionPanel::Command4_Click() {}
void FunctionPanel::Command5_Click() {}
void FunctionPanel::Command6_Click() {}

} // namespace tq::ui
