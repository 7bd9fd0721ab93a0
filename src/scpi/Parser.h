#pragma once
// The SCPI message syntax, apart from what any command means: splitting a message into its
// commands, reading a header against a table pattern, and reading parameters. Nothing here
// touches a board.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tq::scpi {

// One command of a message as typed: "SOUR2:VOLT 1.5" or "*IDN?".
struct Unit {
    bool common = false;   // a "*" command (never changes the path)
    bool absolute = false; // began with ':'
    bool query = false;
    std::vector<std::string> nodes;  // mnemonics in upper case, suffixes kept ("SOUR2")
    std::vector<std::string> params; // each parameter's text, blanks around it removed
};

// A unit, or the standard error number why it is not one (-102 syntax error).
struct ParsedUnit {
    Unit unit;
    int error = 0;
};

// Splits a message at the ';' outside quoted strings and reads each part. Empty parts (a
// blank message, a trailing ';') are left out.
std::vector<ParsedUnit> ParseMessage(std::string_view message);

// A header pattern of the command table: nodes separated by ':', each in its long form
// with the short form in upper case ("VOLTage"), optional nodes in brackets ("[:LEVel]"),
// '#' where a numeric suffix may follow ("SOURce#"), or one common command ("*IDN").
class Pattern {
public:
    explicit Pattern(std::string_view text);
    // Matches typed nodes; the suffixes of the '#' nodes in order (1 where none was typed)
    // land in `suffixes`. A suffix typed on a node without '#' does not match.
    bool match(const std::vector<std::string>& nodes, std::vector<int>& suffixes) const;
    bool common() const { return common_; }

private:
    struct Node {
        std::string shortForm, longForm;
        bool optional = false;
        bool suffix = false;
    };
    bool matchFrom(std::size_t pattern, const std::vector<std::string>& nodes, std::size_t typed,
                   std::vector<int>& suffixes) const;
    std::vector<Node> nodes_;
    bool common_ = false;
};

// Decimal numeric data ("-1.5", "+2E-3", ".5") or non-decimal integers ("#H1F", "#B101",
// "#Q17"). A number too small for a double reads as 0; one too large, of any length, as an
// infinity (the caller's "out of range"). nullopt for anything else, "INF" and "NAN" included.
std::optional<double> NumberFrom(std::string_view text);
// `text` equals the long or short form of a word pattern such as "MAXimum", any case.
bool IsWord(std::string_view text, std::string_view pattern);
// "hold" -> "HOLD": also how a word of the bench library becomes a SCPI word.
std::string UpperCase(std::string_view text);
// The short form of a word pattern: "TWOScomplement" -> "TWOS".
std::string ShortForm(std::string_view pattern);

} // namespace tq::scpi
