#include "device/Format.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstdlib>

namespace tq::device {

std::string HexText(int32_t value) {
    std::array<char, 8> buffer{};
    const auto [end, ec] = std::to_chars(buffer.data(), buffer.data() + buffer.size(),
                                         static_cast<uint32_t>(value), 16);
    (void)ec; // 8 characters always suffice for 32 bits
    std::string text(buffer.data(), end);
    for (char& c : text)
        if (c >= 'a' && c <= 'f') c = static_cast<char>(c - 'a' + 'A');
    return text;
}

std::string HexText4(int32_t value) {
    std::string text = HexText(value);
    if (text.size() < 4) text.insert(0, 4 - text.size(), '0');
    return text;
}

std::string FloatText(float value) {
    if (value == 0.0f) return "0";
    std::array<char, 32> buffer{};
    const auto [end, ec] = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value,
                                         std::chars_format::general, 7);
    (void)ec; // 32 characters always suffice for a float at 7 digits
    std::string text(buffer.data(), end);
    for (char& c : text)
        if (c == 'e') c = 'E';
    return text;
}

std::string PatternText(double value, std::string_view pattern) {
    const bool leadingZero = !pattern.empty() && pattern.front() == '0';
    int decimals = 0;
    if (const std::size_t point = pattern.find('.'); point != std::string_view::npos)
        for (std::size_t i = point + 1; i < pattern.size() && pattern[i] == '0'; ++i)
            ++decimals;
    if (!std::isfinite(value)) value = 0.0;

    // The value's 15 significant digits: d.dddddddddddddde±x
    std::array<char, 40> buffer{};
    const auto [end, ec] = std::to_chars(buffer.data(), buffer.data() + buffer.size(),
                                         std::fabs(value), std::chars_format::scientific, 14);
    (void)ec;
    const std::string_view scientific(buffer.data(), end);
    const std::size_t e = scientific.find('e');
    std::string digits; // 15 digits, the first one at 10^exponent
    for (char c : scientific.substr(0, e))
        if (c != '.') digits.push_back(c);
    const int exponent = std::atoi(std::string(scientific.substr(e + 1)).c_str());

    // Place the digits on a fixed grid: integer part, then `decimals` fraction digits,
    // then one more digit deciding the rounding.
    const int integerDigits = std::max(exponent + 1, 1);
    std::string grid(static_cast<std::size_t>(integerDigits + decimals + 1), '0');
    for (std::size_t i = 0; i < digits.size(); ++i) {
        const int position = integerDigits - 1 - exponent + static_cast<int>(i);
        if (position >= 0 && position < static_cast<int>(grid.size()))
            grid[static_cast<std::size_t>(position)] = digits[i];
    }
    // Half away from zero: the first digit cut off decides alone.
    const bool roundUp = grid.back() >= '5';
    grid.pop_back();
    if (roundUp) {
        int i = static_cast<int>(grid.size()) - 1;
        while (i >= 0 && grid[static_cast<std::size_t>(i)] == '9')
            grid[static_cast<std::size_t>(i--)] = '0';
        if (i >= 0)
            ++grid[static_cast<std::size_t>(i)];
        else
            grid.insert(grid.begin(), '1');
    }
    const std::size_t integerLength = grid.size() - static_cast<std::size_t>(decimals);
    std::string integerPart = grid.substr(0, integerLength);
    const std::string fraction = grid.substr(integerLength);
    integerPart.erase(0, std::min(integerPart.find_first_not_of('0'), integerPart.size()));
    const bool zero = integerPart.empty() && fraction.find_first_not_of('0') == std::string::npos;

    std::string text;
    if (value < 0 && !zero) text.push_back('-');
    text += integerPart.empty() && leadingZero ? "0" : integerPart;
    if (decimals > 0) text += "." + fraction;
    return text;
}

} // namespace tq::device
