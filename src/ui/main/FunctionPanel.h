#pragma once
// "Function Register Configuration" (Frame6): the six function-register switches, "READ" of
// the digital I/O pins, CLEAR and LOAD.

#include "ui/main/FormContext.h"

#include <QGroupBox>

class QPushButton;

namespace tq::ui {

class Toggle;

class FunctionPanel : public QGroupBox {
    Q_OBJECT

public:
    FunctionPanel(FormContext& ctx, QWidget* parent);

    QGroupBox* Frame7;     // "Local Gnd Offset Adjust"
    QGroupBox* Frame9;     // "Serial Data Output (SDO)"
    QGroupBox* Frame8;     // "Digital I/O Ports"
    QGroupBox* Frame11;    // D1, inside Frame8
    QGroupBox* Frame10;    // D0, inside Frame8
    Toggle* Toggle1;       // local ground offset adjust
    Toggle* Toggle7;       // SDO
    Toggle* Toggle3;       // D1 direction
    Toggle* Toggle5;       // D1 level
    Toggle* Toggle4;       // D0 direction
    Toggle* Toggle6;       // D0 level
    QPushButton* Command6; // "READ"
    QPushButton* Command4; // "CLEAR"
    QPushButton* Command5; // "LOAD"

    // FunctionBits := the word composed from the six function-register flags, written to the
    // function register (address 1, register 0). Shared by the switches, "Read Register" and
    // the temperature measurement.
    void WriteFunctionFlags();

    void Toggle1_Change();
    void Toggle3_Change();
    void Toggle4_Change();
    void Toggle5_Change();
    void Toggle6_Change();
    void Toggle7_Change();
    void Command4_Click();
    void Command5_Click();
    void Command6_Click();

private:
    FormContext& ctx_;
};

} // namespace tq::ui
