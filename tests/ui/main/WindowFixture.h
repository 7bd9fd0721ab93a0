#pragma once
// What the window tests share: a driver that records every call on its way to the simulated
// board's library (and can stand in for some of the board's answers), the simulator's own
// read-outs, a message-box answerer and the program under test.

#include "board/BoardLink.h"
#include "board/DriverLibrary.h"
#include "drivers/sim/sim_abi.h"
#include "ui/main/Main.h"

#include <QApplication>
#include <QComboBox>
#include <QMessageBox>
#include <QPushButton>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <vector>

namespace tq::test {

using ui::Main;
using ui::Variant;

struct Call {
    QString entry;
    int request = -1;
    int32_t value = 0;
    int32_t index = 0;
    int direction = 0;
    int32_t length = 0;
    bool operator==(const Call&) const = default;
};

inline QString describe(const Call& c) {
    return QStringLiteral("%1(0x%2, 0x%3, 0x%4, dir %5, len %6)")
        .arg(c.entry)
        .arg(c.request, 0, 16)
        .arg(c.value, 0, 16)
        .arg(c.index, 0, 16)
        .arg(c.direction)
        .arg(c.length);
}

// Forwards every call to the simulated board's library and records it. It can stand in for
// the board's answer to a read of the function register's control word.
class RecordingDriver final : public board::DriverApi {
public:
    RecordingDriver() : sim_(QStringLiteral(TQ_SIM_LIBRARY)) {
        reinterpret_cast<TQSim_Reset_fn>(sim_.resolveOptional("TQSim_Reset"))();
    }
    void setAbsent(bool absent) {
        reinterpret_cast<TQSim_SetAbsent_fn>(sim_.resolveOptional("TQSim_SetAbsent"))(absent);
    }
    // The cable pulled and plugged back: the board powers up afresh.
    void unplug() { reinterpret_cast<TQSim_Unplug_fn>(sim_.resolveOptional("TQSim_Unplug"))(); }
    void replug() { reinterpret_cast<TQSim_Replug_fn>(sim_.resolveOptional("TQSim_Replug"))(); }
    void setFailing(bool failing) {
        reinterpret_cast<TQSim_SetFailingTransfers_fn>(
            sim_.resolveOptional("TQSim_SetFailingTransfers"))(failing);
    }

    // The simulator's own view of the board.
    TQSimRegisters registers() {
        TQSimRegisters r{};
        reinterpret_cast<TQSim_ReadRegisters_fn>(sim_.resolveOptional("TQSim_ReadRegisters"))(&r);
        return r;
    }
    double outputVolts(int channel) {
        return reinterpret_cast<TQSim_OutputVolts_fn>(sim_.resolveOptional("TQSim_OutputVolts"))(
            channel);
    }
    void setDieTemperature(double celsius) {
        reinterpret_cast<TQSim_SetDieTemperature_fn>(
            sim_.resolveOptional("TQSim_SetDieTemperature"))(celsius);
    }

    std::vector<Call> calls;
    std::optional<int32_t> functionWord;
    // Other register reads answered in place of the board: command byte -> 16-bit word.
    std::map<int32_t, int32_t> readAnswers;
    // Answers to the next 2-byte reads (request 0xDA), in order, in place of the board's.
    std::deque<int16_t> adcReadings;

