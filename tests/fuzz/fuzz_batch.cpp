// A batch line: split into words and parsed as a command, as a script's lines are before
// any runs. Parsing touches neither a board nor a file.
#include "cli/Commands.h"

#include <cstdint>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view line(reinterpret_cast<const char*>(data), size);
    const auto split = tq::cli::SplitWords(line);
    if (!split || split->words.empty()) return 0;
    const std::vector<std::string_view> words(split->words.begin(), split->words.end());
    tq::cli::ParseCommand(words, true);
    return 0;
}
