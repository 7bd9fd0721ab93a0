#include "ui/main/TemperaturePanel.h"

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
    Label23->setAccessibleName(Label19->text());
    Label25->setAccessibleName(Label21->text());

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

// The measurement belongs to the temperature panel's own work.
void TemperaturePanel::Command7_Click() {}

} // namespace tq::ui
