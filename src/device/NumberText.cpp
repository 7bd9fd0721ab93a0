#include "device/NumberText.h"

#include <bit>
#include <charconv>
#include <string>
#include <system_error>

namespace tq::device {

namespace {

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

std::string WithoutBlanks(std::string_view text) {
    std::string kept;
    kept.reserve(text.size());
    for (char c : text)
        if (c != ' ' && c != '\t' && c != '\n') kept.push_back(c);
    return kept;
}

// Parses the leading number of `text`, which has no leading blanks.
Result<double> LeadingNumber(std::string_view text) {
    std::size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';

    std::string number; // digits, point and exponent in the form from_chars reads
    std::string digits; // mantissa digits only
    std::size_t integerDigits = 0;
    while (i < text.size() && IsDigit(text[i])) {
        digits.push_back(text[i++]);
        ++integerDigits;
    }
    number = digits;
    if (i < text.size() && text[i] == '.') {
        number.push_back(text[i++]);
        while (i < text.size() && IsDigit(text[i])) {
            digits.push_back(text[i]);
            number.push_back(text[i++]);
        }
    }
    if (digits.empty()) return 0.0;

    // The exponent counts only if at least one digit follows it.
    long exponent = 0;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        std::size_t j = i + 1;
        bool negativeExponent = false;
        if (j < text.size() && (text[j] == '+' || text[j] == '-'))
            negativeExponent = text[j++] == '-';
        if (j < text.size() && IsDigit(text[j])) {
            number.push_back('e');
            if (negativeExponent) number.push_back('-');
            while (j < text.size() && IsDigit(text[j])) {
                number.push_back(text[j]);
                if (exponent < 1'000'000) exponent = exponent * 10 + (text[j] - '0');
                ++j;
            }
            if (negativeExponent) exponent = -exponent;
        }
    }

    double value = 0.0;
    const auto [end, ec] = std::from_chars(number.data(), number.data() + number.size(), value);
    (void)end;
    if (ec == std::errc::result_out_of_range) {
        // Too large overflows; too small reads as 0. Decide by the decimal magnitude.
        const std::size_t firstNonZero = digits.find_first_not_of('0');
        if (firstNonZero == std::string::npos) return 0.0;
        const long magnitude =
            static_cast<long>(integerDigits) - static_cast<long>(firstNonZero) + exponent;
        if (magnitude > 0) return ConversionError::Overflow;
        return 0.0;
    }
    if (ec != std::errc{}) return 0.0; // cannot happen for the digits gathered above
    return negative ? -value : value;
}

} // namespace

Result<double> NumberText(std::string_view text, Blanks blanks) {
    if (blanks == Blanks::Anywhere) return LeadingNumber(WithoutBlanks(text));
    const std::size_t start = text.find_first_not_of(" \t");
    if (start == std::string_view::npos) return 0.0;
    return LeadingNumber(text.substr(start));
}

Result<int32_t> HexTextValue(std::string_view text) {
    if (text.empty()) return ConversionError::Conversion;
    uint64_t value = 0;
    for (char c : text) {
        int digit = 0;
        if (IsDigit(c))
            digit = c - '0';
        else if (c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        else
            return ConversionError::Conversion;
        value = value * 16 + static_cast<uint64_t>(digit);
        if (value > 0xFFFF'FFFFu) {
            // Keep scanning: a later non-hex character is a Conversion error first.
            for (char rest : text)
                if (!(IsDigit(rest) || (rest >= 'a' && rest <= 'f') ||
                      (rest >= 'A' && rest <= 'F')))
                    return ConversionError::Conversion;
            return ConversionError::Overflow;
        }
    }
    return std::bit_cast<int32_t>(static_cast<uint32_t>(value));
}

} // namespace tq::device
