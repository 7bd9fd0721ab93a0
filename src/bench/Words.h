#pragma once
// Reading the words a user writes, in a command line, a script or a CSV file, the same way
// wherever they come from.

#include <optional>
#include <string_view>

namespace tq::bench {

// The two words are equal but for the case of ASCII letters.
bool SameWord(std::string_view a, std::string_view b);

// The whole word as a finite decimal number, with an optional sign ('+' too) and exponent;
// nullopt for anything else (blanks, trailing text, "inf", "nan", hexadecimal).
std::optional<double> WholeNumber(std::string_view word);

} // namespace tq::bench
