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

    // LocalGndOffsetBit ("Enabled" = 1) and SdoDisableBit ("Disabled" = 1), then
    // WriteFunctionFlags.
    void Toggle1_Change();
    void Toggle7_Change();
    // Pin direction: the board's drive request (0xDC for D1, 0xDB for D0; 0 for an output,
    // 1 for an input), the level switch usable only for an output, "READ" shown while
    // either pin is an input, the board's drive switch usable only for an input, the
    // direction bit, then WriteFunctionFlags. Levels and drive flags stay as they are.
    void Toggle3_Change();
    void Toggle4_Change();
    // Pin level, only while the pin is an output: level bit, then WriteFunctionFlags. For an
    // input nothing is sent, no flag changes and the switch keeps showing what it showed.
    void Toggle5_Change();
    void Toggle6_Change();
    // CLEAR and LOAD of all channels: plain writes to the function register, never pulsed.
    void Command4_Click();
    void Command5_Click();
    // "READ": reads the function register with SDO turned on for it, takes the D1 and D0
    // levels as the board's drive flags (sent with the next control-line word) and shows
    // them on Toggle5/Toggle6, with Toggle7 "Enabled". SdoDisableBit and the level bits
    // are left as they are. While SDO was off the word written to turn it on is the one
    // composed from the flags (the register cannot answer then), never the noise read.
    void Command6_Click();

private:
    struct Pin {
        Toggle* direction;
        Toggle* level;
        const Toggle* otherDirection;
        QWidget* driveFrame;
        QWidget* driveToggle;
        uint8_t driveRequest;
        int16_t& directionBit;
    };
    int32_t composedFunctionBits() const;
    void setDirection(const Pin& pin);
    void setLevel(Toggle* level, const Toggle* direction, int16_t& levelBit);

    FormContext& ctx_;
};

} // namespace tq::ui
