#include "ui/main/MainForm.h"

#include "board/BoardStart.h"
#include "device/RegisterMap.h"
#include "ui/bench/BoardSetup.h"
#include "ui/bench/MeterCalibrationDialog.h"
#include "ui/bench/MeterSettings.h"
#include "ui/bench/MeterSweepDialog.h"
#include "ui/bench/WaveformDialog.h"
#include "ui/main/AccessibleNames.h"
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
#include <QFile>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollArea>
#include <QStatusBar>
#include <QVBoxLayout>

namespace tq::ui {

namespace {

// Asks for the whole form, where a plain scroll area asks for a fraction of the screen.
class FittingScrollArea : public QScrollArea {
public:
    explicit FittingScrollArea(QWidget* parent) : QScrollArea(parent) {
        setObjectName(QStringLiteral("FormScroll"));
        setWidgetResizable(true);
        setFrameShape(QFrame::NoFrame);
    }
    QSize sizeHint() const override {
        if (!widget()) return QScrollArea::sizeHint();
        const int frame = 2 * frameWidth();
        return widget()->sizeHint() + QSize(frame, frame);
    }
    // The form's new size hint goes up to the window, which a scroll area keeps to itself.
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == widget() && event->type() == QEvent::LayoutRequest) updateGeometry();
        return QScrollArea::eventFilter(watched, event);
    }
};

template <typename Items> void fillList(QComboBox* list, const Items& items) {
    list->clear();
    for (const auto& item : items)
        list->addItem(QString::fromUtf8(item.text));
}

} // namespace

MainForm::MainForm(const Variant& variant, SharedState& state, board::BoardLink& declare,
                   board::DriverApi& driver, QString programDir, QWidget* parent)
    : QMainWindow(parent), ctx_{state, declare, variant, *this}, driver_(driver),
      programDir_(std::move(programDir)) {
    setObjectName(QStringLiteral("MainForm"));
    setWindowTitle(QString::fromUtf8(variant.title));

    auto* scroll = new FittingScrollArea(this);
    auto* central = new QWidget(scroll);
    registers_ = new RegistersPanel(ctx_, central);
    function_ = new FunctionPanel(ctx_, central);
    hardware_ = new HardwarePanel(ctx_, central);
    temperature_ = new TemperaturePanel(ctx_, central);
    calibration_ = new CalibrationPanel(ctx_, central);
    product_ = new ProductPanel(variant, central);

    // Temperature stacked over calibration keeps the window within a 1280x720 screen; the
    // scroll area keeps every control reachable on smaller ones.
    auto* top = new QHBoxLayout;
    top->addWidget(registers_, 1);
    top->addWidget(product_);
    auto* side = new QVBoxLayout;
    side->addWidget(temperature_);
    side->addWidget(calibration_);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(function_, 3);
    bottom->addLayout(side, 2);
    auto* rows = new QVBoxLayout(central);
    rows->addLayout(top);
    rows->addWidget(hardware_);
    rows->addLayout(bottom);
    rows->addStretch(1);
    scroll->setWidget(central);
    setCentralWidget(scroll);

    Command10 = new QPushButton(QStringLiteral("Command10"), central);
    Command10->setObjectName(QStringLiteral("Command10"));
    Command10->hide();
    Command10->setFocusPolicy(Qt::NoFocus);
    connect(Command10, &QPushButton::clicked, this, [this] { Command10_Click(); });

    setup_ = std::make_unique<BoardSetup>(declare, driver, variant.model, this,
                                          [this] { showBoardState(); });
    buildMenus();

    driverLabel_ = new QLabel(statusBar());
    driverLabel_->setObjectName(QStringLiteral("DriverLabel"));
    statusBar()->addPermanentWidget(driverLabel_);

    setTabOrder(registers_->TextFunction, hardware_->Toggle2);
    setTabOrder(hardware_->Toggle11, function_->Toggle1);
    setTabOrder(function_->Command5, temperature_->Command7);
    setTabOrder(temperature_->Command7, calibration_->Command8);
    NameForAssistiveTechnology(*this);

    declare.addObserver([self = QPointer<MainForm>(this)](const board::Transfer& t) {
        if (self) self->onTransfer(t);
    });
}

