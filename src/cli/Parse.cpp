#include "cli/Parse.h"

#include "bench/Words.h"
#include "cli/Commands.h"

#include <algorithm>
#include <charconv>

namespace tq::cli {

std::string Cat(std::initializer_list<std::string_view> parts) {
    std::string text;
    for (const std::string_view part : parts)
        text += part;
    return text;
}

std::string Quoted(std::string_view word) {
    return Cat({"\"", word, "\""});
}

std::string Shown(std::string_view text, std::size_t longest) {
    bool cut = text.size() > longest;
    if (cut) {
        // Back to the first byte of a UTF-8 character.
        while (longest > 0 && (static_cast<unsigned char>(text[longest]) & 0xC0) == 0x80)
            --longest;
        text = text.substr(0, longest);
    }
    std::string out;
    out.reserve(text.size() + 3);
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        out += u < 0x20 || u == 0x7F ? '?' : c;
    }
    return cut ? out + "..." : out;
}

bench::Error UsageOf(std::string_view usage) {
    if (const Command* command = FindCommand(usage)) usage = command->usage;
    return bench::UsageError(Cat({"usage: ", usage}));
}

bench::Outcome<bench::Channel> ParseChannel(std::string_view word) {
    if (const auto channel = bench::ChannelFromText(word)) return *channel;
    return bench::UsageError(Cat({"unknown channel ", Quoted(word), ": use A, B, C, D or ALL"}));
}

bench::Outcome<int64_t> ParseInteger(std::string_view word, std::string_view what) {
    int base = 10;
    std::string_view digits = word;
    if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
        base = 16;
        digits.remove_prefix(2);
    }
    int64_t value = 0;
    const char* end = digits.data() + digits.size();
    const auto [ptr, ec] = std::from_chars(digits.data(), end, value, base);
    if (digits.empty() || ec != std::errc{} || ptr != end)
        return bench::UsageError(Cat({Quoted(word), " is not a whole number (", what,
                                      "; decimal, or hexadecimal after 0x)"}));
    return value;
}

bench::Outcome<double> ParseNumber(std::string_view word, std::string_view what) {
    if (const std::optional<double> value = bench::WholeNumber(word)) return *value;
    return bench::UsageError(Cat({Quoted(word), " is not a number (", what, ")"}));
}

bench::Outcome<std::pair<std::string_view, std::string_view>> ParseSetting(std::string_view word) {
    const auto eq = word.find('=');
    if (eq == std::string_view::npos || eq == 0)
        return bench::UsageError(Quoted(word) + " is not a setting: write name=value");
    return std::pair{word.substr(0, eq), word.substr(eq + 1)};
}

bench::Outcome<int> ParseChoice(std::string_view word, std::string_view what,
                                std::initializer_list<std::string_view> allowed) {
    return ParseChoice(word, what,
                       std::span<const std::string_view>(allowed.begin(), allowed.size()));
}

bench::Outcome<int> ParseChoice(std::string_view word, std::string_view what,
                                std::span<const std::string_view> allowed) {
    int i = 0;
    for (const std::string_view a : allowed) {
        if (bench::SameWord(word, a)) return i;
        ++i;
    }
    std::string names;
    i = 0;
    for (const std::string_view a : allowed) {
        names += (i == 0 ? "" : (i + 1 == static_cast<int>(allowed.size()) ? " or " : ", "));
        names += a;
        ++i;
    }
    return bench::UsageError(Cat({"unknown ", what, " ", Quoted(word), ": use ", names}));
}

} // namespace tq::cli
