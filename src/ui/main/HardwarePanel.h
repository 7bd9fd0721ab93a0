#pragma once
// "Hardware Configuration" (Frame12): the board's control lines BIN/2sCOMP, CLR, LDAC,
// RSTIN, the levels it drives on D1 and D0, and "Pulse After Data Write".

#include "ui/main/FormContext.h"

#include <QGroupBox>

class QCheckBox;

namespace tq::ui {

class Toggle;

class HardwarePanel : public QGroupBox {
    Q_OBJECT

public:
    HardwarePanel(FormContext& ctx, QWidget* parent);

    QGroupBox* Frame13; // "Bin / 2sComp"
    QGroupBox* Frame14; // "CLR Pin"
    QGroupBox* Frame15; // "LDAC Pin"
    QGroupBox* Frame16; // "RSTIN Pin"
    QGroupBox* Frame21; // "Drive D1 Pin"
    QGroupBox* Frame20; // "Drive D0 Pin"
    Toggle* Toggle2;    // BIN/2sCOMP
    Toggle* Toggle8;    // CLR
    Toggle* Toggle9;    // LDAC
    Toggle* Toggle10;   // RSTIN
    Toggle* Toggle12;   // drive D1
    Toggle* Toggle11;   // drive D0
    QCheckBox* Check1;  // "Pulse After Data Write"

    // Each control-line switch: its flag follows the switch (True = 1: "Binary", "High"),
    // then the control-line word is sent.
    void Toggle2_Change();
    void Toggle8_Change();
    void Toggle9_Change();
    void Toggle10_Change();
    void Toggle11_Change();
    void Toggle12_Change();
    // Checked: LDAC held high (Toggle9 on and disabled) and the control lines sent; cleared:
    // Toggle9 usable again, nothing sent. Check1Value follows the box.
    void Check1_Click();

private:
    // flag := the toggle's state (True = 1), then the control-line word goes out.
    void setLine(int16_t& flag, const Toggle* toggle);

    FormContext& ctx_;
};

} // namespace tq::ui
