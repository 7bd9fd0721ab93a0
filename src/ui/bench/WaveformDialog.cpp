#include "ui/bench/WaveformDialog.h"

#include "ui/bench/MeterRun.h"
#include "ui/bench/PlotArea.h"
#include "ui/widgets/Named.h"

#include "bench/Quantities.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include <algorithm>

namespace tq::ui {

namespace {

// The preview shows at most this many points: two periods of the first shape, or the
// start of a list.
constexpr std::size_t kPreviewPoints = 2000;
constexpr double kPreviewPeriods = 2;
// The longest the event loop waits for its turn while a sequence plays.
constexpr qint64 kEventsEveryMs = 15;

QString Text(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QDoubleSpinBox* Number(QWidget* parent, const char* name, double low, double high, double value,
                       int decimals, const QString& suffix) {
    auto* box = named(new QDoubleSpinBox(parent), name);
    box->setRange(low, high);
    box->setDecimals(decimals);
    box->setValue(value);
    box->setSuffix(suffix);
    box->setKeyboardTracking(false);
    return box;
}

} // namespace

WaveformDialog::WaveformDialog(board::BoardLink& declare, board::DriverApi& driver,
                               bench::Model model, QWidget* parent)
    : QDialog(parent), declare_(declare), driver_(driver), model_(model) {
    setObjectName(QStringLiteral("WaveformDialog"));
    setWindowTitle(QStringLiteral("Waveform"));
    bench_.emplace(declare_, driver_, model_);

    // What to play.
    ShapeSource = named(new QRadioButton(QStringLiteral("Shape"), this), "ShapeSource");
    FileSource = named(new QRadioButton(QStringLiteral("CSV file"), this), "FileSource");
    ShapeSource->setChecked(true);
    ShapeKind = named(new QComboBox(this), "ShapeKind");
    for (const bench::WaveformWord& w : bench::kWaveformWords)
        ShapeKind->addItem(Text(w.key));
    const double widest = bench::RangeMaxVolts();
    Amplitude = Number(this, "Amplitude", 0, widest, 5, 4, QStringLiteral(" V"));
    Offset = Number(this, "Offset", -widest, widest, 0, 4, QStringLiteral(" V"));
    Frequency =
        Number(this, "Frequency", 0.001, bench::MaxRate(1) / 2, 10, 3, QStringLiteral(" Hz"));
    Phase = Number(this, "Phase", -360, 360, 0, 1, QStringLiteral(" \u00B0"));
    Steps = named(new QSpinBox(this), "Steps");
    Steps->setRange(2, bench::kShapeMaxSteps);
    Steps->setValue(4);
    FilePath = named(new QLineEdit(this), "FilePath");
    FilePath->setPlaceholderText(QStringLiteral("header A..D (volts) or A_code..D_code"));
    BrowseButton = named(new QPushButton(QStringLiteral("Browse..."), this), "BrowseButton");

    auto* shapeForm = new QFormLayout;
    shapeForm->addRow(ShapeSource, ShapeKind);
    shapeForm->addRow(QStringLiteral("Amplitude (peak):"), Amplitude);
    shapeForm->addRow(QStringLiteral("Offset:"), Offset);
    shapeForm->addRow(QStringLiteral("Frequency:"), Frequency);
    shapeForm->addRow(QStringLiteral("Phase:"), Phase);
    shapeForm->addRow(QStringLiteral("Steps:"), Steps);
    auto* channelRow = new QHBoxLayout;
    for (const bench::Channel c : bench::kChannels) {
        auto* check = new QCheckBox(Text(bench::ChannelName(c)), this);
        check->setObjectName(QStringLiteral("Channel") + Text(bench::ChannelName(c)));
        check->setChecked(c == bench::Channel::A);
        ChannelChecks[bench::ChannelIndex(c)] = check;
        channelRow->addWidget(check);
    }
    shapeForm->addRow(QStringLiteral("Channels:"), channelRow);
    auto* fileRow = new QHBoxLayout;
    fileRow->addWidget(FilePath, 1);
    fileRow->addWidget(BrowseButton);
    shapeForm->addRow(FileSource, fileRow);

    // How to play it.
    Rate = Number(this, "Rate", bench::kMinRate, bench::MaxRate(1), 1000, 3,
                  QStringLiteral(" points/s"));
    Count = named(new QSpinBox(this), "Count");
    Count->setRange(1, static_cast<int>(bench::kMaxCount));
    Count->setValue(10);
    Forever = named(new QCheckBox(QStringLiteral("Until stopped"), this), "Forever");
    EndLevel = named(new QComboBox(this), "EndLevel");
    for (const bench::EndLevelWord& w : bench::kEndLevels)
        EndLevel->addItem(Text(w.caption));
    auto* countRow = new QHBoxLayout;
    countRow->addWidget(Count, 1);
    countRow->addWidget(Forever);
    auto* playForm = new QFormLayout;
    playForm->addRow(QStringLiteral("Rate:"), Rate);
    playForm->addRow(QStringLiteral("Count (periods or passes):"), countRow);
    playForm->addRow(QStringLiteral("At the end:"), EndLevel);

    Preview = named(new PlotArea([](const plot::PlotLibrary& library,
                                    QWidget* area) { return library.createLinePlot(area); },
                                 this),
                    "Preview");
    Preview->setMinimumSize(480, 300);

    Status = named(new QLabel(QStringLiteral("Ready"), this), "Status");
    Status->setWordWrap(true);
    Status->setTextInteractionFlags(Qt::TextSelectableByMouse);
    StartButton = named(new QPushButton(QStringLiteral("Start"), this), "StartButton");
    StopButton = named(new QPushButton(QStringLiteral("Stop"), this), "StopButton");
    CloseButton = named(new QPushButton(QStringLiteral("Close"), this), "CloseButton");
    auto* buttons = new QDialogButtonBox(this);
    for (QPushButton* b : {StartButton, StopButton, CloseButton})
        buttons->addButton(b, QDialogButtonBox::ActionRole);

    auto* source = new QGroupBox(QStringLiteral("What to play"), this);
    source->setLayout(shapeForm);
    auto* play = new QGroupBox(QStringLiteral("How"), this);
    play->setLayout(playForm);
    auto* left = new QVBoxLayout;
    left->addWidget(source);
    left->addWidget(play);
    left->addWidget(Status);
    left->addStretch(1);
    auto* top = new QHBoxLayout;
    top->addLayout(left);
    top->addWidget(Preview, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top, 1);
    layout->addWidget(buttons);

    connect(StartButton, &QPushButton::clicked, this, [this] { start(); });
    connect(StopButton, &QPushButton::clicked, this, [this] { stopRequested_ = true; });
    connect(CloseButton, &QPushButton::clicked, this, [this] { reject(); });
    connect(BrowseButton, &QPushButton::clicked, this, [this] {
        const QString path =
            QFileDialog::getOpenFileName(this, QStringLiteral("Sequence File"), FilePath->text(),
                                         QStringLiteral("CSV (*.csv);;All files (*)"));
        if (path.isEmpty()) return;
        FilePath->setText(path);
        FileSource->setChecked(true);
        updatePreview();
    });
    connect(FilePath, &QLineEdit::editingFinished, this, [this] { updatePreview(); });
    connect(Forever, &QCheckBox::toggled, Count, &QWidget::setDisabled);
    connect(ShapeSource, &QRadioButton::toggled, this, [this] { updatePreview(); });
    connect(ShapeKind, &QComboBox::activated, this, [this] { updatePreview(); });
    for (QDoubleSpinBox* box : {Amplitude, Offset, Frequency, Phase, Rate})
        connect(box, &QDoubleSpinBox::valueChanged, this, [this] { updatePreview(); });
    connect(Steps, &QSpinBox::valueChanged, this, [this] { updatePreview(); });
    for (QCheckBox* check : ChannelChecks)
        connect(check, &QCheckBox::toggled, this, [this] { updatePreview(); });
    setRunning(false);
    updatePreview();
}

WaveformDialog::~WaveformDialog() = default;

void WaveformDialog::reject() {
    if (running_) {
        stopRequested_ = true;
        return;
    }
    QDialog::reject();
}

void WaveformDialog::say(const QString& text, bool error) {
    Status->setText(text);
    Status->setStyleSheet(error ? QStringLiteral("color: #c00000") : QString());
}

bench::Outcome<bench::Sequence> WaveformDialog::sequence() {
    if (FileSource->isChecked()) {
        if (FilePath->text().isEmpty()) return bench::UsageError("choose a CSV file");
        auto table = bench::ReadSequenceCsv(FilePath->text());
        if (!table) return table.error();
        return bench::Sequence(std::move(table.value()));
    }
    std::vector<bench::Shape> shapes;
    for (const bench::Channel c : bench::kChannels)
        if (ChannelChecks[bench::ChannelIndex(c)]->isChecked())
            shapes.push_back({.channel = c,
                              .waveform = bench::kWaveformWords[static_cast<std::size_t>(std::max(
                                                                    ShapeKind->currentIndex(), 0))]
                                              .waveform,
                              .amplitude = Amplitude->value(),
                              .offset = Offset->value(),
                              .frequency = Frequency->value(),
                              .phaseDegrees = Phase->value(),
                              .steps = Steps->value()});
    if (shapes.empty()) return bench::UsageError("choose at least one channel");
    return bench::Sequence(std::move(shapes));
}

bench::PlayOptions WaveformDialog::options() const {
    bench::PlayOptions o;
    o.rate = Rate->value();
    if (Forever->isChecked())
        o.count.reset();
    else
        o.count = Count->value();
    o.end =
        bench::kEndLevels[static_cast<std::size_t>(std::max(EndLevel->currentIndex(), 0))].level;
    return o;
}

void WaveformDialog::updatePreview() {
    const bool shape = ShapeSource->isChecked();
    for (QWidget* w :
         std::initializer_list<QWidget*>{ShapeKind, Amplitude, Offset, Frequency, Phase, Steps})
        w->setEnabled(shape && !running_);
    for (QCheckBox* check : ChannelChecks)
        check->setEnabled(shape && !running_);
    auto built = sequence();
    if (!built) {
        if (Preview->plot()) Preview->library().showLines(Preview->plot(), {});
        return say(QString::fromStdString(built.error().message), true);
    }
    const bench::Sequence& s = *built;
    const double rate = Rate->value();
    if (bench::Status refused = bench::CheckPlay(*bench_, s, options()); !refused)
        say(QString::fromStdString(refused.error().message), true);
    else
        say(QStringLiteral("Ready"));

    std::vector<bench::Channel> channels = bench::SequenceChannels(s);
    std::vector<plot::PlotLine> lines;
    for (const bench::Channel c : channels)
        lines.push_back({Text(bench::ChannelCaption(c)), {}});
    if (const auto* table = std::get_if<bench::SequenceTable>(&s)) {
        const std::size_t n = std::min(table->points(), kPreviewPoints);
        for (std::size_t i = 0; i < n; ++i)
            for (std::size_t j = 0; j < channels.size(); ++j) {
                const double v = table->values[i * channels.size() + j];
                lines[j].points.emplace_back(
                    static_cast<double>(i) / rate,
                    table->columns[j].unit == bench::SequenceUnit::Code
                        ? bench_->codeToVolts(channels[j], static_cast<int32_t>(v))
                        : v);
            }
    } else {
        const auto& shapes = std::get<std::vector<bench::Shape>>(s);
        const double seconds = kPreviewPeriods / shapes.front().frequency;
        const auto n = static_cast<std::size_t>(
            std::clamp(seconds * rate, 2.0, static_cast<double>(kPreviewPoints)));
        for (std::size_t i = 0; i < n; ++i) {
            // Sampled as it will be played, unless there are too many points to show.
            const double t = std::min(static_cast<double>(i) / rate,
                                      seconds * static_cast<double>(i) / static_cast<double>(n));
            for (std::size_t j = 0; j < shapes.size(); ++j)
                lines[j].points.emplace_back(t, bench::ShapeVolts(shapes[j], t));
        }
    }
    if (Preview->plot()) Preview->library().showLines(Preview->plot(), lines);
}

void WaveformDialog::setRunning(bool running) {
    running_ = running;
    for (QWidget* w :
         std::initializer_list<QWidget*>{ShapeSource, FileSource, FilePath, BrowseButton, Rate,
                                         Forever, EndLevel, StartButton, CloseButton})
        w->setEnabled(!running);
    Count->setEnabled(!running && !Forever->isChecked());
    StopButton->setEnabled(running);
    emit runningChanged(running);
}

void WaveformDialog::start() {
    if (running_) return;
    auto built = sequence();
    if (!built) return say(QString::fromStdString(built.error().message), true);
    MeterRun modal(*this); // the board is the dialog's while it plays
    // Afresh: the lines it puts back afterwards are the window's as they are now.
    bench_.emplace(declare_, driver_, model_);
    if (bench::Status ranges = bench_->refreshRanges(); !ranges)
        return say(QString::fromStdString(ranges.error().message), true);
    const bench::PlayOptions o = options();
    if (bench::Status refused = bench::CheckPlay(*bench_, *built, o); !refused)
        return say(QString::fromStdString(refused.error().message), true);

    stopRequested_ = false;
    report_.reset();
    setRunning(true);
    say(QStringLiteral("Playing..."));
    QElapsedTimer events;
    events.start();
    bench::PlayHooks hooks;
    hooks.cancelled = [&] {
        if (events.elapsed() >= kEventsEveryMs) {
            QCoreApplication::processEvents();
            events.restart();
        }
        return stopRequested_;
    };
    hooks.progress = [this](const bench::PlayProgress& p) {
        say(QStringLiteral("Playing: %1 points, %2 points/s achieved, %3 late")
                .arg(p.points)
                .arg(p.achievedRate, 0, 'f', 1)
                .arg(p.late));
        emit progressed(p);
    };
    const auto report = bench::Play(*bench_, *built, o, hooks);
    setRunning(false);
    if (!report)
        return say(QStringLiteral("Failed: %1").arg(QString::fromStdString(report.error().message)),
                   true);
    report_ = *report;
    say(bench::PlaySummary(*report));
}

} // namespace tq::ui