MainForm::~MainForm() = default;

void MainForm::buildMenus() {
    MnuFile = menuBar()->addMenu(QStringLiteral("&File"));
    MnuFile->setObjectName(QStringLiteral("MnuFile"));
    MnuSaveSetup = MnuFile->addAction(QStringLiteral("&Save Board Set-up..."));
    MnuSaveSetup->setObjectName(QStringLiteral("MnuSaveSetup"));
    connect(MnuSaveSetup, &QAction::triggered, this, [this] { setup_->save(); });
    MnuLoadSetup = MnuFile->addAction(QStringLiteral("&Load Board Set-up..."));
    MnuLoadSetup->setObjectName(QStringLiteral("MnuLoadSetup"));
    connect(MnuLoadSetup, &QAction::triggered, this, [this] { setup_->load(); });
    MnuFile->addSeparator();
    MnuExit = MnuFile->addAction(QStringLiteral("E&xit"));
    MnuExit->setObjectName(QStringLiteral("MnuExit"));
    connect(MnuExit, &QAction::triggered, this, [this] { MnuExit_Click(); });

    MnuTools = menuBar()->addMenu(QStringLiteral("&Tools"));
    MnuTools->setObjectName(QStringLiteral("MnuTools"));
    MnuMeterCalibration = MnuTools->addAction(QStringLiteral("Calibrate with Meter..."));
    MnuMeterCalibration->setObjectName(QStringLiteral("MnuMeterCalibration"));
    connect(MnuMeterCalibration, &QAction::triggered, this,
            [this] { MnuMeterCalibration_Click(); });
    MnuMeterSweep = MnuTools->addAction(QStringLiteral("Sweep with Meter..."));
    MnuMeterSweep->setObjectName(QStringLiteral("MnuMeterSweep"));
    connect(MnuMeterSweep, &QAction::triggered, this, [this] { MnuMeterSweep_Click(); });
    MnuWaveform = MnuTools->addAction(QStringLiteral("Waveform..."));
    MnuWaveform->setObjectName(QStringLiteral("MnuWaveform"));
    connect(MnuWaveform, &QAction::triggered, this, [this] { MnuWaveform_Click(); });

    MnuHelp = menuBar()->addMenu(QStringLiteral("&Help"));
    MnuHelp->setObjectName(QStringLiteral("MnuHelp"));
    MnuAbout = MnuHelp->addAction(QStringLiteral("&About"));
    MnuAbout->setObjectName(QStringLiteral("MnuAbout"));
    connect(MnuAbout, &QAction::triggered, this, [this] { MnuAbout_Click(); });

    MnuTest = menuBar()->addAction(QStringLiteral("Direct Read/Write"));
    MnuTest->setObjectName(QStringLiteral("MnuTest"));
    MnuTest->setEnabled(false);
}

void MainForm::MnuMeterCalibration_Click() {
    if (!meterCalibration_) {
        auto* dialog = new MeterCalibrationDialog(ctx_.declare, driver_, ctx_.variant.model, this);
        connect(dialog, &MeterCalibrationDialog::runningChanged, this, &MainForm::boardBusy);
        if (!offeredMeter_.isEmpty())
            dialog->findChild<MeterSettings*>()->suggest(offeredMeter_, offeredRoute_);
        meterCalibration_ = dialog;
    }
    meterCalibration_->show();
    meterCalibration_->raise();
}

void MainForm::offerMeter(const QString& url, const QString& route) {
    offeredMeter_ = url;
    offeredRoute_ = route;
}

void MainForm::MnuMeterSweep_Click() {
    if (!meterSweep_) {
        auto* dialog = new MeterSweepDialog(ctx_.declare, driver_, ctx_.variant.model, this);
        connect(dialog, &MeterSweepDialog::runningChanged, this, &MainForm::boardBusy);
        if (!offeredMeter_.isEmpty()) dialog->Meter->suggest(offeredMeter_, offeredRoute_);
        meterSweep_ = dialog;
    }
    meterSweep_->show();
    meterSweep_->raise();
}

