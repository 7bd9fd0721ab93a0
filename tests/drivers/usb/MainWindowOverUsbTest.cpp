// The main window's start-up on our USB driver library against the emulated board with the
// simulated board's model behind it, compared with the same start-up on the simulator's own
// driver library: the same calls reach the driver, the same bytes come back and the window
// shows the same things.

// GLib's headers (through umockdev's) name struct members after Qt's keywords: they must be
// read before any Qt header defines those keywords.
#include "EmulatedBoard.h"
#include "SimBehindUsb.h"

#include "board/DriverLibrary.h"
#include "drivers/sim/sim_abi.h"
#include "ui/Variant.h"
#include "ui/main/FunctionPanel.h"
#include "ui/main/HardwarePanel.h"
#include "ui/main/Main.h"
#include "ui/main/MainForm.h"
#include "ui/main/RegistersPanel.h"
#include "ui/main/WindowFixture.h"
#include "ui/widgets/Toggle.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>

#include <gtest/gtest.h>

#include <memory>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace {

using tq::board::Backend;
using tq::board::DriverLibrary;
using tq::ui::Main;
using tq::ui::Variant;

// One call into the driver library as the program made it, with what came back. Board
// handles differ between the libraries and are left out.
struct Call {
    const char* entry = "";
    int request = -1;
    int32_t value = 0;
    int32_t index = 0;
    int direction = 0;
    int32_t length = 0;
    std::vector<uint8_t> received; // the buffer after a read
    int status = 0;
    bool operator==(const Call&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Call& c) {
    os << c.entry << "(0x" << std::hex << c.request << ", 0x" << c.value << ", 0x" << c.index
       << std::dec << ", dir " << c.direction << ", len " << c.length << ") -> " << c.status
       << " [";
    for (const uint8_t b : c.received)
        os << ' ' << std::hex << int{b} << std::dec;
    return os << " ]";
}

// Forwards every call to a driver library loaded by path and records it.
class RecordingLibrary final : public tq::board::DriverApi {
public:
    RecordingLibrary(const QString& path, std::vector<Call>& calls) : lib_(path), calls_(calls) {}
    DriverLibrary& library() { return lib_; }

    int16_t Search_For_Boards(int32_t v, int32_t p, int32_t* count, uint8_t* list) override {
        const int16_t status = lib_.Search_For_Boards(v, p, count, list);
        note("Search_For_Boards", status, v, p);
        calls_.back().received = {static_cast<uint8_t>(*count)};
        return status;
    }
    int16_t Connect(int32_t v, int32_t p, uint8_t board, int32_t* handle) override {
        const int16_t status = lib_.Connect(v, p, board, handle);
        note("Connect", status, v, p);
        return status;
    }
    int16_t Download_Firmware(int32_t handle, uint8_t* path) override {
        const int16_t status = lib_.Download_Firmware(handle, path);
        note("Download_Firmware", status);
        return status;
    }
    int16_t Vendor_Request(int32_t handle, uint8_t request, int32_t value, int32_t index,
                           uint8_t direction, int32_t length, uint8_t* buffer) override {
        const int16_t status =
            lib_.Vendor_Request(handle, request, value, index, direction, length, buffer);
        record("Vendor_Request", request, value, index, direction, length, buffer, status);
        return status;
    }
    int16_t LoadFirmWare(uint8_t* path) override {
        const int16_t status = lib_.LoadFirmWare(path);
        note("LoadFirmWare", status);
        return status;
    }
    int16_t VendorIORequest(int16_t request, int32_t value, int32_t index, int16_t direction,
                            int16_t length, uint8_t* buffer) override {
        const int16_t status =
            lib_.VendorIORequest(request, value, index, direction, length, buffer);
        record("VendorIORequest", request, value, index, direction, length, buffer, status);
        return status;
    }

private:
    void note(const char* entry, int status, int32_t value = 0, int32_t index = 0) {
        Call c;
        c.entry = entry;
        c.value = value;
        c.index = index;
        c.status = status;
        calls_.push_back(std::move(c));
    }
    void record(const char* entry, int request, int32_t value, int32_t index, int direction,
                int32_t length, const uint8_t* buffer, int status) {
        Call c{entry, request, value, index, direction, length, {}, status};
        if (direction == 1 && buffer && length > 0) c.received.assign(buffer, buffer + length);
        calls_.push_back(std::move(c));
    }

