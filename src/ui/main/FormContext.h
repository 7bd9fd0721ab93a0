#pragma once
// What every panel of the main window shares: the one shared state, the board layer, the
// program variant and the window, through which a panel reaches its neighbours.

#include "board/BoardLink.h"
#include "board/SharedState.h"
#include "ui/Variant.h"

namespace tq::ui {

class MainForm;

struct FormContext {
    SharedState& state;
    board::BoardLink& declare;
    const Variant& variant;
    MainForm& form;
};

} // namespace tq::ui
