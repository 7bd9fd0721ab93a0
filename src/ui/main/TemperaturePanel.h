#pragma once
// "Measure ... Core Temperature" (Frame19): one measurement of the die temperature.

#include "ui/main/FormContext.h"

#include <QGroupBox>

class QLabel;
class QPushButton;

namespace tq::ui {

class TemperaturePanel : public QGroupBox {
    Q_OBJECT

public:
    TemperaturePanel(FormContext& ctx, QWidget* parent);

    QPushButton* Command7; // "Measure"
    QLabel* Label19;       // legend of Label23
    QLabel* Label23;       // volts at the TEMP pin
    QLabel* Label21;       // legend of Label25
    QLabel* Label25;       // degrees Celsius

    // The frame and every control in it enabled or not (the legacy board has no readout).
    void setPanelEnabled(bool enabled);

    void Command7_Click();

private:
    FormContext& ctx_;
};

} // namespace tq::ui
