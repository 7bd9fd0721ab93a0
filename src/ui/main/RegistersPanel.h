#pragma once
// "Read / Write Registers" (Frame1): register, channel and R/W selection, the value entries
// of each register, "Read Register" and the "Input Register Contents" bit display (Frame17).

#include "ui/main/FormContext.h"

#include <QGroupBox>

#include <array>
#include <cstdint>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace tq::ui {

class RegistersPanel : public QGroupBox {
    Q_OBJECT

public:
    RegistersPanel(FormContext& ctx, QWidget* parent);

    QComboBox* ComboRW;
    QComboBox* ComboReg;
    QComboBox* ComboAddr;
    QPushButton* command1; // "Read Register"
    QLabel* Label27;       // data value in the present radix
    QLabel* Label1;
    QLineEdit* TextData;
    QLabel* Label29;
    QLineEdit* TextVolts;
    QLabel* Label5;
    QComboBox* ComboCoarse;
    QLabel* Label7;
    QLineEdit* TextFine;
    QLabel* Label9;
    QLineEdit* TextOffset;
    QPushButton* Command2; // radix switch
    QLabel* Label11;
    QComboBox* ComboFunction;
    QLabel* LabelFunction;
    QLineEdit* TextFunction;

    QGroupBox* Frame17; // "Input Register Contents"
    QLabel* LabelRW;
    std::array<QLabel*, 3> LabelREG{}; // LabelREG[i] is LabelREG<i>
    std::array<QLabel*, 3> LabelA{};   // LabelA[i] is LabelA<i>
    std::array<QLabel*, 16> LabelD{};  // LabelD[i] is LabelD<i>
    QLabel* LabelData;                 // the whole word in hex

    // Coarse gain code read by the last data code entry; picks the range the data register's
    // volts are shown in.
    int32_t DataRangeCode = 0;

    // Every entry control of the panel hidden; the register selection shows what it needs.
    void hideEntryControls();

    // The handlers; a list's handler runs for the user's choice and is called explicitly
    // after a choice made in code.
    void ComboRW_Click();
    void ComboReg_Click();
    void ComboAddr_Click();
    void ComboCoarse_Click();
    void ComboFunction_Click();
    void Command1_Click();
    void Command2_Click();
    void TextData_KeyPress();
    void TextVolts_KeyPress();
    void TextFine_KeyPress();
    void TextOffset_KeyPress();
    void TextFunction_KeyPress();

    // Shows word w as the register content of the last access: bits, value, whole word in
    // hex, and refreshes the selected register's entry from it.
    void UpdateInputRegisterDisplay(int32_t w);

private:
    QWidget* buildBitGrid();
    // AddressCode := code, shown on LabelA2..LabelA0.
    void setAddress(int16_t code);
    // The pattern of every entry for text it cannot convert: the box is emptied and gets the
    // focus, and nothing is written.
    static void rejectEntry(QLineEdit* box);
    // Selects the range item of a coarse gain code read back (0 .. 2). For one channel this
    // is the user's choice (the code is written again); for "ALL DACs" it is only shown.
    void showCoarseCode(int32_t code);
    void writeTrim(QLineEdit* box, int16_t reg, int32_t (*toCode)(float), float (*clamp)(float));
    FormContext& ctx_;
};

} // namespace tq::ui
