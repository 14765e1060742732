#pragma once
// A packed date as text: ISO form, figures in the user's order and separator, an
// abbreviated month, or words in the session language.

#include <cstdint>
#include <string>
#include <string_view>

namespace format {

// The date in one of four forms (15 March 2026, parts "dma", default settings,
// Catalan):
//   mode -1   "2026-03-15" whatever parts and settings say ("0000-00-00" when empty)
//   mode 0    "15/3/2026 " figures in DatOrdre joined by DatCaracter, fixed width
//   mode 1    "15/mar/2026" as 0 with the month's first three letters
//   mode >= 2 "15 de març del 2026" words and connectors, no fixed width
// Parts names the components shown ("D", "M", "A" in either case); their order is
// always the user's. Modes below 2 are cut or blank-padded to (mode + 2 with "M") +
// (4 with "A") + (2 with "D") + length of parts - 1 characters. The empty date gives
// "" in words and blanks of that width in figures. A month outside 1 .. 12 shows its
// number in place of a name.
std::string DateText(std::string_view packedDate, int16_t mode, std::string_view parts);

}  // namespace format
