#include "ui/main/MainForm.h"

#include <QDialog>

namespace tq::ui {

// The About window is built apart from the main window; until it is part of the program the
// menu entry has nothing to show.
QDialog* createAboutWindow(const Variant&, QWidget*) {
    return nullptr;
}

} // namespace tq::ui
