#include "ui/main/TemperaturePanel.h"

#include "device/Temperature.h"
#include "ui/main/FunctionPanel.h"
#include "ui/main/MainForm.h"
#include "ui/widgets/Toggle.h"

#include <QGridLayout>
#include <QLabel>
#include <QPushButton>

namespace tq::ui {

namespace {

QLabel* reading(QWidget* parent, const char* name) {
    auto* l = new QLabel(parent);
    l->setObjectName(QString::fromLatin1(name));
    l->setFrameShape(QFrame::Panel);
    l->setFrameShadow(QFrame::Sunken);
    l->setMinimumWidth(70);
    l->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return l;
}

} // namespace

TemperaturePanel::TemperaturePanel(FormContext& ctx, QWidget* parent)
    : QGroupBox(QString::fromUtf8(ctx.variant.temperatureCaption), parent), ctx_(ctx) {
    setObjectName(QStringLiteral("Frame19"));
    Command7 = new QPushButton(QStringLiteral("Measure"), this);
    Command7->setObjectName(QStringLiteral("Command7"));
    Label19 = new QLabel(QStringLiteral("Voltage at TEMP pin"), this);
    Label19->setObjectName(QStringLiteral("Label19"));
    Label21 = new QLabel(QStringLiteral("Temperature (°C)"), this);
    Label21->setObjectName(QStringLiteral("Label21"));
    Label23 = reading(this, "Label23");
    Label25 = reading(this, "Label25");
    Label23->setAccessibleDescription(Label19->text());
    Label25->setAccessibleDescription(Label21->text());

    auto* grid = new QGridLayout(this);
    grid->addWidget(Label19, 0, 0);
    grid->addWidget(Label23, 0, 1);
    grid->addWidget(Label21, 1, 0);
    grid->addWidget(Label25, 1, 1);
    grid->addWidget(Command7, 2, 0, 1, 2, Qt::AlignLeft);
    grid->setRowStretch(3, 1);

    connect(Command7, &QPushButton::clicked, this, [this] { Command7_Click(); });
}

void TemperaturePanel::setPanelEnabled(bool enabled) {
    setEnabled(enabled);
    for (QWidget* w : {static_cast<QWidget*>(Label19), static_cast<QWidget*>(Label21),
                       static_cast<QWidget*>(Label23), static_cast<QWidget*>(Label25),
                       static_cast<QWidget*>(Command7)})
        w->setEnabled(enabled);
}

void TemperaturePanel::Command7_Click() {
    // SDO shares its pin with the readout: off for the measurement, and left off.
    FunctionPanel& fn = ctx_.form.functionPanel();
    ctx_.state.SdoDisableBit = 1;
    fn.WriteFunctionFlags();
    fn.Toggle7->setValue(true);

    // The first two conversions may be stale; the third is the reading.
    board::BoardLink& d = ctx_.declare;
    d.ReadAdcWord();
    d.ReadAdcWord();
    const device::DieTemperature t = device::TemperatureFromReading(d.ReadAdcWord());
    Label23->setText(QString::fromStdString(t.voltsText));
    Label25->setText(QString::fromStdString(t.celsiusText));
}

} // namespace tq::ui
