#pragma once
// One run of a meter dialog on the window's board. The run waits for the meter on the window
// thread and processes events meanwhile, so while it lives the dialog is application-modal:
// the panels, menus and the other dialogs cannot send transfers in the middle of it. It also
// prepares what every run needs: the bench with the channels' ranges read, and the meter
// connected, asking the user in a box over the dialog to move the probe.

#include "bench/Bench.h"
#include "bench/Meter.h"
#include "board/BoardLink.h"
#include "board/DriverApi.h"

#include <memory>
#include <optional>

class QDialog;

namespace tq::ui {

class MeterRun {
public:
    // Makes the dialog application-modal (shown again if it was shown, which is when
    // modality takes effect).
    explicit MeterRun(QDialog& dialog);
    // The dialog's modality as it was.
    ~MeterRun();
    MeterRun(const MeterRun&) = delete;
    MeterRun& operator=(const MeterRun&) = delete;

    // Reads the ranges of the board's channels and connects to the meter.
    bench::Status open(board::BoardLink& declare, board::DriverApi& driver, bench::Model model,
                       const bench::MeterOptions& options);
    // Precondition: open() succeeded.
    bench::Bench& bench() { return *bench_; }
    bench::Meter& meter() { return *meter_; }

private:
    QDialog& dialog_;
    Qt::WindowModality before_;
    std::optional<bench::Bench> bench_;
    std::unique_ptr<bench::Meter> meter_;
};

} // namespace tq::ui
