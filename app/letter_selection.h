#pragma once
// The selection of a batch, stored from the fields of the selection screen, and the
// address block of the owner being handled.

#include <array>
#include <string>

namespace app {

inline constexpr int kSelectionFields = 15;

// The values of fields 1 .. 15 of the selection screen (index 0 is field 1):
//   1 date   2 template   3, 4 first property and owner   5, 6 last property and owner
//   7 receipt state   8, 9 fewest and most receipts   10, 11 lowest and highest total
//   12 output kind   13 label width   14 label lines   15 labels per page
using SelectionFieldValues = std::array<std::string, kSelectionFields>;

// Fills Letters().selection from the field values. Numbers are the text's leading
// number (none: 0); counts are rounded half to even and clamped to 16 bits. A blank
// property or owner field reads as 0 in the first code and as 9999 in the last.
void StoreLetterSelection(const SelectionFieldValues& fields);

// Fills Letters().addressBlock from the property and owner record buffers. The owner's
// own address replaces the property's street line when its mailLine1 is not blank,
// and lines 3 and 4 too when mailLine2 is not blank either.
void BuildAddressBlock();

}  // namespace app
