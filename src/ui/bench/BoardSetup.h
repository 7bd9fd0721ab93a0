#pragma once
// "Save Board Set-up..." and "Load Board Set-up..." of the main window: the same set-up
// files as `tq5802ctl snapshot`, written and restored through the bench library over the
// window's own board layer, so every transfer reaches the window's observers.

#include "bench/Bench.h"
#include "board/BoardLink.h"
#include "board/DriverApi.h"

#include <QString>

#include <functional>

class QWidget;

namespace tq::ui {

class BoardSetup {
public:
    // showBoardState brings the window's controls in line with the shared state after a
    // set-up was loaded.
    BoardSetup(board::BoardLink& declare, board::DriverApi& driver, bench::Model model,
               QWidget* parent, std::function<void()> showBoardState);

    // Ask for a file, then save or load it; a failure is told in a message box.
    void save();
    void load();

    // The same for a given file: the reason it failed, or an empty text when it was done.
    // A file of another version or board is refused before anything is written.
    QString saveTo(const QString& path);
    QString loadFrom(const QString& path);

private:
    board::BoardLink& declare_;
    board::DriverApi& driver_;
    bench::Model model_;
    QWidget* parent_;
    std::function<void()> showBoardState_;
};

} // namespace tq::ui
