#include "ui/main/HardwarePanel.h"

#include "ui/widgets/Toggle.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QVBoxLayout>

namespace tq::ui {

namespace {

QGroupBox* frameWithToggle(QWidget* parent, const char* frameName, const QString& caption,
                           Toggle*& toggle, const char* toggleName, const char* off,
                           const char* on) {
    auto* f = new QGroupBox(caption, parent);
    f->setObjectName(QString::fromLatin1(frameName));
    toggle = new Toggle(QString::fromUtf8(off), QString::fromUtf8(on), f);
    toggle->setObjectName(QString::fromLatin1(toggleName));
    auto* l = new QVBoxLayout(f);
    l->addWidget(toggle);
    l->addStretch(1);
    return f;
}

} // namespace

HardwarePanel::HardwarePanel(FormContext& ctx, QWidget* parent)
    : QGroupBox(QStringLiteral("Hardware Configuration"), parent), ctx_(ctx) {
    setObjectName(QStringLiteral("Frame12"));

    Frame13 = frameWithToggle(this, "Frame13", QStringLiteral("Bin / 2sComp"), Toggle2, "Toggle2",
                              "2sComplement", "Binary");
    Frame14 = frameWithToggle(this, "Frame14", QStringLiteral("CLR Pin"), Toggle8, "Toggle8", "Low",
                              "High");
    Frame15 = frameWithToggle(this, "Frame15", QStringLiteral("LDAC Pin"), Toggle9, "Toggle9",
                              "Low", "High");
    Check1 = new QCheckBox(QStringLiteral("Pulse After Data Write"), Frame15);
    Check1->setObjectName(QStringLiteral("Check1"));
    // Beside the switch, so that the row is one switch high.
    auto* ldac = new QHBoxLayout;
    Frame15->layout()->removeWidget(Toggle9);
    static_cast<QVBoxLayout*>(Frame15->layout())->insertLayout(0, ldac);
    ldac->addWidget(Toggle9);
    ldac->addWidget(Check1);
    Frame16 = frameWithToggle(this, "Frame16", QStringLiteral("RSTIN Pin"), Toggle10, "Toggle10",
                              "Low", "High");
    Frame21 = frameWithToggle(this, "Frame21", QStringLiteral("Drive D1 Pin"), Toggle12, "Toggle12",
                              "Low", "High");
    Frame20 = frameWithToggle(this, "Frame20", QStringLiteral("Drive D0 Pin"), Toggle11, "Toggle11",
                              "Low", "High");

    auto* row = new QHBoxLayout(this);
    for (QGroupBox* f : {Frame13, Frame14, Frame15, Frame16, Frame21, Frame20})
        row->addWidget(f);

    setTabOrder(Toggle2, Toggle8);
    setTabOrder(Toggle8, Toggle9);
    setTabOrder(Toggle9, Check1);
    setTabOrder(Check1, Toggle10);
    setTabOrder(Toggle10, Toggle12);
    setTabOrder(Toggle12, Toggle11);

    connect(Toggle2, &Toggle::Change, this, [this] { Toggle2_Change(); });
    connect(Toggle8, &Toggle::Change, this, [this] { Toggle8_Change(); });
    connect(Toggle9, &Toggle::Change, this, [this] { Toggle9_Change(); });
    connect(Toggle10, &Toggle::Change, this, [this] { Toggle10_Change(); });
    connect(Toggle11, &Toggle::Change, this, [this] { Toggle11_Change(); });
    connect(Toggle12, &Toggle::Change, this, [this] { Toggle12_Change(); });
    connect(Check1, &QCheckBox::clicked, this, [this] { Check1_Click(); });
}

void HardwarePanel::setLine(int16_t& flag, const Toggle* toggle) {
    flag = toggle->value() ? 1 : 0;
    ctx_.declare.WriteControlLines();
}

void HardwarePanel::Toggle2_Change() {
    setLine(ctx_.state.BinTwosCompLine, Toggle2);
}
void HardwarePanel::Toggle8_Change() {
    setLine(ctx_.state.ClrLine, Toggle8);
}
void HardwarePanel::Toggle9_Change() {
    setLine(ctx_.state.LdacLine, Toggle9);
}
void HardwarePanel::Toggle10_Change() {
    setLine(ctx_.state.RstinLine, Toggle10);
}
void HardwarePanel::Toggle11_Change() {
    setLine(ctx_.state.DriveD0Line, Toggle11);
}
void HardwarePanel::Toggle12_Change() {
    setLine(ctx_.state.DriveD1Line, Toggle12);
}

void HardwarePanel::Check1_Click() {
    SharedState& s = ctx_.state;
    const Qt::CheckState check = Check1->checkState();
    s.Check1Value = check == Qt::Checked ? 1 : check == Qt::PartiallyChecked ? 2 : 0;
    if (s.Check1Value == 1) {
        Toggle9->setValue(true);
        Toggle9->setEnabled(false);
        s.LdacLine = 1;
        ctx_.declare.WriteControlLines();
    } else if (s.Check1Value == 0) {
        Toggle9->setEnabled(true);
    }
}

} // namespace tq::ui
