#include "ui/main/MainForm.h"

#include "board/USBStuff.h"
#include "ui/main/CalibrationPanel.h"
#include "ui/main/FunctionPanel.h"
#include "ui/main/HardwarePanel.h"
#include "ui/main/ProductPanel.h"
#include "ui/main/RegistersPanel.h"
#include "ui/main/TemperaturePanel.h"
#include "ui/widgets/Toggle.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDialog>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QStatusBar>

namespace tq::ui {

MainForm::MainForm(const Variant& variant, SharedState& state, board::Declare& declare,
                   board::DriverApi& driver, QString programDir, QWidget* parent)
    : QMainWindow(parent), ctx_{state, declare, variant, *this}, driver_(driver),
      programDir_(std::move(programDir)) {
    setObjectName(QStringLiteral("MainForm"));
    setWindowTitle(QString::fromUtf8(variant.title));

    auto* central = new QWidget(this);
    registers_ = new RegistersPanel(ctx_, central);
    function_ = new FunctionPanel(ctx_, central);
    hardware_ = new HardwarePanel(ctx_, central);
    temperature_ = new TemperaturePanel(ctx_, central);
    calibration_ = new CalibrationPanel(ctx_, central);
    product_ = new ProductPanel(variant, central);

    auto* grid = new QGridLayout(central);
    grid->addWidget(registers_, 0, 0, 1, 2);
    grid->addWidget(product_, 0, 2);
    grid->addWidget(hardware_, 1, 0, 1, 3);
    grid->addWidget(function_, 2, 0);
    grid->addWidget(temperature_, 2, 1);
    grid->addWidget(calibration_, 2, 2);
    grid->setColumnStretch(0, 3);
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(2, 1);
    grid->setRowStretch(3, 1);
    setCentralWidget(central);

    Command10 = new QPushButton(QStringLiteral("Command10"), central);
    Command10->setObjectName(QStringLiteral("Command10"));
    Command10->hide();
    Command10->setFocusPolicy(Qt::NoFocus);
    connect(Command10, &QPushButton::clicked, this, [this] { Command10_Click(); });

    buildMenus();

    driverLabel_ = new QLabel(statusBar());
    driverLabel_->setObjectName(QStringLiteral("DriverLabel"));
    statusBar()->addPermanentWidget(driverLabel_);

    setTabOrder(registers_->TextFunction, hardware_->Toggle2);
    setTabOrder(hardware_->Toggle11, function_->Toggle1);
    setTabOrder(function_->Command5, temperature_->Command7);
    setTabOrder(temperature_->Command7, calibration_->Command8);

    declare.addObserver([self = QPointer<MainForm>(this)](const board::Transfer& t) {
        if (self) self->onTransfer(t);
    });
}

MainForm::~MainForm() = default;

void MainForm::buildMenus() {
    MnuFile = menuBar()->addMenu(QStringLiteral("&File"));
    MnuFile->setObjectName(QStringLiteral("MnuFile"));
    MnuExit = MnuFile->addAction(QStringLiteral("E&xit"));
    MnuExit->setObjectName(QStringLiteral("MnuExit"));
    connect(MnuExit, &QAction::triggered, this, [this] { MnuExit_Click(); });

    MnuHelp = menuBar()->addMenu(QStringLiteral("&Help"));
    MnuHelp->setObjectName(QStringLiteral("MnuHelp"));
    MnuAbout = MnuHelp->addAction(QStringLiteral("&About"));
    MnuAbout->setObjectName(QStringLiteral("MnuAbout"));
    connect(MnuAbout, &QAction::triggered, this, [this] { MnuAbout_Click(); });

    MnuTest = menuBar()->addAction(QStringLiteral("Direct Read/Write"));
    MnuTest->setObjectName(QStringLiteral("MnuTest"));
    MnuTest->setEnabled(false);
}

void MainForm::setDriverDescription(const QString& text) {
    driverLabel_->setText(text);
}

void MainForm::onTransfer(const board::Transfer& t) {
    // The board layer keeps ReadWriteBit; the R/W indicator shows it after every transfer.
    registers_->LabelRW->setText(QString::number(ctx_.state.ReadWriteBit));
    if (t.status != 0)
        statusBar()->showMessage(
            QStringLiteral("Request 0x%1 failed (status %2)")
                .arg(QString::number(t.request, 16).toUpper().rightJustified(2, QLatin1Char('0')))
                .arg(t.status));
}

bool MainForm::Form_Load() {
    SharedState& s = ctx_.state;
    board::Declare& d = ctx_.declare;
    const Variant& v = ctx_.variant;

    // 1. Firmware image beside the program.
    board::USBStuff::SetFirmwarePath(s, programDir_.toStdString());

    // 2. LDAC, CLR, Bin / 2sComp and RSTIN high (their flags already are).
    hardware_->Toggle9->setValue(true);
    hardware_->Toggle8->setValue(true);
    hardware_->Toggle2->setValue(true);
    hardware_->Toggle10->setValue(true);

    if (!v.temperaturePanelEnabled) temperature_->setPanelEnabled(false);

    // 3. Open the board and start its firmware.
    const bool started = board::USBStuff::StartBoard(s, driver_, v.backend);
    if (abandoned_) return false;
    if (!started) {
        QMessageBox::warning(nullptr, QString::fromUtf8(v.title),
                             QStringLiteral("Error Downloading Firmware - Check USB connections"),
                             QMessageBox::Ok);
        return false;
    }

    // 4., 5. Caption and entry captions.
    setWindowTitle(QString::fromUtf8(v.title));
    registers_->Label9->setText(QStringLiteral("Enter Offset Value (-16 to 15.875)"));
    registers_->Label7->setText(QStringLiteral("Enter Fine Gain Value (-32 to 31)"));

    // 6., 7. The function register sets the function switches and the item texts.
    d.ReadRegister(1, 0);
    s.FunctionBits = s.ReadbackValue & 0x3F;
    applyFunctionRegister(s.FunctionBits);
    if (abandoned_) return false;

    // 8.-12. The lists.
    RegistersPanel& r = *registers_;
    r.ComboRW->clear();
    r.ComboRW->addItems({QStringLiteral("Read"), QStringLiteral("Write")});
    r.ComboRW->setCurrentIndex(1);
    r.ComboRW_Click();
    r.ComboReg->clear();
    r.ComboReg->addItems({QStringLiteral("Function Register"), QStringLiteral("Data Register"),
                          QStringLiteral("Coarse Gain Register"),
                          QStringLiteral("Fine Gain Register"), QStringLiteral("Offset Register")});
    r.ComboReg->setCurrentIndex(-1);
    r.ComboAddr->clear();
    r.ComboAddr->addItems({QStringLiteral("DAC A"), QStringLiteral("DAC B"),
                           QStringLiteral("DAC C"), QStringLiteral("DAC D"),
                           QStringLiteral("ALL DACs")});
    r.ComboFunction->clear();
    r.ComboFunction->addItems(
        {QStringLiteral("No Operation"), QString::fromStdString(s.LocalGndItem),
         QString::fromStdString(s.D1DirectionItem), QString::fromStdString(s.D1LevelItem),
         QString::fromStdString(s.D0DirectionItem), QString::fromStdString(s.D0LevelItem),
         QString::fromStdString(s.SdoItem), QStringLiteral("CLEAR All DAC Channels"),
         QStringLiteral("LOAD All DAC Channels")});
    r.ComboFunction->setCurrentIndex(0);
    r.ComboFunction_Click();
    r.ComboCoarse->clear();
    r.ComboCoarse->addItems({QStringLiteral("Output Range = ± 10 V"),
                             QStringLiteral("Output Range = ± 10.2564 V"),
                             QStringLiteral("Output Range = ± 10.5263 V")});
    r.ComboCoarse->setCurrentIndex(-1);

    // 13., 14. Entries hidden until a register is selected; the radix button's caption.
    r.hideEntryControls();
    r.ComboAddr->show();
    r.Command2->setText(QString::fromStdString(s.DisplayRadix));

    // 15., 16. Level switches off limits; "READ" while either pin is an input.
    function_->Toggle5->setEnabled(false);
    function_->Toggle6->setEnabled(false);
    function_->Command6->setVisible(!function_->Toggle3->value() || !function_->Toggle4->value());

    // 17., 18. Pulse LDAC after every data write.
    hardware_->Check1->setChecked(true);
    hardware_->Check1_Click();
    hardware_->Toggle9->setEnabled(false);
    if (abandoned_) return false;

    // 19. Open on the data register.
    Command10_Click();
    return !abandoned_;
}

void MainForm::applyFunctionRegister(int32_t bits) {
    SharedState& s = ctx_.state;
    FunctionPanel& f = *function_;
    HardwarePanel& h = *hardware_;

    const bool localGnd = bits & 0x20;
    f.Toggle1->setValue(localGnd);
    s.LocalGndItem =
        localGnd ? "Local Ground Offset Adjust Disable" : "Local Ground Offset Adjust Enable";

    const bool d1Out = bits & 0x10;
    f.Toggle3->setValue(d1Out);
    s.D1DirectionItem = d1Out ? "Set D1 as Input" : "Set D1 as Output";
    h.Frame21->setEnabled(!d1Out);
    h.Toggle12->setEnabled(!d1Out);

    const bool d1High = bits & 0x08;
    f.Toggle5->setValue(d1High);
    s.D1LevelItem = d1High ? "Set D1" : "Clear D1";

    const bool d0Out = bits & 0x04;
    f.Toggle4->setValue(d0Out);
    s.D0DirectionItem = d0Out ? "Set D0 as Input" : "Set D0 as Output";
    h.Frame20->setEnabled(!d0Out);
    h.Toggle11->setEnabled(!d0Out);

    const bool d0High = bits & 0x02;
    f.Toggle6->setValue(d0High);
    s.D0LevelItem = d0High ? "Set D0" : "Clear D0";

    const bool sdoOff = bits & 0x01;
    f.Toggle7->setValue(sdoOff);
    s.SdoItem = sdoOff ? "Enable SDO Output" : "Disable SDO Output";
}

void MainForm::Command10_Click() {
    // Selecting by text ignores letter case, as the list's own text match does.
    RegistersPanel& r = *registers_;
    const int item = r.ComboReg->findText(QStringLiteral("Data register"), Qt::MatchFixedString);
    if (item < 0) return;
    r.ComboReg->setCurrentIndex(item);
    r.ComboReg_Click();
}

void MainForm::MnuExit_Click() {
    close();
}

void MainForm::MnuAbout_Click() {
    if (!about_) about_ = createAboutWindow(ctx_.variant, this);
    if (!about_) return;
    about_->show();
    about_->raise();
    about_->activateWindow();
}

void MainForm::closeEvent(QCloseEvent* event) {
    event->accept();
    if (about_) about_->close();
    QCoreApplication::exit(0);
}

} // namespace tq::ui
