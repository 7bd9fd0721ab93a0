#pragma once
// The "Simulated Board" window: what a voltmeter on the simulated board's four outputs reads,
// its die temperature (settable), a few line states, and its USB plug. It talks to the
// simulator only through the simulator library's own extra entry points, so it exists only
// when that library is the one loaded; the board layer and the panels never know of it.

#include "board/DriverLibrary.h"
#include "drivers/sim/sim_abi.h"

#include <QWidget>

#include <array>

class QDoubleSpinBox;
class QLabel;
class QPushButton;
class QScrollArea;

namespace tq::ui {

class OutputTrace;

class SimBoardWindow final : public QWidget {
    Q_OBJECT

public:
    // The simulator's extra entry points this window calls.
    struct Entries {
        TQSim_Unplug_fn unplug = nullptr;
        TQSim_Replug_fn replug = nullptr;
        TQSim_OutputVolts_fn outputVolts = nullptr;
        TQSim_GetDieTemperature_fn getDieTemperature = nullptr;
        TQSim_SetDieTemperature_fn setDieTemperature = nullptr;
        TQSim_ReadRegisters_fn readRegisters = nullptr;
        TQSim_StartMeter_fn startMeter = nullptr; // optional
    };

    // The simulated meter's routing command, {n} = 1..4 for DAC A..D.
    static inline const QString kMeterRoute = QStringLiteral("ROUT:CLOS (@{n})");

    // Resolves the simulator's extras in `library` and builds the window, hidden, as a tool
    // window of `parent`, which owns it (Qt's parent ownership: it is deleted with `parent`,
    // or earlier by whoever deletes it). Returns nullptr, and builds nothing, when any extra
    // is missing, i.e. for every driver library but the simulator's. The library must stay
    // loaded for as long as the window lives.
    static SimBoardWindow* create(board::DriverLibrary& library, QWidget& parent);

    // The text a voltmeter shows for `volts`: 4 decimals and the unit ("-10.0003 V").
    static QString VoltsText(double volts);

    // Starts the simulated meter (unless it runs already) and shows its address; its port,
    // 0 when it could not be started.
    int startMeter();

    // The size that shows all of it; smaller sizes scroll.
    QSize sizeHint() const override;

public slots:
    // Re-reads the outputs, the temperature and the line states. Cheap enough to run after
    // every transfer: it formats only what changed.
    void refresh();

private:
    SimBoardWindow(const Entries& entries, QWidget& parent);
    void UnplugButton_Click();
    void ReplugButton_Click();
    void TemperatureSpin_Change(double celsius);
    void showRegisters(const TQSimRegisters& regs);

    Entries entries_;
    std::array<QLabel*, 4> volts_{};
    std::array<QLabel*, 4> codes_{};
    QDoubleSpinBox* temperature_ = nullptr;
    QLabel* meterAddress_ = nullptr;
    QLabel* ldac_ = nullptr;
    QLabel* clr_ = nullptr;
    QLabel* coding_ = nullptr;
    QLabel* rstin_ = nullptr;
    QLabel* d0_ = nullptr;
    QLabel* d1_ = nullptr;
    QLabel* firmware_ = nullptr;
    QLabel* attached_ = nullptr;
    QPushButton* unplug_ = nullptr;
    QPushButton* replug_ = nullptr;
    QLabel* note_ = nullptr;
    OutputTrace* trace_ = nullptr;
    QScrollArea* scroll_ = nullptr;

    // What is on screen, so refresh formats only what changed.
    std::array<double, 4> shownVolts_{};
    TQSimRegisters shownRegs_{};
    bool shown_ = false;
};

} // namespace tq::ui