void MainForm::MnuWaveform_Click() {
    if (!waveform_) {
        auto* dialog = new WaveformDialog(ctx_.declare, driver_, ctx_.variant.model, this);
        connect(dialog, &WaveformDialog::runningChanged, this, &MainForm::boardBusy);
        waveform_ = dialog;
    }
    waveform_->show();
    waveform_->raise();
}

void MainForm::setDriverDescription(const QString& text, const QString& toolTip) {
    driverLabel_->setText(text);
    driverLabel_->setToolTip(toolTip);
}

QAction* MainForm::addViewWindow(const QString& caption, QWidget* window) {
    if (!MnuView) {
        MnuView = new QMenu(QStringLiteral("&View"), menuBar());
        MnuView->setObjectName(QStringLiteral("MnuView"));
        menuBar()->insertMenu(MnuHelp->menuAction(), MnuView);
    }
    QAction* item = MnuView->addAction(caption);
    connect(item, &QAction::triggered, window, [window] {
        window->show();
        window->raise();
        window->activateWindow();
    });
    return item;
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
    board::BoardLink& d = ctx_.declare;
    const Variant& v = ctx_.variant;

    // 1. The firmware image found, or the one beside the program; its path goes to the driver
    // in the file system's own encoding.
    const board::FirmwareLookup firmware =
        firmware_ ? *firmware_ : board::findFirmware({}, {programDir_});
    s.FirmwarePath = QFile::encodeName(firmware.path).toStdString();
    board::BoardStart::PathToBytes(s, s.FirmwarePath);

    // 2. LDAC, CLR, Bin / 2sComp and RSTIN high (their flags already are).
    hardware_->Toggle9->setValue(true);
    hardware_->Toggle8->setValue(true);
    hardware_->Toggle2->setValue(true);
    hardware_->Toggle10->setValue(true);

    if (!v.board().hasTemperature) temperature_->setPanelEnabled(false);

    // 3. Open the board and start its firmware.
    board::BoardStart::StartStatus status;
    const bool started = board::BoardStart::StartBoard(s, driver_, v.board().backend, 0, &status);
    if (abandoned_) return false;
    if (!started) {
        QMessageBox box(QMessageBox::Warning, QString::fromUtf8(v.title),
                        QStringLiteral("Error Downloading Firmware - Check USB connections"),
                        QMessageBox::Ok);
        // The driver's own reason, when it gives one, is what the user can act on.
        box.setInformativeText(
            board::describeStartFailure(firmware, status.connect, status.load,
                                        QString::fromStdString(driver_.lastErrorText())));
        box.exec();
        return false;
    }

    // 4., 5. Caption and entry captions.
    setWindowTitle(QString::fromUtf8(v.title));
    registers_->Label9->setText(QStringLiteral("Enter Offset Value (-16 to 15.875)"));
    registers_->Label7->setText(QStringLiteral("Enter Fine Gain Value (-32 to 31)"));

    // 6., 7. The function register sets the function switches and the item texts.
    d.ReadRegister(device::FunctionControlWord, device::FunctionRegister);
    s.FunctionBits = s.ReadbackValue & device::FunctionBitsMask;
    applyFunctionRegister(s.FunctionBits);
    if (abandoned_) return false;

    // 8.-12. The lists; a choice made here runs the list's handler as the user's would.
    RegistersPanel& r = *registers_;
    fillList(r.ComboRW, device::ReadWriteItems);
    r.ComboRW->setCurrentIndex(
        r.ComboRW->findText(QString::fromUtf8(device::ReadWriteItems[1].text)));
    r.ComboRW_Click();
    fillList(r.ComboReg, device::RegisterItems);
    r.ComboReg->setCurrentIndex(-1);
    fillList(r.ComboAddr, device::AddressItems);
    r.ComboFunction->clear();
    for (const std::string& item :
         {std::string(device::NoOperationItem), s.LocalGndItem, s.D1DirectionItem, s.D1LevelItem,
          s.D0DirectionItem, s.D0LevelItem, s.SdoItem, std::string(device::ClearAllItem),
          std::string(device::LoadAllItem)})
        r.ComboFunction->addItem(QString::fromStdString(item));
    r.ComboFunction->setCurrentIndex(0);
    r.ComboFunction_Click();
    fillList(r.ComboCoarse, device::CoarseGainRanges);
    r.ComboCoarse->setCurrentIndex(-1);
    if (abandoned_) return false;

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
    using device::FunctionBitItems;
    SharedState& s = ctx_.state;
    FunctionPanel& f = *function_;
    HardwarePanel& h = *hardware_;
    // Bit 5 first; the items and switches of bits 5..0 in list order.
    std::string* const items[] = {&s.LocalGndItem,    &s.D1DirectionItem, &s.D1LevelItem,
                                  &s.D0DirectionItem, &s.D0LevelItem,     &s.SdoItem};
    Toggle* const toggles[] = {f.Toggle1, f.Toggle3, f.Toggle5, f.Toggle4, f.Toggle6, f.Toggle7};
    for (size_t i = 0; i < FunctionBitItems.size(); ++i) {
        toggles[i]->setValue((bits & FunctionBitItems[i].mask) != 0);
        *items[i] = std::string(device::FunctionItemText(FunctionBitItems[i], bits));
    }
    // The flags follow the board too, so the word the closing "Read Register" composes keeps
    // the board's bits rather than clearing them under switches that still show them. SDO
    // is taken as on: that read turns it on in any case.
    s.LocalGndOffsetBit = (bits & device::LocalGndOffsetMask) != 0 ? 1 : 0;
    s.D1DirectionBit = (bits & device::D1DirectionMask) != 0 ? 1 : 0;
    s.D1LevelBit = (bits & device::D1LevelMask) != 0 ? 1 : 0;
    s.D0DirectionBit = (bits & device::D0DirectionMask) != 0 ? 1 : 0;
    s.D0LevelBit = (bits & device::D0LevelMask) != 0 ? 1 : 0;
    s.SdoDisableBit = 0;
    // A pin the converter drives is not the board's to drive.
    const bool d1Out = (bits & device::D1DirectionMask) != 0;
    h.Frame21->setEnabled(!d1Out);
    h.Toggle12->setEnabled(!d1Out);
    const bool d0Out = (bits & device::D0DirectionMask) != 0;
    h.Frame20->setEnabled(!d0Out);
    h.Toggle11->setEnabled(!d0Out);
}

