#pragma once
// "Sweep with Meter...": characterises one channel of the window's running board against
// the meter (bench/Sweep.h), shows the summary and the plots, and exports the readings as
// CSV or JSON and the plot as PNG or SVG. Runs on the window thread between the meter's
// answers, as the calibration dialog does; Cancel stops it and loads the channel's code back.

#include "bench/Sweep.h"
#include "board/BoardLink.h"
#include "board/DriverApi.h"

#include <QDialog>

#include <optional>

class QCheckBox;
class QComboBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QSpinBox;

namespace tq::ui {

class MeterSettings;
class PlotArea;

class MeterSweepDialog : public QDialog {
    Q_OBJECT

public:
    MeterSweepDialog(board::BoardLink& declare, board::DriverApi& driver, bench::Model model,
                     QWidget* parent = nullptr);

    MeterSettings* Meter;
    QComboBox* SweepChannel;
    QSpinBox* SweepPoints;
    QCheckBox* SweepEveryCode;
    QPushButton* StartButton;
    QPushButton* CancelButton;
    QPushButton* ExportButton; // CSV or JSON, by the file's name
    QPushButton* SavePlotButton;
    QPushButton* CloseButton;
    QProgressBar* Progress;
    QLabel* Summary;
    PlotArea* Plot; // the results' plot, from the plot library

    void start();
    bool running() const { return running_; }
    const std::optional<bench::SweepResult>& result() const { return result_; }

signals:
    // A run started (the board is the dialog's until it ends) or ended.
    void runningChanged(bool running);

protected:
    void reject() override;

private:
    void setRunning(bool running);
    void exportData();
    void savePlot();

    board::BoardLink& declare_;
    board::DriverApi& driver_;
    bench::Model model_;
    bool running_ = false;
    bool cancelRequested_ = false;
    std::optional<bench::SweepResult> result_;
};

} // namespace tq::ui
