#include "bench/Words.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>

namespace tq::bench {

bool SameWord(std::string_view a, std::string_view b) {
    return std::ranges::equal(a, b, [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) ==
               std::tolower(static_cast<unsigned char>(y));
    });
}

std::optional<double> WholeNumber(std::string_view word) {
    // from_chars takes no leading '+'; people write one.
    const char* begin = word.data() + (word.starts_with('+') ? 1 : 0);
    const char* end = word.data() + word.size();
    double value = 0;
    const auto [ptr, ec] = std::from_chars(begin, end, value);
    if (word.empty() || ec != std::errc{} || ptr != end || !std::isfinite(value))
        return std::nullopt;
    return value;
}

} // namespace tq::bench