    DriverLibrary lib_;
    std::vector<Call>& calls_;
};

// Every control of the window with what it shows: text, switch state, selection and whether
// it can be seen and used.
std::vector<std::string> view(const QWidget& form) {
    std::vector<std::string> out;
    for (const QWidget* w : form.findChildren<QWidget*>()) {
        QString shown;
        if (const auto* label = qobject_cast<const QLabel*>(w)) {
            shown = label->text();
        } else if (const auto* edit = qobject_cast<const QLineEdit*>(w)) {
            shown = edit->text();
        } else if (const auto* combo = qobject_cast<const QComboBox*>(w)) {
            shown = combo->currentText();
        } else if (const auto* toggle = qobject_cast<const tq::ui::Toggle*>(w)) {
            shown = toggle->caption();
        } else if (const auto* button = qobject_cast<const QAbstractButton*>(w)) {
            shown = button->text() + (button->isChecked() ? QStringLiteral(" [x]") : QString());
        } else {
            continue;
        }
        out.push_back(QStringLiteral("%1 %2: \"%3\"%4%5")
                          .arg(QString::fromLatin1(w->metaObject()->className()), w->objectName(),
                               shown, w->isVisibleTo(&form) ? QString() : QStringLiteral(" hidden"),
                               w->isEnabled() ? QString() : QStringLiteral(" disabled"))
                          .toStdString());
    }
    return out;
}

struct StartUp {
    std::vector<Call> calls;
    std::unique_ptr<Main> main;
    int status = -1;
    std::vector<tq::test::BoxAnswerer::Box> boxes;
};

// The main window started once on the driver library at path; it is kept (with the library
// loaded) until the comparison is over.
StartUp startUp(const Variant& variant, const QString& path) {
    StartUp run;
    auto driver = std::make_unique<RecordingLibrary>(path, run.calls);
    if (path.endsWith(QStringLiteral("libTQ5802Sim.so"))) {
        const auto reset =
            reinterpret_cast<TQSim_Reset_fn>(driver->library().resolveOptional("TQSim_Reset"));
        if (reset) reset();
    }
    run.main = std::make_unique<Main>(variant, std::move(driver), QStringLiteral(TQ_BIN_DIR));
    const tq::test::BoxAnswerer answerer; // a failed start warns in a box; never wait on it
    run.status = run.main->start();
    run.boxes = answerer.boxes;
    return run;
}

// Each case must run in a process of its own (ctest runs them so), as in the board layer's
// test over USB: a driver library loaded by an earlier case keeps its libusb context.
class MainWindowOverUsb : public testing::TestWithParam<Backend> {};

TEST_P(MainWindowOverUsb, StartUpRunsAsOnTheSimulatorLibrary) {
    const Backend backend = GetParam();
    const Variant& variant = backend == Backend::Newer ? tq::ui::kTQ5802R : tq::ui::kTQ5802;
    const QString usbPath = backend == Backend::Newer
                                ? QStringLiteral(TQ_BIN_DIR "/libQRV_CYUSB_USB4.so")
                                : QStringLiteral(TQ_BIN_DIR "/libUSBFunctions.so");

    // The emulated bus must exist before either library makes its libusb context.
    tq::usbtest::EmulatedBoard device(backend == Backend::Newer ? 30 : 40);
    tq::sim::SimBoard model;
    tq::usbtest::putSimBehind(device, model);
    device.setAfterRelease(tq::usbtest::AfterRelease::Renumerate);
    device.plug();

    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", QByteArrayLiteral("offscreen"));
    int argc = 1;
    char name[] = "test_usb_mainwindow";
    char* argv[] = {name, nullptr};
    QApplication app(argc, argv);

    const StartUp sim = startUp(variant, QStringLiteral(TQ_BIN_DIR "/libTQ5802Sim.so"));
    const StartUp usb = startUp(variant, usbPath);

    ASSERT_EQ(sim.status, 0);
    ASSERT_EQ(usb.status, 0);
    EXPECT_TRUE(sim.boxes.empty());
    EXPECT_TRUE(usb.boxes.empty());
    EXPECT_TRUE(usb.main->form().isVisible());
    EXPECT_EQ(device.enumerations(), 2); // the download made the board re-enumerate
    EXPECT_TRUE(model.firmwareRunning());

    // The same calls with the same answers, in the same order; reads among them, so the
    // board's answers are compared too.
    EXPECT_EQ(usb.calls, sim.calls);
    std::size_t reads = 0;
    for (const Call& c : usb.calls) {
        // The legacy library's firmware load reports success as 1 or more, every other
        // entry as 0.
        if (c.entry == std::string_view("LoadFirmWare"))
            EXPECT_GE(c.status, 1) << c;
        else
            EXPECT_EQ(c.status, 0) << c;
        if (c.direction == 1 && c.request >= 0) ++reads;
    }
    EXPECT_GT(reads, 0U);

    // Every vendor request went over the wire, once, with its setup packet as called.
    std::vector<tq::usbtest::ControlRecord> wire;
    for (const auto& r : device.records())
        if ((r.setup.requestType & 0x60) == 0x40 && r.setup.request != 0xA0) wire.push_back(r);
    std::vector<Call> requests;
    for (const Call& c : usb.calls)
        if (c.request >= 0) requests.push_back(c);
    ASSERT_EQ(wire.size(), requests.size());
    for (std::size_t i = 0; i < wire.size(); ++i) {
        EXPECT_EQ(wire[i].setup.request, requests[i].request) << i;
        EXPECT_EQ(wire[i].setup.value, requests[i].value) << i;
        EXPECT_EQ(wire[i].setup.index, requests[i].index) << i;
        EXPECT_EQ(wire[i].setup.in(), requests[i].direction == 1) << i;
        EXPECT_EQ(wire[i].setup.length, requests[i].length) << i;
    }

    // The window shows the same register read-out and switch states.
    tq::ui::MainForm& a = usb.main->form();
    tq::ui::MainForm& b = sim.main->form();
    EXPECT_FALSE(a.registersPanel().LabelData->text().isEmpty());
    EXPECT_EQ(a.registersPanel().LabelData->text(), b.registersPanel().LabelData->text());
    EXPECT_EQ(a.registersPanel().LabelRW->text(), b.registersPanel().LabelRW->text());
    EXPECT_EQ(a.registersPanel().TextData->text(), b.registersPanel().TextData->text());
    for (auto toggle : {&tq::ui::FunctionPanel::Toggle1, &tq::ui::FunctionPanel::Toggle7,
                        &tq::ui::FunctionPanel::Toggle3, &tq::ui::FunctionPanel::Toggle5,
                        &tq::ui::FunctionPanel::Toggle4, &tq::ui::FunctionPanel::Toggle6})
        EXPECT_EQ((a.functionPanel().*toggle)->value(), (b.functionPanel().*toggle)->value());
    EXPECT_EQ(view(a), view(b));
    EXPECT_EQ(usb.main->state().DataValue, sim.main->state().DataValue);
}

INSTANTIATE_TEST_SUITE_P(Backends, MainWindowOverUsb,
                         testing::Values(Backend::Newer, Backend::Legacy), [](const auto& info) {
                             return info.param == Backend::Newer ? "Newer" : "Legacy";
                         });

} // namespace
