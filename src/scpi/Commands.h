#pragma once
// The instrument's command set, in one table the interpreter reads, and the interpreter
// that carries out a message for one client on the one board.

#include "bench/Bench.h"
#include "bench/Sequence.h"
#include "scpi/Errors.h"
#include "scpi/Parser.h"

#include <array>
#include <functional>
#include <optional>
#include <span>
#include <stop_token>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tq::scpi {

struct Call; // a command being carried out (Commands.cpp)
inline constexpr int kList = -2;
using Handler = void (*)(Call&);

struct Command {
    std::string_view header; // pattern, see Pattern: "SOURce#:VOLTage[:LEVel]"
    int setParams;           // parameters of the setting form; -1: none; kList: one or more
    int queryParams;         // parameters of the query form; -1: there is none
    Handler set;
    Handler query;
    std::string_view parameters; // for people: "<volts>|MIN|MAX"
    std::string_view meaning;    // for people
    int suffixMin = 1;           // numeric suffixes the '#' accepts
    int suffixMax = 4;
    bool local = false; // never touches the board: answers even while a long operation runs
};

// A long command's work (see LongOperation): it has the bench to itself, touches nothing
// else, and checks `stop` between steps. What it returns runs back on the server's thread,
// answering or queuing errors for the client through the Call.
using LongFinish = std::function<void(Call&)>;
using LongWork = std::function<LongFinish(std::stop_token stop)>;

// A message being carried out. It stops at a long command, whose work the caller runs and
// hands back to Interpreter::resume(); at most one long command runs per message.
class Execution {
public:
    // The long command's work, taken by the caller; empty when the message ran to its end.
    LongWork takeWork() { return std::exchange(work_, {}); }
    bool waiting() const { return static_cast<bool>(work_); }
    // The long command is a setting and the last of its message: nothing of the message is
    // left to answer, so the sender's questions may be answered while the work runs.
    bool settled() const;
    // Answer lines (without terminator) not yet handed to the client.
    std::vector<std::string> answers;

private:
    friend class Interpreter;
    friend struct Call;
    std::vector<ParsedUnit> units_;
    std::size_t next_ = 0;
    std::vector<std::string> path_; // the previous command's header without its last node
    std::vector<int> suffixes_;     // of the command that ran last
    LongWork work_;
    bool hadLong_ = false;
};

// What a message asks of the server while a long operation runs.
struct MessageNeeds {
    bool board = false; // a command touches the board: it waits for its turn
    bool abort = false; // ABORt: the sender's long operation stops at once
    // *OPC, *WAI or ABORt: from the sender of the long operation, the message waits for its end
    bool waits = false;
};

// List mode, instrument-wide like the board: what INITiate plays.
struct ListSettings {
    std::array<std::vector<double>, 4> volts; // DAC A..D; an empty list is not played
    bench::PlayOptions play;
};

// Bits of the operation status register (STATus:OPERation:CONDition?), as SCPI numbers them.
enum OperationBit : int {
    kCalibrating = 1 << 0, // CALibration<n>:AUTO runs
    kSweeping = 1 << 3,    // the lists are playing
};

// Every command, in the order docs/scpi.md lists them.
std::span<const Command> CommandTable();

struct Identity {
    std::string maker = "TQ5802R evaluation software project";
    std::string version; // software version *IDN? reports
};

// A meter the server's operator lets clients calibrate against (serve --meter).
struct MeterChoice {
    std::string url;                  // as CALibration:METer must name it
    std::optional<std::string> route; // set: its routing command, which clients cannot change
};

class Interpreter {
public:
    // `meters`: what CALibration:METer may select, the first being the default; none leaves
    // CALibration#:AUTO without a meter.
    Interpreter(bench::Bench& bench, Identity identity, std::vector<MeterChoice> meters = {});

    // Carries out one message (a line without its terminator) for a client: the commands
    // in order, a following command keeping the path of the one before. Gives one answer
    // line (without terminator) per query that succeeded. A command error (-1xx) ends the
    // message there; every error goes to the session's queue.
    // Long commands run here, on the caller's thread, to their end.
    std::vector<std::string> execute(Session& session, std::string_view message);

    // The same, stopping at a long command: its work waits in the Execution.
    Execution start(Session& session, std::string_view message);
    // Runs a long command's finish and the rest of the message after it.
    void resume(Execution& execution, Session& session, const LongFinish& finish);
    MessageNeeds needs(std::string_view message) const;

private:
    struct Resolved {
        const Command* command = nullptr;
        int error = 0; // why none: -113, -114...
        std::string header;
    };
    // The command a unit names, its path completed from and kept in `path`.
    Resolved resolve(Unit& unit, std::vector<std::string>& path, std::vector<int>& suffixes) const;
    void run(Execution& execution, Session& session);

    bench::Bench& bench_;
    Identity identity_;
    std::vector<MeterChoice> meters_;
    std::vector<Pattern> patterns_; // CommandTable()'s headers, read once
    ListSettings list_;
    int operation_ = 0; // OperationBit
};

} // namespace tq::scpi
