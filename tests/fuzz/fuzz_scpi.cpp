// A SCPI message: split into commands, headers matched against the command table's
// patterns, and every parameter read as a number and a word.
#include "scpi/Commands.h"
#include "scpi/Parser.h"

#include <cstdint>
#include <vector>

namespace {
std::vector<tq::scpi::Pattern> Patterns() {
    std::vector<tq::scpi::Pattern> patterns;
    for (const tq::scpi::Command& command : tq::scpi::CommandTable())
        patterns.emplace_back(command.header);
    return patterns;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::vector<tq::scpi::Pattern> patterns = Patterns(); // read once per run
    const std::string_view message(reinterpret_cast<const char*>(data), size);
    std::vector<int> suffixes;
    for (const tq::scpi::ParsedUnit& parsed : tq::scpi::ParseMessage(message)) {
        for (const tq::scpi::Pattern& pattern : patterns)
            pattern.match(parsed.unit.nodes, suffixes);
        for (const std::string& p : parsed.unit.params) {
            tq::scpi::NumberFrom(p);
            tq::scpi::IsWord(p, "MAXimum");
        }
    }
    return 0;
}
