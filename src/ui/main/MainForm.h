#pragma once
// The main window: its panels, menus, status bar, the start-up load and closing.

#include "board/BoardLink.h"
#include "board/DriverApi.h"
#include "board/FirmwareSearch.h"
#include "board/SharedState.h"
#include "ui/Variant.h"
#include "ui/main/FormContext.h"

#include <QDialog>
#include <QMainWindow>
#include <QPointer>
#include <QString>

#include <memory>
#include <optional>

class QAction;
class QLabel;
class QMenu;
class QPushButton;

namespace tq::ui {

class RegistersPanel;
class FunctionPanel;
class HardwarePanel;
class TemperaturePanel;
class CalibrationPanel;
class ProductPanel;
class BoardSetup;

class MainForm : public QMainWindow {
    Q_OBJECT

public:
    // programDir: where the firmware image lies. The window, the state, the board layer and
    // the driver must all outlive nothing of each other's: the form is destroyed first.
    MainForm(const Variant& variant, SharedState& state, board::BoardLink& declare,
             board::DriverApi& driver, QString programDir, QWidget* parent = nullptr);
    ~MainForm() override;

    // The start-up: opens the board and brings every control and the board in line. Returns
    // false when the board could not be started (the warning has been shown, unless the
    // start was abandoned) or the start was abandoned; the window must then not be shown.
    bool Form_Load();

    // Stops the load at its next step without any further message (the driver library
    // could not be loaded and the user has been told).
    void abandon() { abandoned_ = true; }
    bool abandoned() const { return abandoned_; }

    // The firmware image the load hands to the driver, and the places searched for it; by
    // default the image in programDir.
    void setFirmware(board::FirmwareLookup firmware) { firmware_ = std::move(firmware); }

    // Status-bar line naming the board or driver in use; toolTip gives the details (the
    // library's full path).
    void setDriverDescription(const QString& text, const QString& toolTip = {});

    // Adds an item with `caption` to the View menu (created, before Help, on first use)
    // that shows the window and brings it to the front. The form does not own the window.
    QAction* addViewWindow(const QString& caption, QWidget* window);

    RegistersPanel& registersPanel() { return *registers_; }
    FunctionPanel& functionPanel() { return *function_; }
    HardwarePanel& hardwarePanel() { return *hardware_; }
    TemperaturePanel& temperaturePanel() { return *temperature_; }
    CalibrationPanel& calibrationPanel() { return *calibration_; }
    ProductPanel& productPanel() { return *product_; }

    QMenu* MnuFile;
    QAction* MnuSaveSetup; // "Save Board Set-up..."
    QAction* MnuLoadSetup; // "Load Board Set-up..."
    QAction* MnuExit;
    QMenu* MnuView = nullptr; // only while there is a window to view
    QMenu* MnuTools;
    QAction* MnuMeterCalibration; // "Calibrate with Meter..."
    QAction* MnuMeterSweep;       // "Sweep with Meter..."
    QAction* MnuWaveform;         // "Waveform..."
    QMenu* MnuHelp;
    QAction* MnuAbout;
    QAction* MnuTest; // "Direct Read/Write", not available
    // Selects the data register from code; never visible.
    QPushButton* Command10;

    void MnuExit_Click();
    void MnuAbout_Click();
    void MnuMeterCalibration_Click();
    void MnuMeterSweep_Click();
    void MnuWaveform_Click();
    // A meter the meter dialogs offer, with its routing command (the simulated board's own).
    void offerMeter(const QString& url, const QString& route);
    void Command10_Click();

    // The switches of the control lines and the function register from the shared state,
    // after something other than the switches changed the board (a loaded set-up).
    void showBoardState();
    BoardSetup& boardSetup() { return *setup_; }

    // The About window once it has been opened, else nullptr.
    QDialog* aboutWindow() const { return about_; }

signals:
    // A meter dialog's run holds the board (true) or gave it back: nothing else may send
    // transfers meanwhile.
    void boardBusy(bool busy);

protected:
    // Closing the main window ends the program at once, whatever else is open.
    void closeEvent(QCloseEvent* event) override;

private:
    void buildMenus();
    // The function switches, item texts and flags from the word read at load.
    void applyFunctionRegister(int32_t bits);
    void onTransfer(const board::Transfer& t);

    FormContext ctx_;
    board::DriverApi& driver_;
    QString programDir_;
    std::optional<board::FirmwareLookup> firmware_;
    bool abandoned_ = false;
    RegistersPanel* registers_;
    FunctionPanel* function_;
    HardwarePanel* hardware_;
    TemperaturePanel* temperature_;
    CalibrationPanel* calibration_;
    ProductPanel* product_;
    QLabel* driverLabel_;
    QPointer<QDialog> about_;
    QPointer<QDialog> meterCalibration_;
    QPointer<QDialog> meterSweep_;
    QPointer<QDialog> waveform_;
    QString offeredMeter_, offeredRoute_;
    std::unique_ptr<BoardSetup> setup_;
};

// Creates the About window; the one place that knows its class.
QDialog* createAboutWindow(const Variant& variant, QWidget* parent);

} // namespace tq::ui
