#include "ui/bench/MeterSweepDialog.h"

#include "ui/bench/MeterRun.h"
#include "ui/bench/MeterSettings.h"
#include "ui/bench/PlotArea.h"
#include "ui/widgets/Named.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace tq::ui {

MeterSweepDialog::MeterSweepDialog(board::BoardLink& declare, board::DriverApi& driver,
                                   bench::Model model, QWidget* parent)
    : QDialog(parent), declare_(declare), driver_(driver), model_(model) {
    setObjectName(QStringLiteral("MeterSweepDialog"));
    setWindowTitle(QStringLiteral("Sweep with Meter"));
    Meter = new MeterSettings(this);
    Meter->MeterSamples->setValue(1);
    Meter->MeterSettle->setValue(20);

    SweepChannel = named(new QComboBox(this), "SweepChannel");
    for (const bench::Channel c : bench::kChannels) {
        const std::string_view caption = bench::ChannelCaption(c);
        SweepChannel->addItem(
            QString::fromLatin1(caption.data(), static_cast<qsizetype>(caption.size())));
    }
    SweepPoints = named(new QSpinBox(this), "SweepPoints");
    SweepPoints->setRange(3, 65536);
    SweepPoints->setValue(1025);
    SweepEveryCode = named(new QCheckBox(QStringLiteral("Every code"), this), "SweepEveryCode");
    connect(SweepEveryCode, &QCheckBox::toggled, SweepPoints, &QWidget::setDisabled);
    auto* sweepRow = new QHBoxLayout;
    sweepRow->addWidget(new QLabel(QStringLiteral("Channel:"), this));
    sweepRow->addWidget(SweepChannel);
    sweepRow->addSpacing(12);
    sweepRow->addWidget(new QLabel(QStringLiteral("Evenly spaced codes:"), this));
    sweepRow->addWidget(SweepPoints);
    sweepRow->addWidget(SweepEveryCode);
    sweepRow->addStretch(1);

    Progress = named(new QProgressBar(this), "Progress");
    Progress->setRange(0, 1);
    Progress->setValue(0);
    Summary = named(new QLabel(QStringLiteral("Ready"), this), "Summary");
    Summary->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    Summary->setTextFormat(Qt::PlainText); // a meter's text is never markup
    Summary->setTextInteractionFlags(Qt::TextSelectableByMouse);
    Plot = named(new PlotArea([](const plot::PlotLibrary& library,
                                 QWidget* area) { return library.createSweepPlot(area); },
                              this),
                 "Plot");
    Plot->setMinimumSize(640, 600);

    StartButton = named(new QPushButton(QStringLiteral("Start"), this), "StartButton");
    CancelButton = named(new QPushButton(QStringLiteral("Cancel"), this), "CancelButton");
    ExportButton = named(new QPushButton(QStringLiteral("Export Data..."), this), "ExportButton");
    SavePlotButton = named(new QPushButton(QStringLiteral("Save Plot..."), this), "SavePlotButton");
    CloseButton = named(new QPushButton(QStringLiteral("Close"), this), "CloseButton");
    auto* buttons = new QDialogButtonBox(this);
    for (QPushButton* b : {StartButton, CancelButton, ExportButton, SavePlotButton, CloseButton})
        buttons->addButton(b, QDialogButtonBox::ActionRole);
    connect(StartButton, &QPushButton::clicked, this, [this] { start(); });
    connect(CancelButton, &QPushButton::clicked, this, [this] { cancelRequested_ = true; });
    connect(ExportButton, &QPushButton::clicked, this, [this] { exportData(); });
    connect(SavePlotButton, &QPushButton::clicked, this, [this] { savePlot(); });
    connect(CloseButton, &QPushButton::clicked, this, [this] { reject(); });

    auto* left = new QVBoxLayout;
    left->addWidget(Meter);
    left->addLayout(sweepRow);
    left->addWidget(Progress);
    left->addWidget(Summary);
    left->addStretch(1);
    auto* top = new QHBoxLayout;
    top->addLayout(left);
    top->addWidget(Plot, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top, 1);
    layout->addWidget(buttons);
    setRunning(false);
}

void MeterSweepDialog::reject() {
    if (running_) {
        cancelRequested_ = true;
        return;
    }
    QDialog::reject();
}

void MeterSweepDialog::setRunning(bool running) {
    running_ = running;
    for (QWidget* w : std::initializer_list<QWidget*>{Meter, SweepChannel, SweepEveryCode,
                                                      StartButton, CloseButton})
        w->setEnabled(!running);
    SweepPoints->setEnabled(!running && !SweepEveryCode->isChecked());
    CancelButton->setEnabled(running);
    ExportButton->setEnabled(!running && result_.has_value());
    SavePlotButton->setEnabled(!running && result_.has_value() && Plot->library().loaded());
    emit runningChanged(running);
}

void MeterSweepDialog::start() {
    if (running_) return;
    bench::SweepOptions options;
    options.channel = bench::kChannels[static_cast<std::size_t>(SweepChannel->currentIndex())];
    options.points = SweepPoints->value();
    options.everyCode = SweepEveryCode->isChecked();
    MeterRun run(*this);
    cancelRequested_ = false;
    setRunning(true);
    Summary->setText(QStringLiteral("Connecting to the meter..."));
    QCoreApplication::processEvents();

    const auto done = [this](const QString& text) {
        Summary->setText(text);
        setRunning(false);
    };
    if (bench::Status opened = run.open(declare_, driver_, model_, Meter->options()); !opened)
        return done(QString::fromStdString(opened.error().message));
    bench::SweepHooks hooks;
    hooks.progress = [this](const bench::SweepProgress& p) {
        Progress->setRange(0, p.total);
        Progress->setValue(p.done);
        QCoreApplication::processEvents();
    };
    hooks.cancelled = [this] {
        QCoreApplication::processEvents(); // Cancel is seen while the meter settles too
        return cancelRequested_;
    };
    auto result = bench::RunSweep(run.bench(), run.meter(), options, hooks);
    if (!result) {
        done(result.error().kind == bench::Error::Kind::Cancelled
                 ? QStringLiteral("Cancelled: the channel is as it was before.")
                 : QStringLiteral("Sweep failed, the channel is as it was before: %1")
                       .arg(QString::fromStdString(result.error().message)));
        return;
    }
    result_ = std::move(result.value());
    if (Plot->plot()) Plot->library().showSweep(Plot->plot(), *result_);
    done(bench::SweepSummary(*result_).trimmed());
}

void MeterSweepDialog::exportData() {
    if (!result_) return;
    const QString path =
        QFileDialog::getSaveFileName(this, QStringLiteral("Export Sweep"), QString(),
                                     QStringLiteral("CSV (*.csv);;JSON (*.json)"));
    if (path.isEmpty()) return;
    const bool json = path.endsWith(QLatin1String(".json"), Qt::CaseInsensitive);
    if (bench::Status s =
            bench::WriteFile(path, json ? bench::SweepJson(*result_) : bench::SweepCsv(*result_));
        !s)
        QMessageBox::warning(this, windowTitle(), QString::fromStdString(s.error().message));
}

void MeterSweepDialog::savePlot() {
    if (!result_) return;
    const QString path = QFileDialog::getSaveFileName(this, QStringLiteral("Save Plot"), QString(),
                                                      QStringLiteral("PNG (*.png);;SVG (*.svg)"));
    if (path.isEmpty()) return;
    if (!Plot->library().loaded()) return;
    if (bench::Status s = Plot->library().render(*result_, path); !s)
        QMessageBox::warning(this, windowTitle(), QString::fromStdString(s.error().message));
}

} // namespace tq::ui
