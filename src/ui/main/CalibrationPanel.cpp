#include "ui/main/CalibrationPanel.h"

#include "device/Calibration.h"
#include "device/Encodings.h"
#include "device/RegisterMap.h"
#include "ui/widgets/Named.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

namespace tq::ui {

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
    }
    pause_ = new QTimer(this);
    pause_->setSingleShot(true);
    pause_->setInterval(kCompletePause);
    connect(pause_, &QTimer::timeout, this, [this] { showStep(Step::Idle); });
    showStep(Step::Idle);

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

void CalibrationPanel::showStep(Step step) {
    step_ = step;
    for (QWidget* w : {static_cast<QWidget*>(LabelOff1), static_cast<QWidget*>(LabelOff2),
                       static_cast<QWidget*>(TextOff), static_cast<QWidget*>(CommandOff)})
        w->setVisible(step == Step::Offset);
    for (QWidget* w : {static_cast<QWidget*>(LabelFS1), static_cast<QWidget*>(LabelFS2),
                       static_cast<QWidget*>(TextFS), static_cast<QWidget*>(CommandFS)})
        w->setVisible(step == Step::Gain);
    LabelComplete->setVisible(step == Step::Complete);
    Command8->setEnabled(step == Step::Idle);
    if (step == Step::Offset) TextOff->setFocus();
    if (step == Step::Gain) TextFS->setFocus();
}

void CalibrationPanel::warn(const QString& text) {
    QMessageBox::warning(window(), QString::fromUtf8(ctx_.variant.title), text, QMessageBox::Ok);
}

void CalibrationPanel::refuse(QLineEdit* entry, const QString& text) {
    warn(text);
    entry->clear();
    entry->setFocus();
}

bool CalibrationPanel::readBackFloated(int32_t readBack, const QString& registerName) {
    // With SDO off nothing drives the line and every bit reads 1 ("Measure" leaves it so);
    // neither trim register can hold that word. The reading typed is still good.
    if (readBack != kFloatingReadBack) return false;
    warn(QStringLiteral("The %1 register could not be read back with Serial Data Output (SDO) "
                        "off. Switch SDO on under \"Serial Data Output (SDO)\", then click "
                        "\"Done\" again.")
             .arg(registerName));
    return true;
}

void CalibrationPanel::Command8_Click() {
    if (step_ != Step::Idle) return;
    showStep(Step::Offset);
}

void CalibrationPanel::CommandOff_Click() {
    if (step_ != Step::Offset) return; // Enter in a hidden entry, or a second click
    SharedState& s = ctx_.state;
    const int16_t channel = s.AddressCode;
    const int32_t readBack = ctx_.declare.ReadRegister(channel, device::OffsetRegister);
    if (readBackFloated(readBack, QStringLiteral("offset"))) return;
    const auto result =
        device::CalibrateOffset(readBack, TextOff->text().toStdString(), s.OutputRangeVolts);
    if (!result) {
        refuse(TextOff, QStringLiteral("The measured voltage could not be used"));
        return;
    }
    s.DataValue = result->code;
    ctx_.declare.WriteRegister(channel, device::OffsetRegister, s.DataValue);
    if (result->limited)
        warn(QStringLiteral("The corrected offset of %1 LSB is beyond the offset register's "
                            "range (-16 to +15.875 LSB); %2 LSB was written.")
                 .arg(double(result->wanted), 0, 'f', 2)
                 .arg(double(device::CodeToOffset(result->code))));
    showStep(Step::Gain);
}

void CalibrationPanel::CommandFS_Click() {
    if (step_ != Step::Gain) return;
    SharedState& s = ctx_.state;
    const int16_t channel = s.AddressCode;
    const int32_t readBack = ctx_.declare.ReadRegister(channel, device::FineGainRegister);
    if (readBackFloated(readBack, QStringLiteral("fine gain"))) return;
    const auto result =
        device::CalibrateGain(readBack, TextFS->text().toStdString(), s.OutputRangeVolts,
                              ctx_.variant.board().positiveGain);
    if (!result) {
        refuse(TextFS, QString::fromUtf8(device::NegativeNumberExpected.data(),
                                         qsizetype(device::NegativeNumberExpected.size())));
        return;
    }
    s.DataValue = result->code;
    ctx_.declare.WriteRegister(channel, device::FineGainRegister, s.DataValue);
    if (result->limited) {
        const int32_t written =
            result->code > device::FineGainMax ? result->code - 64 : result->code;
        warn(QStringLiteral("The corrected fine gain of %1 is beyond the fine gain register's "
                            "range (-32 to +31); %2 was written.")
                 .arg(result->wanted)
                 .arg(written));
    }
    // The label is drawn and the window keeps serving events through the pause.
    showStep(Step::Complete);
    pause_->start();
}

} // namespace tq::ui
