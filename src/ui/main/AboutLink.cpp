#include "ui/main/MainForm.h"

#include "ui/about/frmAbout.h"

namespace tq::ui {

QDialog* createAboutWindow(const Variant& variant, QWidget* parent) {
    return new FrmAbout(variant, parent);
}

} // namespace tq::ui
