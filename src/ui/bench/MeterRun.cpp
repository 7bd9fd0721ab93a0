#include "ui/bench/MeterRun.h"

#include "ui/bench/MeterSettings.h"

#include <QDialog>

namespace tq::ui {

namespace {

// Qt applies a window's modality when it is shown.
void SetModality(QDialog& dialog, Qt::WindowModality modality) {
    if (dialog.windowModality() == modality) return;
    const bool shown = dialog.isVisible();
    if (shown) dialog.hide();
    dialog.setWindowModality(modality);
    if (shown) dialog.show();
}

} // namespace

MeterRun::MeterRun(QDialog& dialog) : dialog_(dialog), before_(dialog.windowModality()) {
    SetModality(dialog_, Qt::ApplicationModal);
}

MeterRun::~MeterRun() {
    SetModality(dialog_, before_);
}

bench::Status MeterRun::open(board::BoardLink& declare, board::DriverApi& driver, bench::Model model,
                             const bench::MeterOptions& options) {
    bench_.emplace(declare, driver, model);
    if (bench::Status ranges = bench_->refreshRanges(); !ranges) return ranges;
    auto meter = bench::Meter::connect(options);
    if (!meter) return meter.error();
    meter_ = std::move(meter.value());
    meter_->setProbeRequest(MeterSettings::askUser(&dialog_));
    return {};
}

} // namespace tq::ui
