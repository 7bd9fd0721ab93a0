#pragma once
// "Calibration" (Frame22): the guided offset and gain calibration of the selected channel.
// The offset step's and the gain step's controls share one place; one step shows at a time.

#include "ui/main/FormContext.h"

#include <QGroupBox>

#include <chrono>

class QLabel;
class QLineEdit;
class QPushButton;
class QTimer;

namespace tq::ui {

class CalibrationPanel : public QGroupBox {
    Q_OBJECT

public:
    // Idle: only Command8, enabled. Offset and Gain: that step's controls, Command8
    // disabled. Complete: "Calibration complete" for kCompletePause, then Idle.
    enum class Step { Idle, Offset, Gain, Complete };

    // Timed on a monotonic clock; the window keeps serving events meanwhile.
    static constexpr std::chrono::milliseconds kCompletePause{2000};

    CalibrationPanel(FormContext& ctx, QWidget* parent);

    Step step() const { return step_; }

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

    // Starts a run: shows the offset step. Nothing is sent to the board.
    void Command8_Click();
    // Offset step on the channel selected now: reads the offset register, corrects it by the
    // voltage in TextOff and writes it back (DataValue keeps the code), then the gain step.
    // A voltage that cannot be used (or an odd read-back) writes nothing: a message, TextOff
    // emptied and focused, still the offset step. A register that could not be read back
    // because SDO is off writes nothing either: the message says so and TextOff keeps the
    // reading. A result beyond the register is limited to it, written, and the user is told.
    void CommandOff_Click();
    // Gain step on the channel selected now, likewise from TextFS and the fine gain register;
    // on failure "A negative number is expected", TextFS emptied and focused, still the gain
    // step; with SDO off as the offset step. On success the Complete step.
    void CommandFS_Click();

private:
    void showStep(Step step);
    // A modal message with the exclamation icon and an OK button.
    void warn(const QString& text);
    // The failed step's pattern: the message, then the entry emptied and focused.
    void refuse(QLineEdit* entry, const QString& text);
    // What every read gives while SDO is off: the line floats high.
    static constexpr int32_t kFloatingReadBack = 0xFFFF;
    // True, after telling the user to switch SDO on, when readBack is that floating word.
    bool readBackFloated(int32_t readBack, const QString& registerName);

    FormContext& ctx_;
    Step step_ = Step::Idle;
    QTimer* pause_;
};

} // namespace tq::ui
