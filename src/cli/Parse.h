#pragma once
// Strict reading of command words: the whole word must be the value, or it is refused with
// a message naming what is allowed. (The window's entries read a leading number and ignore
// the rest; a script must not.)

#include "bench/Channel.h"
#include "bench/Outcome.h"

#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tq::cli {

// A, B, C, D or ALL in any letter case.
bench::Outcome<bench::Channel> ParseChannel(std::string_view word);
// A decimal integer, or hexadecimal after 0x; `what` names it in the refusal.
bench::Outcome<int64_t> ParseInteger(std::string_view word, std::string_view what);
// A decimal number with an optional exponent.
bench::Outcome<double> ParseNumber(std::string_view word, std::string_view what);
// "key=value" split at the first '='; refused without one.
bench::Outcome<std::pair<std::string_view, std::string_view>> ParseSetting(std::string_view word);
// The index of `word` among `allowed` (any letter case); refused naming them all.
bench::Outcome<int> ParseChoice(std::string_view word, std::string_view what,
                                std::span<const std::string_view> allowed);
bench::Outcome<int> ParseChoice(std::string_view word, std::string_view what,
                                std::initializer_list<std::string_view> allowed);
// The same among the `key` members of a table's entries.
bench::Outcome<int> ParseKey(std::string_view word, std::string_view what, const auto& table) {
    std::vector<std::string_view> keys;
    for (const auto& entry : table)
        keys.push_back(entry.key);
    return ParseChoice(word, what, std::span<const std::string_view>(keys));
}
// A refusal for a wrong count of words: "usage: <usage>"; a command's name stands for its
// usage in the command table.
bench::Error UsageOf(std::string_view usage);

std::string Quoted(std::string_view word);
// `text` as an error message may show it: control characters as '?', and cut (at a character
// boundary) to `longest` bytes with "..." after, so a huge or binary input stays readable.
std::string Shown(std::string_view text, std::size_t longest = 80);
// The parts joined, for messages.
std::string Cat(std::initializer_list<std::string_view> parts);

} // namespace tq::cli
