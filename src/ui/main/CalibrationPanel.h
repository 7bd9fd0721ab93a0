#pragma once
// "Calibration" (Frame22): the guided offset and gain calibration of the selected channel.
// The offset step's and the gain step's controls share one place; one step shows at a time.

#include "ui/main/FormContext.h"

#include <QGroupBox>

class QLabel;
class QLineEdit;
class QPushButton;

namespace tq::ui {

class CalibrationPanel : public QGroupBox {
    Q_OBJECT

public:
    CalibrationPanel(FormContext& ctx, QWidget* parent);

    QPushButton* Command8;
    QLabel* LabelOff1;
    QLabel* LabelOff2;
    QLineEdit* TextOff;
    QPushButton* CommandOff;
    QLabel* LabelFS1;
    QLabel* LabelFS2;
    QLineEdit* TextFS;
    QPushButton* CommandFS;
    QLabel* LabelComplete;

    void Command8_Click();
    void CommandOff_Click();
    void CommandFS_Click();

private:
    FormContext& ctx_;
};

} // namespace tq::ui
