#pragma once
// Start-up: the shared state with its defaults, the driver library, the board layer and the
// main window, and the program's command line.

#include "board/BoardLink.h"
#include "board/DriverApi.h"
#include "board/FirmwareSearch.h"
#include "board/SharedState.h"
#include "ui/Variant.h"

#include <QString>

#include <memory>

namespace tq::board {
class DriverLibrary;
struct LoadError;
} // namespace tq::board

namespace tq::ui {

class MainForm;
class SimBoardWindow;

class Main {
public:
    // Exit statuses of a program that ends before its window runs.
    static constexpr int kFirmwareFailed = 1;
    static constexpr int kDriverLoadFailed = 2;
    static constexpr int kNoDisplay = 1; // no window system could be opened
    static constexpr int kBadCommandLine = 64;

    // Loads the driver library at driverPath (by name, at its first call). A library that
    // cannot be loaded, or an entry it lacks, is reported in a message box naming the file
    // (and the entry), and ends the program with kDriverLoadFailed.
    Main(const Variant& variant, const QString& driverPath, QString programDir);
    // Runs on the given driver (a test double or a wrapper).
    Main(const Variant& variant, std::unique_ptr<board::DriverApi> driver, QString programDir);
    ~Main();
    Main(const Main&) = delete;
    Main& operator=(const Main&) = delete;

    // Loads the main window and shows it when the board started. Returns 0 when the program
    // is running (the caller runs the event loop), else the exit status; the window has
    // then never been shown. On the simulated board's library the "Simulated Board" window
    // opens beside the main window once that has been painted, and the View menu offers it.
    int start();

    // The firmware image the start hands to the driver (see MainForm::setFirmware).
    void setFirmware(board::FirmwareLookup firmware);

    // Status-bar text naming the board or driver in use, with its details as the tooltip.
    void setDriverDescription(const QString& text, const QString& toolTip = {});

    // The "Simulated Board" window once the program runs on the simulator, else nullptr.
    SimBoardWindow* simulatedBoard() const { return simBoard_; }

    SharedState& state() { return state_; }
    board::BoardLink& declare() { return declare_; }
    MainForm& form() { return *form_; }

    // The whole program: command line, start-up and the event loop; returns the exit status.
    static int run(int argc, char** argv, const Variant& variant);

private:
    void onLoadError(const board::LoadError& error);
    void openSimulatedBoard();

    const Variant& variant_;
    SharedState state_;
    std::unique_ptr<board::DriverApi> driver_;
    board::BoardLink declare_;
    std::unique_ptr<MainForm> form_;
    board::DriverLibrary* library_ = nullptr; // driver_, when loaded by path
    SimBoardWindow* simBoard_ = nullptr;      // owned by form_
    bool loadFailed_ = false;
};

} // namespace tq::ui
