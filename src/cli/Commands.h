#pragma once
// tq5802ctl's commands as one table, shared by the command line and by batch scripts.
//
// Every command first parses its words into a Step, touching nothing: text that is not a
// number, an unknown channel or register, a missing or extra word is refused there, so a
// refused command (or a batch script with any refused line) sends nothing. The Step then
// runs on the open board and answers with a Reply, which the dispatcher writes as text or
// as one JSON object with "command", "ok" and "transfers" added.
//
// To add a command: write its parser in a file of its own, then declare it and add its row
// in Commands.cpp (and the file to CMakeLists.txt).

#include "bench/Bench.h"
#include "bench/Outcome.h"
#include "cli/Options.h"
#include "cli/Output.h"

#include <QJsonObject>
#include <QString>

#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tq::cli {

// A command's words after its name.
using Args = std::span<const std::string_view>;

// What one command gives the dispatcher to write: `json` with --json, `text` otherwise
// (an empty text writes nothing). A Step fills the one its output needs.
struct Reply {
    QJsonObject json;
    std::string text;     // UTF-8
    bool written = false; // the step wrote its own output (batch, servers)
    // The step ran but its result fails: the reply is still written, then `failure` as an
    // error, and the command ends with `exitCode`.
    int exitCode = kDone;
    std::string failure;
};

struct Context {
    const Options& options;
    Output& out;
    bench::Bench* bench = nullptr; // null while a command that opens no board runs
    int transfers = 0;             // transfers with the board so far
    int line = 0;                  // the batch line running, 0 outside a batch
};

using Step = std::function<bench::Outcome<Reply>(Context&)>;

struct Command {
    std::string_view name;
    std::string usage;        // the command's synopsis, for --help and refusals
    std::string_view summary; // one line for --help
    bool opensBoard = true;   // false: runs without opening a board (list)
    bool inBatch = true;      // may be a line of a batch script
    bench::Outcome<Step> (*parse)(Args args) = nullptr;
};

std::span<const Command> Commands();
const Command* FindCommand(std::string_view name);

// A batch line's words: split at blanks and tabs; double quotes group a word with blanks or
// '#' (\" and \\ inside them stand for the character); a '#' at the start of a word starts a
// comment. `end` is where the comment begins (the line's size without one). A quote left
// open is refused.
struct LineWords {
    std::vector<std::string> words;
    std::size_t end = 0;
};
bench::Outcome<LineWords> SplitWords(std::string_view line);

// A command line's words (name first) parsed into its Step; a Usage error names what was
// refused, and an unknown command lists the known ones. In a batch, a command that cannot
// be a batch line is refused before its words are looked at.
struct Parsed {
    const Command* command = nullptr;
    Step step;
};
bench::Outcome<Parsed> ParseCommand(Args words, bool inBatch = false);

// Runs a parsed command and writes its reply, or its error: with --json as an object with
// "ok": false and "error" on standard output, and always as a line on standard error (in a
// batch naming the line's number, context.line, and its text). Returns the exit code.
int RunCommand(Context& context, const Parsed& parsed, std::string_view lineText = {});
// Writes a command's error as RunCommand does (`command` may be empty when the words named
// no known command) and returns its exit code.
int WriteError(Context& context, std::string_view command, const bench::Error& error,
               int transfers = 0, std::string_view lineText = {});

} // namespace tq::cli
