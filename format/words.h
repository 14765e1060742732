#pragma once
// Numbers and amounts in words, in the session language (Catalan, Spanish, Galician,
// Aranese).

#include <string>
#include <string_view>

namespace format {

// The value in words. The first character of kind, in either case, chooses:
//   "m" / "f"  a count rounded half up, masculine / feminine ("vint-i-un", "una")
//   "p"        cents written as whole pesetas (cents / 100 x 166.386), feminine
//   other      cents written as euros and cents ("mil amb cinquanta cèntims")
// The sign is ignored; no currency name is written. "" for zero, for less than half
// a unit, for NaN and infinities, and for a whole part beyond 999 999 999, which the
// words cannot hold. Cents that round up to 100 carry into the whole part.
std::string AmountInWords(double value, std::string_view kind);

}  // namespace format
