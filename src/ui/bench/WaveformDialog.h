#pragma once
// "Waveform...": plays a generated shape or a list of points from a CSV file on the window's
// board (bench/Sequence.h), with a preview of what will be played and the achieved rate
// while it plays. It plays on the window thread, handing the event loop a turn between
// points, and is application-modal meanwhile, so the panels cannot write in the middle of a
// point; Stop (or closing the dialog) ends it within one point.

#include "bench/Sequence.h"
#include "board/BoardLink.h"
#include "board/DriverApi.h"

#include <QDialog>

#include <array>
#include <optional>

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSpinBox;

namespace tq::ui {

class PlotArea;

class WaveformDialog : public QDialog {
    Q_OBJECT

public:
    WaveformDialog(board::BoardLink& declare, board::DriverApi& driver, bench::Model model,
                   QWidget* parent = nullptr);
    ~WaveformDialog() override;

    QRadioButton* ShapeSource;
    QRadioButton* FileSource;
    QComboBox* ShapeKind;
    QDoubleSpinBox* Amplitude;
    QDoubleSpinBox* Offset;
    QDoubleSpinBox* Frequency;
    QDoubleSpinBox* Phase;
    QSpinBox* Steps;
    QLineEdit* FilePath;
    QPushButton* BrowseButton;
    std::array<QCheckBox*, 4> ChannelChecks{};
    QDoubleSpinBox* Rate;
    QSpinBox* Count;
    QCheckBox* Forever;
    QComboBox* EndLevel;
    PlotArea* Preview; // what will be played, from the plot library
    QLabel* Status;
    QPushButton* StartButton;
    QPushButton* StopButton;
    QPushButton* CloseButton;

    void start();
    bool running() const { return running_; }
    const std::optional<bench::PlayReport>& report() const { return report_; }

signals:
    // A play started (the board is the dialog's until it ends) or ended.
    void runningChanged(bool running);
    // While playing, about ten times a second.
    void progressed(const bench::PlayProgress& progress);

protected:
    void reject() override;

private:
    // The sequence the controls describe; a file is read again each time.
    bench::Outcome<bench::Sequence> sequence();
    bench::PlayOptions options() const;
    void updatePreview();
    void setRunning(bool running);
    void say(const QString& text, bool error = false);

    board::BoardLink& declare_;
    board::DriverApi& driver_;
    bench::Model model_;
    std::optional<bench::Bench> bench_; // while the dialog lives: ranges and conversions
    bool running_ = false;
    bool stopRequested_ = false;
    std::optional<bench::PlayReport> report_;
};

} // namespace tq::ui
