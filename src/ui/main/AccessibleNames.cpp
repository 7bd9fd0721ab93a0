#include "ui/main/AccessibleNames.h"

#include "ui/main/CalibrationPanel.h"
#include "ui/main/FunctionPanel.h"
#include "ui/main/HardwarePanel.h"
#include "ui/main/MainForm.h"
#include "ui/main/RegistersPanel.h"
#include "ui/main/TemperaturePanel.h"
#include "ui/widgets/Toggle.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <utility>

namespace tq::ui {

namespace {

void name(QWidget* w, const char* text) {
    w->setAccessibleName(QString::fromUtf8(text));
}

} // namespace

void NameForAssistiveTechnology(MainForm& form) {
    RegistersPanel& r = form.registersPanel();
    name(r.TextData, "Data value entry");
    name(r.TextVolts, "Voltage entry");
    name(r.ComboCoarse, "Output range");
    name(r.TextFine, "Fine gain entry");
    name(r.TextOffset, "Offset entry");
    name(r.ComboFunction, "Function");
    name(r.TextFunction, "Function data entry");
    // The bits of the input word: each label's text is its bit, the description says which.
    r.LabelRW->setAccessibleDescription(QStringLiteral("Input word bit R/W"));
    for (int i = 0; i < 3; ++i) {
        r.LabelREG[i]->setAccessibleDescription(QStringLiteral("Input word bit REG %1").arg(i));
        r.LabelA[i]->setAccessibleDescription(QStringLiteral("Input word bit A%1").arg(i));
    }
    for (int i = 0; i < 16; ++i)
        r.LabelD[i]->setAccessibleDescription(QStringLiteral("Input word bit D%1").arg(i));

    HardwarePanel& h = form.hardwarePanel();
    for (const auto& [toggle, text] :
         {std::pair{h.Toggle2, "Bin / 2sComp pin"}, std::pair{h.Toggle8, "CLR pin"},
          std::pair{h.Toggle9, "LDAC pin"}, std::pair{h.Toggle10, "RSTIN pin"},
          std::pair{h.Toggle12, "Drive D1 pin"}, std::pair{h.Toggle11, "Drive D0 pin"}})
        name(toggle, text);

    FunctionPanel& f = form.functionPanel();
    for (const auto& [toggle, text] :
         {std::pair{f.Toggle1, "Local ground offset adjust"},
          std::pair{f.Toggle7, "Serial data output (SDO)"}, std::pair{f.Toggle3, "D1 direction"},
          std::pair{f.Toggle5, "D1 level"}, std::pair{f.Toggle4, "D0 direction"},
          std::pair{f.Toggle6, "D0 level"}})
        name(toggle, text);
    // The two captionless frames would otherwise pass on their outer panel's name.
    name(f.Frame11, "D1 pin");
    name(f.Frame10, "D0 pin");
    name(f.Command6, "Read D1 and D0 levels");
    name(f.Command4, "Clear all DAC channels");
    name(f.Command5, "Load all DAC channels");

    CalibrationPanel& c = form.calibrationPanel();
    name(c.TextOff, "Measured voltage at 0 V");
    name(c.CommandOff, "Offset step done");
    name(c.TextFS, "Measured voltage at zero scale");
    name(c.CommandFS, "Gain step done");
}

} // namespace tq::ui
