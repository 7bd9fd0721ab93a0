#include "scpi/Errors.h"

#include <array>
#include <utility>

namespace tq::scpi {

std::string_view ErrorText(int code) {
    static constexpr std::array<std::pair<int, std::string_view>, 18> kTexts{{
        {0, "No error"},
        {-100, "Command error"},
        {-102, "Syntax error"},
        {-104, "Data type error"},
        {-108, "Parameter not allowed"},
        {-109, "Missing parameter"},
        {-113, "Undefined header"},
        {-114, "Header suffix out of range"},
        {-200, "Execution error"},
        {-221, "Settings conflict"},
        {-222, "Data out of range"},
        {-224, "Illegal parameter value"},
        {-241, "Hardware missing"},
        {-350, "Queue overflow"},
        {-363, "Input buffer overrun"},
        {kTransferFailed, "Transfer failed"},
        {kBoardGone, "Board gone"},
        {kMeterFailed, "Meter failed"},
    }};
    for (const auto& [number, text] : kTexts)
        if (number == code) return text;
    return "Error";
}

void ErrorQueue::push(int code, std::string_view detail) {
    if (entries_.size() >= kCapacity) {
        entries_.back() = {-350, {}};
        return;
    }
    entries_.push_back({code, std::string(detail)});
}

std::string ErrorQueue::next() {
    if (entries_.empty()) return "0,\"No error\"";
    const Entry e = std::move(entries_.front());
    entries_.pop_front();
    std::string text(ErrorText(e.code));
    if (!e.detail.empty()) text += ";" + e.detail;
    // The detail may quote what a client sent: kept short and printable, its quotes doubled.
    constexpr std::size_t kLongest = 120;
    std::string quoted;
    for (std::size_t i = 0; i < text.size() && i < kLongest; ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c == '"') quoted += '"';
        quoted += c < 0x20 || c >= 0x7F ? '?' : static_cast<char>(c);
    }
    return std::to_string(e.code) + ",\"" + quoted + "\"";
}

void Session::fail(int code, std::string_view detail) {
    errors.push(code, detail);
    if (code <= -100 && code > -200)
        esr |= kCommandError;
    else if (code <= -200 && code > -300)
        esr |= kExecutionError;
    else if (code <= -400 && code > -500)
        esr |= kQueryError;
    else
        esr |= kDeviceError;
}

} // namespace tq::scpi
