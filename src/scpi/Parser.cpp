#include "scpi/Parser.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <limits>

namespace tq::scpi {

namespace {

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r';
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && IsSpace(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && IsSpace(s.back()))
        s.remove_suffix(1);
    return s;
}

char Upper(char c) {
    return static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
}

bool IsAlpha(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// Calls `part` for each piece of `text` between separators outside quoted strings; false
// when a quoted string is left open.
template <class Part> bool SplitOutsideQuotes(std::string_view text, char separator, Part part) {
    char quote = 0;
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (quote) {
            if (c == quote) quote = 0; // a doubled quote reopens at once: same result
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == separator) {
            part(text.substr(start, i - start));
            start = i + 1;
        }
    }
    if (quote) return false;
    part(text.substr(start));
    return true;
}

// A mnemonic: a letter, then letters, digits or '_'.
bool IsMnemonic(std::string_view s) {
    return !s.empty() && IsAlpha(s.front()) &&
           std::ranges::all_of(s, [](char c) { return IsAlpha(c) || IsDigit(c) || c == '_'; });
}

ParsedUnit ParseUnit(std::string_view text) {
    ParsedUnit out;
    Unit& u = out.unit;
    std::size_t headerEnd = 0;
    while (headerEnd < text.size() && !IsSpace(text[headerEnd]))
        ++headerEnd;
    std::string_view header = text.substr(0, headerEnd);
    const std::string_view rest = Trim(text.substr(headerEnd));
    if (!header.empty() && header.back() == '?') {
        u.query = true;
        header.remove_suffix(1);
    }
    if (!header.empty() && header.front() == '*') {
        u.common = true;
        header.remove_prefix(1);
        if (!IsMnemonic(header)) return {{}, -102};
        u.nodes.push_back(UpperCase(header));
    } else {
        if (!header.empty() && header.front() == ':') {
            u.absolute = true;
            header.remove_prefix(1);
        }
        bool good = true;
        SplitOutsideQuotes(header, ':', [&](std::string_view node) {
            good = good && IsMnemonic(node);
            u.nodes.push_back(UpperCase(node));
        });
        if (!good) return {{}, -102};
    }
    if (!rest.empty()) {
        bool good = true;
        const bool closed = SplitOutsideQuotes(rest, ',', [&](std::string_view p) {
            p = Trim(p);
            good = good && !p.empty();
            u.params.emplace_back(p);
        });
        if (!closed || !good) return {{}, -102};
    }
    return out;
}

} // namespace

std::vector<ParsedUnit> ParseMessage(std::string_view message) {
    std::vector<ParsedUnit> units;
    const bool closed = SplitOutsideQuotes(message, ';', [&](std::string_view part) {
        part = Trim(part);
        if (!part.empty()) units.push_back(ParseUnit(part));
    });
    if (!closed) units.push_back({{}, -102});
    return units;
}

Pattern::Pattern(std::string_view text) {
    if (!text.empty() && text.front() == '*') {
        common_ = true;
        nodes_.push_back({UpperCase(text.substr(1)), UpperCase(text.substr(1)), false, false});
        return;
    }
    std::size_t i = 0;
    while (i < text.size()) {
        Node node;
        if (text[i] == '[') {
            node.optional = true;
            ++i;
        }
        if (i < text.size() && text[i] == ':') ++i;
        const std::size_t start = i;
        while (i < text.size() && (IsAlpha(text[i]) || IsDigit(text[i])))
            ++i;
        const std::string_view name = text.substr(start, i - start);
        node.longForm = UpperCase(name);
        for (const char c : name)
            if (!IsAlpha(c) || Upper(c) == c) node.shortForm += c;
        if (i < text.size() && text[i] == '#') {
            node.suffix = true;
            ++i;
        }
        if (i < text.size() && text[i] == ']') ++i;
        nodes_.push_back(std::move(node));
    }
}

bool Pattern::match(const std::vector<std::string>& nodes, std::vector<int>& suffixes) const {
    suffixes.clear();
    return matchFrom(0, nodes, 0, suffixes);
}