void MainForm::showBoardState() {
    const SharedState& s = ctx_.state;
    HardwarePanel& h = *hardware_;
    h.Toggle2->setValue(s.BinTwosCompLine != 0);
    h.Toggle8->setValue(s.ClrLine != 0);
    h.Toggle9->setValue(s.LdacLine != 0);
    h.Toggle10->setValue(s.RstinLine != 0);
    h.Toggle11->setValue(s.DriveD0Line != 0);
    h.Toggle12->setValue(s.DriveD1Line != 0);
    h.Check1->setCheckState(s.Check1Value == 1   ? Qt::Checked
                            : s.Check1Value == 2 ? Qt::PartiallyChecked
                                                 : Qt::Unchecked);
    // While LDAC is pulsed after every write it is held high.
    h.Toggle9->setEnabled(s.Check1Value != 1);

    FunctionPanel& f = *function_;
    const bool d1Out = s.D1DirectionBit != 0;
    const bool d0Out = s.D0DirectionBit != 0;
    f.Toggle1->setValue(s.LocalGndOffsetBit != 0);
    f.Toggle3->setValue(d1Out);
    f.Toggle5->setValue(s.D1LevelBit != 0);
    f.Toggle4->setValue(d0Out);
    f.Toggle6->setValue(s.D0LevelBit != 0);
    f.Toggle7->setValue(s.SdoDisableBit != 0);
    // A level is the user's to set only on an output; a pin the converter drives is not the
    // board's to drive; "READ" is there while either pin is an input.
    f.Toggle5->setEnabled(d1Out);
    f.Toggle6->setEnabled(d0Out);
    f.Command6->setVisible(!d1Out || !d0Out);
    h.Frame21->setEnabled(!d1Out);
    h.Toggle12->setEnabled(!d1Out);
    h.Frame20->setEnabled(!d0Out);
    h.Toggle11->setEnabled(!d0Out);
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
