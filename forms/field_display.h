#pragma once
// Field display and field checks: each field kind's look and rule.
//   kind 1  date: shown in figures in the user's order; blank takes the working date
//   kind 2  number "ZZ9", digits and blanks only
//   kind 3  number "Z9", digits and blanks only
//   kind 4  whole number 1 .. 2000000000, "Z,ZZZ,ZZZ,ZZ9"
//   kind 5  code of the texts file, stored in capitals, its description shown on
//           the row below
//   kind 7  whole number 1 .. 99, "Z9"
//   others  text; a choice field shows the description of its code, a multi-row
//           field its value in slices of lineWidth, one per row

#include <cstdint>
#include <string_view>

namespace forms {

// Draws the screen: the session's menu title centred on console row 1 (also for a
// screen with a window), the labels in "n" and the values in "h". Nothing for a
// screen that does not exist.
void ShowScreen(int16_t screen);

// Draws the stored value of the field after its label in the current colour; a
// hidden field shows nothing. Nothing for a field that does not exist.
void ShowFieldValue(int16_t screen, int16_t field);

// Checks the edited text by the field's kind and, when accepted, stores it
// (left-aligned, cut or padded to the width) and redraws the field. Returns 0 when
// stored, -1 when refused (nothing stored or drawn) or when the field does not
// exist. key plays no part.
int16_t CheckField(int16_t screen, std::string_view text, int16_t field, int16_t key);

}  // namespace forms
