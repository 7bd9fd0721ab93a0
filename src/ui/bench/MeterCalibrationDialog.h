#pragma once
// "Calibrate with Meter...": the automatic calibration of the bench library on the window's
// running board, with the meter's address and reading options, the channels to calibrate,
// a progress bar, Cancel (which leaves the trims as they were) and the table of errors
// before and after.
//
// The run happens on the window thread, between the meter's answers; the dialog keeps
// drawing and answering Cancel while it waits.

#include "bench/AutoCalibration.h"
#include "board/BoardLink.h"
#include "board/DriverApi.h"

#include <QDialog>

#include <array>

class QCheckBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QSpinBox;
class QTableWidget;

namespace tq::ui {

class MeterCalibrationDialog : public QDialog {
    Q_OBJECT

public:
    MeterCalibrationDialog(board::BoardLink& declare, board::DriverApi& driver, bench::Model model,
                           QWidget* parent = nullptr);

    // The meter's settings (MeterSettings.h).
    QLineEdit* MeterUrl;
    QLineEdit* MeterRoute;
    QSpinBox* MeterSamples;
    QSpinBox* MeterSettle;
    std::array<QCheckBox*, 4> Channels;
    QPushButton* StartButton;
    QPushButton* CancelButton;
    QPushButton* CloseButton;
    QProgressBar* Progress;
    QLabel* Status;
    QTableWidget* Results;

    bool running() const { return running_; }
    void start();
    void cancel() { cancelRequested_ = true; }

signals:
    // A run started (the board is the dialog's until it ends) or ended.
    void runningChanged(bool running);
    // During a run, after the bar moved.
    void progressed(int step, int steps);
    // At the end of a run, whatever its outcome.
    void finished(bool succeeded);

protected:
    void reject() override;

private:
    void setRunning(bool running);
    void showResults(const std::vector<bench::ChannelCalibration>& results);

    board::BoardLink& declare_;
    board::DriverApi& driver_;
    bench::Model model_;
    bool running_ = false;
    bool cancelRequested_ = false;
};

} // namespace tq::ui
