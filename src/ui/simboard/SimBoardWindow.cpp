#include "ui/simboard/SimBoardWindow.h"

#include "device/RegisterMap.h"
#include "ui/simboard/OutputTrace.h"

#include <QDoubleSpinBox>
#include <QFontDatabase>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include <cmath>
#include <cstring>

namespace tq::ui {
namespace {

constexpr double kMinCelsius = -40.0;
constexpr double kMaxCelsius = 150.0;

template <typename Fn> Fn resolve(board::DriverLibrary& library, const char* entry) {
    return reinterpret_cast<Fn>(library.resolveOptional(entry));
}

QString levelText(uint8_t level) {
    return level != 0 ? QStringLiteral("high") : QStringLiteral("low");
}

QString driveText(uint8_t driven, uint8_t level) {
    if (driven == 0) return QStringLiteral("converter");
    return level != 0 ? QStringLiteral("board, high") : QStringLiteral("board, low");
}

QString rangeText(uint8_t coarse) {
    for (const auto& range : device::CoarseGainRanges) {
        if (range.code == coarse)
            return QStringLiteral("\u00B1%1 V").arg(double(range.fullScaleVolts), 0, 'g', 6);
    }
    return QStringLiteral("range %1").arg(coarse);
}

// A "name: value" pair of the board's state in a grid cell pair.
QLabel* addState(QGridLayout& grid, int row, int column, const QString& name,
                 const QString& objectName) {
    auto* caption = new QLabel(name + QLatin1Char(':'));
    auto* value = new QLabel;
    value->setObjectName(objectName);
    value->setTextInteractionFlags(Qt::TextSelectableByMouse);
    grid.addWidget(caption, row, column * 2, Qt::AlignRight);
    grid.addWidget(value, row, column * 2 + 1);
    return value;
}

} // namespace

SimBoardWindow* SimBoardWindow::create(board::DriverLibrary& library, QWidget& parent) {
    Entries e;
    e.unplug = resolve<TQSim_Unplug_fn>(library, "TQSim_Unplug");
    e.replug = resolve<TQSim_Replug_fn>(library, "TQSim_Replug");
    e.outputVolts = resolve<TQSim_OutputVolts_fn>(library, "TQSim_OutputVolts");
    e.getDieTemperature = resolve<TQSim_GetDieTemperature_fn>(library, "TQSim_GetDieTemperature");
    e.setDieTemperature = resolve<TQSim_SetDieTemperature_fn>(library, "TQSim_SetDieTemperature");
    e.readRegisters = resolve<TQSim_ReadRegisters_fn>(library, "TQSim_ReadRegisters");
    e.startMeter = resolve<TQSim_StartMeter_fn>(library, "TQSim_StartMeter");
    if (!e.unplug || !e.replug || !e.outputVolts || !e.getDieTemperature || !e.setDieTemperature ||
        !e.readRegisters)
        return nullptr;
    return new SimBoardWindow(e, parent); // owned by parent
}

int SimBoardWindow::startMeter() {
    const int port = entries_.startMeter ? entries_.startMeter() : 0;
    if (port > 0)
        meterAddress_->setText(
            QStringLiteral("SCPI meter: tcp://127.0.0.1:%1, route %2").arg(port).arg(kMeterRoute));
    return port;
}

QString SimBoardWindow::VoltsText(double volts) {
    if (!std::isfinite(volts)) return QStringLiteral("---.---- V");
    return QString::number(volts, 'f', 4) + QStringLiteral(" V");
}

SimBoardWindow::SimBoardWindow(const Entries& entries, QWidget& parent)
    : QWidget(&parent, Qt::Tool), entries_(entries) {
    setObjectName(QStringLiteral("SimBoardWindow"));
    setWindowTitle(QStringLiteral("Simulated Board"));

    QFont meterFont = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    meterFont.setPointSize(20);
    meterFont.setBold(true);
    QFont smallFont = QFontDatabase::systemFont(QFontDatabase::FixedFont);

    auto* meter = new QGroupBox(QStringLiteral("Voltmeter"));
    meter->setObjectName(QStringLiteral("VoltmeterFrame"));
    auto* meterGrid = new QGridLayout(meter);
    meterGrid->setHorizontalSpacing(16);
    const QFontMetrics metrics(meterFont);
    for (int ch = 0; ch < 4; ++ch) {
        const QChar letter(QLatin1Char(char('A' + ch)));
        auto* name = new QLabel(QStringLiteral("DAC ") + letter);
        auto* volts = new QLabel;
        volts->setObjectName(QStringLiteral("Volts") + letter);
        volts->setFont(meterFont);
        volts->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        volts->setMinimumWidth(metrics.horizontalAdvance(QStringLiteral("-00.0000 V")));
        volts->setTextInteractionFlags(Qt::TextSelectableByMouse);
        auto* code = new QLabel;
        code->setObjectName(QStringLiteral("Code") + letter);
        code->setFont(smallFont);
        code->setForegroundRole(QPalette::PlaceholderText);
        meterGrid->addWidget(name, ch, 0);
        meterGrid->addWidget(volts, ch, 1);
        meterGrid->addWidget(code, ch, 2);
        volts_[ch] = volts;
        codes_[ch] = code;
    }
    meterAddress_ = new QLabel(QStringLiteral("SCPI meter: off"));
    meterAddress_->setObjectName(QStringLiteral("MeterAddress"));
    meterAddress_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    meterGrid->addWidget(meterAddress_, 4, 0, 1, 3);

    auto* die = new QGroupBox(QStringLiteral("Die temperature"));
    die->setObjectName(QStringLiteral("TemperatureFrame"));
    auto* dieRow = new QHBoxLayout(die);
    temperature_ = new QDoubleSpinBox;
    temperature_->setObjectName(QStringLiteral("TemperatureSpin"));
    temperature_->setRange(kMinCelsius, kMaxCelsius);
    temperature_->setDecimals(1);
    temperature_->setSingleStep(0.1);
    temperature_->setSuffix(QStringLiteral(" \u00B0C"));
    // A typed value takes effect on Enter or leaving the box, not at every key.
    temperature_->setKeyboardTracking(false);
    dieRow->addWidget(temperature_);
    dieRow->addStretch();

    auto* lines = new QGroupBox(QStringLiteral("Board"));
    lines->setObjectName(QStringLiteral("StateFrame"));
    auto* grid = new QGridLayout(lines);
    grid->setHorizontalSpacing(8);
    ldac_ = addState(*grid, 0, 0, QStringLiteral("LDAC"), QStringLiteral("LdacState"));
    clr_ = addState(*grid, 1, 0, QStringLiteral("CLR"), QStringLiteral("ClrState"));
    rstin_ = addState(*grid, 2, 0, QStringLiteral("RSTIN"), QStringLiteral("RstinState"));
    coding_ = addState(*grid, 3, 0, QStringLiteral("Coding"), QStringLiteral("CodingState"));
    d0_ = addState(*grid, 0, 1, QStringLiteral("D0"), QStringLiteral("D0State"));
    d1_ = addState(*grid, 1, 1, QStringLiteral("D1"), QStringLiteral("D1State"));
    firmware_ = addState(*grid, 2, 1, QStringLiteral("Firmware"), QStringLiteral("FirmwareState"));
    attached_ = addState(*grid, 3, 1, QStringLiteral("USB"), QStringLiteral("AttachedState"));
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(3, 1);

    unplug_ = new QPushButton(QStringLiteral("Unplug"));
    unplug_->setObjectName(QStringLiteral("UnplugButton"));
    replug_ = new QPushButton(QStringLiteral("Replug"));
    replug_->setObjectName(QStringLiteral("ReplugButton"));
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(unplug_);
    buttons->addWidget(replug_);
    buttons->addStretch();

    note_ = new QLabel;
    note_->setObjectName(QStringLiteral("NoteLabel"));
    note_->setWordWrap(true);
    note_->hide();

    auto* scope = new QGroupBox(QStringLiteral("Outputs"));
    scope->setObjectName(QStringLiteral("TraceFrame"));
    auto* scopeRow = new QVBoxLayout(scope);
    trace_ = new OutputTrace;
    scopeRow->addWidget(trace_);

    // The contents scroll, so the window can be made as small as a small screen needs.
    auto* contents = new QWidget;
    auto* column = new QVBoxLayout(contents);
    column->addWidget(meter);
    column->addWidget(scope, 1);
    column->addWidget(die);
    column->addWidget(lines);
    column->addLayout(buttons);
    column->addWidget(note_);
    scroll_ = new QScrollArea;
    scroll_->setObjectName(QStringLiteral("SimBoardScroll"));
    scroll_->setFrameShape(QFrame::NoFrame);
    scroll_->setWidgetResizable(true);
    scroll_->setWidget(contents);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(scroll_);

    connect(unplug_, &QPushButton::clicked, this, &SimBoardWindow::UnplugButton_Click);
    connect(replug_, &QPushButton::clicked, this, &SimBoardWindow::ReplugButton_Click);
    connect(temperature_, &QDoubleSpinBox::valueChanged, this,
            &SimBoardWindow::TemperatureSpin_Change);
    refresh();
}

QSize SimBoardWindow::sizeHint() const {
    // The whole contents with room for a vertical scroll bar, not the scroll area's own
    // small default.
    const QSize inner = scroll_->widget()->sizeHint();
    return {inner.width() + scroll_->verticalScrollBar()->sizeHint().width(), inner.height()};
}

void SimBoardWindow::refresh() {
    std::array<double, 4> outputs{};
    for (int ch = 0; ch < 4; ++ch) {
        const double volts = entries_.outputVolts(ch);
        outputs[static_cast<std::size_t>(ch)] = volts;
        // NaN never compares equal, so such a channel is simply formatted each time.
        if (shown_ && volts == shownVolts_[ch]) continue;
        shownVolts_[ch] = volts;
        volts_[ch]->setText(VoltsText(volts));
    }

    trace_->record(outputs);

    TQSimRegisters regs{};
    entries_.readRegisters(&regs);
    if (!shown_ || std::memcmp(&regs, &shownRegs_, sizeof regs) != 0) {
        shownRegs_ = regs;
        showRegisters(regs);
    }
    shown_ = true;

    // The simulator's temperature changes only here or by a reset; a value being typed
    // is left alone.
    const double celsius = entries_.getDieTemperature();
    if (!temperature_->hasFocus() &&
        std::abs(celsius - temperature_->value()) >= 0.5 * temperature_->singleStep()) {
        const QSignalBlocker quiet(temperature_);
        temperature_->setValue(celsius);
    }
}

void SimBoardWindow::showRegisters(const TQSimRegisters& regs) {
    for (int ch = 0; ch < 4; ++ch) {
        codes_[ch]->setText(
            QStringLiteral("0x%1  %2")
                .arg(QString::number(regs.dac[ch], 16).toUpper().rightJustified(4, u'0'),
                     rangeText(regs.coarse[ch])));
    }
    ldac_->setText(levelText(regs.ldac));
    clr_->setText(levelText(regs.clr));
    rstin_->setText(levelText(regs.rstin));
    coding_->setText(regs.binary != 0 ? QStringLiteral("binary") : QStringLiteral("2s comp"));
    d0_->setText(driveText(regs.driveD0, regs.driveLevelD0));
    d1_->setText(driveText(regs.driveD1, regs.driveLevelD1));
    firmware_->setText(regs.firmwareRunning != 0 ? QStringLiteral("running")
                                                 : QStringLiteral("not loaded"));
    const bool present = regs.present != 0;
    attached_->setText(present ? QStringLiteral("attached") : QStringLiteral("unplugged"));
    attached_->setStyleSheet(present ? QString()
                                     : QStringLiteral("color: #c00000; font-weight: bold"));
    unplug_->setEnabled(present);
    replug_->setEnabled(!present);
    // Once the board runs again (a new start), the plug's note has served its purpose.
    if (present && regs.firmwareRunning != 0) note_->hide();
}

void SimBoardWindow::UnplugButton_Click() {
    entries_.unplug();
    note_->setText(QStringLiteral("Board unplugged: every transfer fails until it is replugged"));
    note_->show();
    refresh();
}

void SimBoardWindow::ReplugButton_Click() {
    // Replugging powers the board up afresh; the program notices it, starts its firmware
    // and restores its set-up (the note goes once the firmware runs).
    entries_.replug();
    note_->setText(QStringLiteral("Board replugged: waiting for the program to reconnect"));
    note_->show();
    refresh();
}

void SimBoardWindow::TemperatureSpin_Change(double celsius) {
    entries_.setDieTemperature(celsius);
}

} // namespace tq::ui
