#pragma once
// The instrument's command set, in one table the interpreter reads, and the interpreter
// that carries out a message for one client on the one board.

#include "bench/Bench.h"
#include "scpi/Errors.h"
#include "scpi/Parser.h"

#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tq::scpi {

struct Call; // a command being carried out (Commands.cpp)
using Handler = void (*)(Call&);

struct Command {
    std::string_view header; // pattern, see Pattern: "SOURce#:VOLTage[:LEVel]"
    int setParams;           // parameters of the setting form; -1: there is none
    int queryParams;         // parameters of the query form; -1: there is none
    Handler set;
    Handler query;
    std::string_view parameters; // for people: "<volts>|MIN|MAX"
    std::string_view meaning;    // for people
    int suffixMin = 1;           // numeric suffixes the '#' accepts
    int suffixMax = 4;
};

// Every command, in the order the README lists them.
std::span<const Command> CommandTable();

struct Identity {
    std::string maker = "TQ5802R evaluation software project";
    std::string version; // software version *IDN? reports
};

class Interpreter {
public:
    Interpreter(bench::Bench& bench, Identity identity);

    // Carries out one message (a line without its terminator) for a client: the commands
    // in order, a following command keeping the path of the one before. Gives one answer
    // line (without terminator) per query that succeeded. A command error (-1xx) ends the
    // message there; every error goes to the session's queue.
    std::vector<std::string> execute(Session& session, std::string_view message);

private:
    bench::Bench& bench_;
    Identity identity_;
    std::vector<Pattern> patterns_; // CommandTable()'s headers, read once
};

} // namespace tq::scpi