    int16_t Search_For_Boards(int32_t v, int32_t p, int32_t* count, uint8_t* list) override {
        calls.push_back({QStringLiteral("Search_For_Boards"), -1, v, p});
        return sim_.Search_For_Boards(v, p, count, list);
    }
    int16_t Connect(int32_t v, int32_t p, uint8_t board, int32_t* handle) override {
        calls.push_back({QStringLiteral("Connect"), -1, v, p});
        return sim_.Connect(v, p, board, handle);
    }
    int16_t Download_Firmware(int32_t handle, uint8_t* path) override {
        calls.push_back({QStringLiteral("Download_Firmware")});
        return sim_.Download_Firmware(handle, path);
    }
    int16_t Vendor_Request(int32_t handle, uint8_t request, int32_t value, int32_t index,
                           uint8_t direction, int32_t length, uint8_t* buffer) override {
        calls.push_back(
            {QStringLiteral("Vendor_Request"), request, value, index, direction, length});
        const int16_t status =
            sim_.Vendor_Request(handle, request, value, index, direction, length, buffer);
        answer(request, value, direction, buffer);
        return status;
    }
    int16_t LoadFirmWare(uint8_t* path) override {
        calls.push_back({QStringLiteral("LoadFirmWare")});
        return sim_.LoadFirmWare(path);
    }
    int16_t VendorIORequest(int16_t request, int32_t value, int32_t index, int16_t direction,
                            int16_t length, uint8_t* buffer) override {
        calls.push_back(
            {QStringLiteral("VendorIORequest"), request, value, index, direction, length});
        const int16_t status =
            sim_.VendorIORequest(request, value, index, direction, length, buffer);
        answer(request, value, direction, buffer);
        return status;
    }
    std::string lastErrorText() override { return sim_.lastErrorText(); }

    int32_t Board_Attached(int32_t handle) override { return sim_.Board_Attached(handle); }
    int32_t Count_Boards(int32_t v, int32_t p) override { return sim_.Count_Boards(v, p); }

private:
    void answer(int request, int32_t value, int direction, uint8_t* buffer) {
        if (request == board::kReadAdc && !adcReadings.empty()) {
            const auto word = static_cast<uint16_t>(adcReadings.front());
            adcReadings.pop_front();
            buffer[0] = board::BoardLink::ReverseBits(static_cast<uint8_t>(word >> 8));
            buffer[1] = board::BoardLink::ReverseBits(static_cast<uint8_t>(word));
            return;
        }
        if (request != board::kShiftWord || direction != 1) return;
        std::optional<int32_t> word;
        if (value == 0x81) word = functionWord;
        if (const auto it = readAnswers.find(value); it != readAnswers.end()) word = it->second;
        if (!word) return;
        buffer[0] = board::BoardLink::ReverseBits(static_cast<uint8_t>(value));
        buffer[1] = board::BoardLink::ReverseBits(static_cast<uint8_t>(*word >> 8));
        buffer[2] = board::BoardLink::ReverseBits(static_cast<uint8_t>(*word));
    }

    board::DriverLibrary sim_;
};

// Answers every message box that opens, recording what it said.
class BoxAnswerer : public QObject {
public:
    struct Box {
        QString title, text;
        QMessageBox::Icon icon;
        QString informative;
    };
    BoxAnswerer() {
        timer_.setInterval(10);
        QObject::connect(&timer_, &QTimer::timeout, this, [this] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box) return;
            boxes.push_back({box->windowTitle(), box->text(), box->icon(), box->informativeText()});
            box->button(QMessageBox::Ok)->click();
        });
        timer_.start();
    }
    std::vector<Box> boxes;

private:
    QTimer timer_;
};

// Counts the times a widget is shown.
class ShowCounter : public QObject {
public:
    int shows = 0;
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Show) ++shows;
        return false;
    }
};

struct Program {
    RecordingDriver* driver;
    std::unique_ptr<Main> main;
};

inline Program makeProgram(const Variant& v, std::optional<int32_t> functionWord = {},
                           const QString& programDir = QStringLiteral(TQ_BIN_DIR)) {
    auto driver = std::make_unique<RecordingDriver>();
    driver->functionWord = functionWord;
    RecordingDriver* raw = driver.get();
    return {raw, std::make_unique<Main>(v, std::move(driver), programDir)};
}

inline QStringList items(const QComboBox* list) {
    QStringList out;
    for (int i = 0; i < list->count(); ++i)
        out << list->itemText(i);
    return out;
}

inline Call vr(const char* entry, int request, int32_t value, int32_t index, int dir, int32_t len) {
    return {QString::fromLatin1(entry), request, value, index, dir, len};
}

} // namespace tq::test
