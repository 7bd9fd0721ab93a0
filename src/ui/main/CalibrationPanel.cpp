#include "ui/main/CalibrationPanel.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace tq::ui {

namespace {

template <typename W> W* named(W* w, const char* name) {
    w->setObjectName(QString::fromLatin1(name));
    return w;
}

} // namespace

CalibrationPanel::CalibrationPanel(FormContext& ctx, QWidget* parent)
    : QGroupBox(QStringLiteral("Calibration"), parent), ctx_(ctx) {
    setObjectName(QStringLiteral("Frame22"));
    Command8 = named(
        new QPushButton(QStringLiteral("Perform Offset && Gain Calibration on Selected DAC"), this),
        "Command8");
    LabelOff1 =
        named(new QLabel(QStringLiteral("Load 0V to the DAC and measure the output voltage"), this),
              "LabelOff1");
    LabelOff2 = named(new QLabel(QStringLiteral("Measured Voltage = "), this), "LabelOff2");
    TextOff = named(new QLineEdit(QStringLiteral("0"), this), "TextOff");
    CommandOff = named(new QPushButton(QStringLiteral("Done"), this), "CommandOff");
    LabelFS1 = named(
        new QLabel(QStringLiteral("Load Zero Scale to the DAC and measure the output voltage"),
                   this),
        "LabelFS1");
    LabelFS2 = named(new QLabel(QStringLiteral("Measured Voltage = "), this), "LabelFS2");
    TextFS = named(new QLineEdit(QStringLiteral("-10"), this), "TextFS");
    CommandFS = named(new QPushButton(QStringLiteral("Done"), this), "CommandFS");
    LabelComplete =
        named(new QLabel(QStringLiteral("Calibration complete"), this), "LabelComplete");
    LabelOff2->setBuddy(TextOff);
    LabelFS2->setBuddy(TextFS);
    TextOff->setMaximumWidth(110);
    TextFS->setMaximumWidth(110);
    LabelOff1->setWordWrap(true);
    LabelFS1->setWordWrap(true);

    // Both steps occupy rows 1 and 2; the idle panel shows only Command8.
    auto* grid = new QGridLayout(this);
    grid->addWidget(Command8, 0, 0, 1, 3);
    grid->addWidget(LabelOff1, 1, 0, 1, 3);
    grid->addWidget(LabelFS1, 1, 0, 1, 3);
    grid->addWidget(LabelComplete, 1, 0, 1, 3);
    grid->addWidget(LabelOff2, 2, 0);
    grid->addWidget(TextOff, 2, 1);
    grid->addWidget(CommandOff, 2, 2);
    grid->addWidget(LabelFS2, 2, 0);
    grid->addWidget(TextFS, 2, 1);
    grid->addWidget(CommandFS, 2, 2);
    grid->setRowStretch(3, 1);
    grid->setColumnStretch(1, 1);
    for (QWidget* w : {static_cast<QWidget*>(LabelOff1), static_cast<QWidget*>(LabelOff2),
                       static_cast<QWidget*>(TextOff), static_cast<QWidget*>(CommandOff),
                       static_cast<QWidget*>(LabelFS1), static_cast<QWidget*>(LabelFS2),
                       static_cast<QWidget*>(TextFS), static_cast<QWidget*>(CommandFS),
                       static_cast<QWidget*>(LabelComplete)}) {
        QSizePolicy keep = w->sizePolicy();
        keep.setRetainSizeWhenHidden(true);
        w->setSizePolicy(keep);
        w->hide();
    }

    setTabOrder(Command8, TextOff);
    setTabOrder(TextOff, CommandOff);
    setTabOrder(CommandOff, TextFS);
    setTabOrder(TextFS, CommandFS);

    connect(Command8, &QPushButton::clicked, this, [this] { Command8_Click(); });
    connect(CommandOff, &QPushButton::clicked, this, [this] { CommandOff_Click(); });
    connect(CommandFS, &QPushButton::clicked, this, [this] { CommandFS_Click(); });
    // Enter in a measured-voltage entry is that step's "Done".
    connect(TextOff, &QLineEdit::returnPressed, this, [this] { CommandOff_Click(); });
    connect(TextFS, &QLineEdit::returnPressed, this, [this] { CommandFS_Click(); });
}

// The calibration steps belong to the calibration panel's own work.
void CalibrationPanel::Command8_Click() {}
void CalibrationPanel::CommandOff_Click() {}
void CalibrationPanel::CommandFS_Click() {}

} // namespace tq::ui
