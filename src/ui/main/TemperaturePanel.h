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

    // "Measure": SDO turned off through the function register (Toggle7 shows "Disabled"),
    // three 2-byte reads of which the last counts, then the TEMP pin voltage ("#.000") and
    // the temperature in whole degrees, signed, "0" when it rounds to zero.
    void Command7_Click();

private:
    FormContext& ctx_;
};

} // namespace tq::ui
