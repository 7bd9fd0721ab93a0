#include "ui/bench/MeterCalibrationDialog.h"

#include "ui/bench/MeterRun.h"
#include "ui/bench/MeterSettings.h"
#include "ui/widgets/Named.h"

#include <QApplication>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QVBoxLayout>

namespace tq::ui {

MeterCalibrationDialog::MeterCalibrationDialog(board::BoardLink& declare, board::DriverApi& driver,
                                               bench::Model model, QWidget* parent)
    : QDialog(parent), declare_(declare), driver_(driver), model_(model) {
    setObjectName(QStringLiteral("MeterCalibrationDialog"));
    setWindowTitle(QStringLiteral("Calibrate with Meter"));

    auto* meterBox = new MeterSettings(this);
    MeterUrl = meterBox->MeterUrl;
    MeterRoute = meterBox->MeterRoute;
    MeterSamples = meterBox->MeterSamples;
    MeterSettle = meterBox->MeterSettle;

    auto* channelBox = new QGroupBox(QStringLiteral("Channels"), this);
    auto* channelRow = new QHBoxLayout(channelBox);
    for (const bench::Channel c : bench::kChannels) {
        auto* box = new QCheckBox(QString::fromUtf8(bench::ChannelCaption(c)), channelBox);
        box->setObjectName(QStringLiteral("Check") + QString::fromUtf8(bench::ChannelName(c)));
        box->setChecked(true);
        channelRow->addWidget(box);
        Channels[bench::ChannelIndex(c)] = box;
    }

    Progress = named(new QProgressBar(this), "Progress");
    Progress->setRange(0, 1);
    Progress->setValue(0);
    Status = named(new QLabel(QStringLiteral("Ready"), this), "Status");
    Status->setWordWrap(true);
    Status->setTextFormat(Qt::PlainText); // a meter's text is never markup
    Status->setTextInteractionFlags(Qt::TextSelectableByMouse);

    Results = named(new QTableWidget(0, 10, this), "Results");
    Results->setHorizontalHeaderLabels(
        {QStringLiteral("Channel"), QStringLiteral("Offset before\n(LSB)"),
         QStringLiteral("Offset before\n(mV)"), QStringLiteral("Offset after\n(LSB)"),
         QStringLiteral("Offset after\n(mV)"), QStringLiteral("Zero scale before\n(LSB)"),
         QStringLiteral("Zero scale before\n(mV)"), QStringLiteral("Zero scale after\n(LSB)"),
         QStringLiteral("Zero scale after\n(mV)"), QStringLiteral("Passes")});
    Results->verticalHeader()->hide();
    Results->setEditTriggers(QAbstractItemView::NoEditTriggers);
    Results->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    Results->setMinimumSize(940, 170);

    StartButton = named(new QPushButton(QStringLiteral("Start"), this), "StartButton");
    CancelButton = named(new QPushButton(QStringLiteral("Cancel"), this), "CancelButton");
    CloseButton = named(new QPushButton(QStringLiteral("Close"), this), "CloseButton");
    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(StartButton, QDialogButtonBox::ActionRole);
    buttons->addButton(CancelButton, QDialogButtonBox::RejectRole);
    buttons->addButton(CloseButton, QDialogButtonBox::AcceptRole);
    StartButton->setDefault(true);
    connect(StartButton, &QPushButton::clicked, this, [this] { start(); });
    // Cancel stops a run; Close closes the dialog when none is running.
    connect(CancelButton, &QPushButton::clicked, this, [this] { cancel(); });
    connect(CloseButton, &QPushButton::clicked, this, [this] { reject(); });

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(meterBox);
    layout->addWidget(channelBox);
    layout->addWidget(Progress);
    layout->addWidget(Status);
    layout->addWidget(Results, 1);
    layout->addWidget(buttons);
    setRunning(false);
}

void MeterCalibrationDialog::reject() {
    if (running_) {
        cancel(); // the run ends at its next step and restores the trims
        return;
    }
    QDialog::reject();
}

void MeterCalibrationDialog::setRunning(bool running) {
    running_ = running;
    for (QWidget* w :
         std::initializer_list<QWidget*>{findChild<MeterSettings*>(), StartButton, CloseButton})
        w->setEnabled(!running);
    for (QCheckBox* box : Channels)
        box->setEnabled(!running);
    CancelButton->setEnabled(running);
    emit runningChanged(running);
}

void MeterCalibrationDialog::start() {
    if (running_) return;
    bench::CalibrationOptions options;
    options.channels.clear();
    for (const bench::Channel c : bench::kChannels)
        if (Channels[bench::ChannelIndex(c)]->isChecked()) options.channels.push_back(c);
    if (options.channels.empty()) {
        Status->setText(QStringLiteral("Choose at least one channel."));
        return;
    }
    const bench::MeterOptions meterOptions = findChild<MeterSettings*>()->options();

    MeterRun run(*this);
    cancelRequested_ = false;
    setRunning(true);
    Results->setRowCount(0);
    Progress->setRange(0, 1);
    Progress->setValue(0);
    Status->setText(QStringLiteral("Connecting to the meter at %1...").arg(meterOptions.url));
    QCoreApplication::processEvents();

    const auto fail = [this](const bench::Error& error) {
        Status->setText(error.kind == bench::Error::Kind::Cancelled
                            ? QStringLiteral("Cancelled: the trims are as they were before.")
                            : QStringLiteral("Calibration failed, the trims are as they were "
                                             "before: %1")
                                  .arg(QString::fromStdString(error.message)));
        setRunning(false);
        emit finished(false);
    };
    if (bench::Status opened = run.open(declare_, driver_, model_, meterOptions); !opened)
        return fail(opened.error());

    bench::CalibrationHooks hooks;
    hooks.progress = [this](const bench::CalibrationProgress& p) {
        Progress->setRange(0, p.steps);
        Progress->setValue(p.step);
        if (!p.what.isEmpty()) Status->setText(p.what);
        emit progressed(p.step, p.steps);
        QCoreApplication::processEvents();
    };
    hooks.cancelled = [this] {
        QCoreApplication::processEvents();
        return cancelRequested_;
    };
    const auto results = bench::Calibrate(run.bench(), run.meter(), options, hooks);
    if (!results) return fail(results.error());
    Progress->setValue(Progress->maximum());
    showResults(*results);
    const bool all = std::ranges::all_of(
        *results, [](const bench::ChannelCalibration& r) { return r.withinTolerance; });
    Status->setText(all ? QStringLiteral("Calibration complete: every channel is within %1 LSB.")
                              .arg(options.toleranceLsb)
                        : QStringLiteral("Calibration done, but not every channel came within "
                                         "%1 LSB; those keep their trims as before: see the "
                                         "table.")
                              .arg(options.toleranceLsb));
    setRunning(false);
    emit finished(true);
}

void MeterCalibrationDialog::showResults(const std::vector<bench::ChannelCalibration>& results) {
    Results->setRowCount(static_cast<int>(results.size()));
    for (int row = 0; row < static_cast<int>(results.size()); ++row) {
        const bench::ChannelCalibration& r = results[static_cast<std::size_t>(row)];
        const auto lsb = [](double x) { return QString::asprintf("%+.2f", x); };
        const auto mv = [](double x) { return QString::asprintf("%+.4f", x * 1000); };
        QString passes = QString::number(r.passes);
        if (!r.withinTolerance) passes += QStringLiteral(" (not within 0.5 LSB)");
        if (r.offsetLimited || r.gainLimited) passes += QStringLiteral(" (trim at its limit)");
        if (r.restored) passes += QStringLiteral(" (trims put back)");
        const QStringList cells{QString::fromUtf8(bench::ChannelCaption(r.channel)),
                                lsb(r.before.offsetLsb),
                                mv(r.before.offsetVolts),
                                lsb(r.after.offsetLsb),
                                mv(r.after.offsetVolts),
                                lsb(r.before.zeroScaleLsb),
                                mv(r.before.zeroScaleVolts),
                                lsb(r.after.zeroScaleLsb),
                                mv(r.after.zeroScaleVolts),
                                passes};
        for (int col = 0; col < cells.size(); ++col) {
            auto* item = new QTableWidgetItem(cells[col]);
            if (col > 0 && col < 9) item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            Results->setItem(row, col, item);
        }
    }
}

} // namespace tq::ui