bool Pattern::matchFrom(std::size_t p, const std::vector<std::string>& nodes, std::size_t t,
                        std::vector<int>& suffixes) const {
    if (p == nodes_.size()) return t == nodes.size();
    const Node& node = nodes_[p];
    if (node.optional) {
        const std::size_t mark = suffixes.size();
        if (matchFrom(p + 1, nodes, t, suffixes)) return true;
        suffixes.resize(mark);
    }
    if (t == nodes.size()) return false;
    std::string_view typed = nodes[t];
    std::size_t digits = typed.size();
    while (digits > 0 && IsDigit(typed[digits - 1]))
        --digits;
    const std::string_view name = typed.substr(0, digits);
    const std::string_view suffix = typed.substr(digits);
    // Common commands and names that end in digits are compared whole.
    const bool whole = typed == node.shortForm || typed == node.longForm;
    const bool named = name == node.shortForm || name == node.longForm;
    if (whole && !node.suffix) return matchFrom(p + 1, nodes, t + 1, suffixes);
    if (!named || !node.suffix) return false;
    int value = 1;
    if (!suffix.empty()) {
        const auto [end, ec] = std::from_chars(suffix.data(), suffix.data() + suffix.size(), value);
        if (ec != std::errc{} || end != suffix.data() + suffix.size()) value = -1;
    }
    const std::size_t mark = suffixes.size();
    suffixes.push_back(value);
    if (matchFrom(p + 1, nodes, t + 1, suffixes)) return true;
    suffixes.resize(mark);
    return false;
}

namespace {

// Whether decimal numeric text (its syntax already checked, sign removed) stands for a
// magnitude below 1: what tells an underflow from an overflow once from_chars gives up.
bool BelowOne(std::string_view text) {
    std::size_t i = 0;
    int64_t integerDigits = 0, zerosAfterPoint = 0;
    bool significant = false;
    for (; i < text.size() && IsDigit(text[i]); ++i) {
        if (significant || text[i] != '0') {
            significant = true;
            ++integerDigits;
        }
    }
    if (i < text.size() && text[i] == '.') {
        for (++i; i < text.size() && IsDigit(text[i]); ++i) {
            if (!significant && text[i] == '0')
                ++zerosAfterPoint;
            else
                significant = true;
        }
    }
    int64_t exponent = 0;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        const bool negative = ++i < text.size() && text[i] == '-';
        if (i < text.size() && (text[i] == '-' || text[i] == '+')) ++i;
        for (; i < text.size() && IsDigit(text[i]); ++i)
            exponent = std::min<int64_t>(exponent * 10 + (text[i] - '0'), int64_t{1} << 40);
        if (negative) exponent = -exponent;
    }
    const int64_t magnitude =
        integerDigits > 0 ? integerDigits - 1 + exponent : exponent - zerosAfterPoint - 1;
    return magnitude < 0;
}

} // namespace

std::optional<double> NumberFrom(std::string_view text) {
    constexpr double kHuge = std::numeric_limits<double>::infinity();
    if (text.size() > 2 && text.front() == '#') {
        const char kind = Upper(text[1]);
        const int base = kind == 'H' ? 16 : kind == 'Q' ? 8 : kind == 'B' ? 2 : 0;
        if (base == 0) return std::nullopt;
        uint64_t value = 0;
        const char* first = text.data() + 2;
        const char* last = text.data() + text.size();
        const auto [end, ec] = std::from_chars(first, last, value, base);
        if (end != last) return std::nullopt;
        if (ec == std::errc::result_out_of_range) return kHuge;
        if (ec != std::errc{}) return std::nullopt;
        return static_cast<double>(value);
    }
    if (text.empty()) return std::nullopt;
    if (text.front() == '+') text.remove_prefix(1);
    // from_chars would also take "inf" and "nan"; numbers begin with a digit or a point.
    const std::size_t lead = !text.empty() && text.front() == '-' ? 1 : 0;
    if (text.size() <= lead || !(IsDigit(text[lead]) || text[lead] == '.')) return std::nullopt;
    double value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (end != text.data() + text.size()) return std::nullopt;
    if (ec == std::errc::result_out_of_range) {
        const double sign = lead ? -1 : 1;
        return BelowOne(text.substr(lead)) ? sign * 0.0 : sign * kHuge;
    }
    if (ec != std::errc{} || std::isnan(value)) return std::nullopt;
    return value;
}

std::string UpperCase(std::string_view s) {
    std::string out(s);
    std::ranges::transform(out, out.begin(), Upper);
    return out;
}

std::string ShortForm(std::string_view pattern) {
    std::string shortForm;
    for (const char c : pattern)
        if (!IsAlpha(c) || Upper(c) == c) shortForm += c;
    return shortForm;
}

bool IsWord(std::string_view text, std::string_view pattern) {
    const std::string typed = UpperCase(text);
    return typed == ShortForm(pattern) || typed == UpperCase(pattern);
}

} // namespace tq::scpi
