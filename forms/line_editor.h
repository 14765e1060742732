#pragma once
// The field line editor: edits a fixed-length text in place on the console, over
// one row or wrapped over several, or steps a choice field through its list (the
// choice list handed over by SetChoiceList). The text never changes length:
// inserting pushes the last character out, deleting pulls a blank in. Insert mode is
// the keyboard's Insert toggle; hidden input (SetKeyList "H") shows "X"s.

#include <cstdint>
#include <string>

namespace forms {

// Word delimiters of Ctrl+Left and Ctrl+Right.
inline constexpr const char* kWordDelimiters = " ,.;:";

// Edits text at window-relative (row, column) until a key it does not handle itself
// is pressed and accepted by the key lists, or a click falls outside the field.
// On entry: row / column 0 take the cursor's; position is brought into 1 .. length
// + 1; lineWidth 0 (or less) means one row. On return: text (same length), position
// the last cursor position, key the accepted key after translation (Tab gives Enter,
// Shift+Tab Up, Enter End when End is accepted, Ctrl+F4 and Alt+F4 Esc) or
// -(100 x column + row) for a click outside; the cursor is at (row, column).
void EditLine(int16_t& row, int16_t& column, int16_t& lineWidth, std::string& text,
              int16_t& position, int16_t& key);

// Where the cursor shows for a position of a text of `length` laid out from
// (row, column) in rows of lineWidth: the end of a text that fills its last row shows
// after that row's last character, not at the start of the next row.
void EditCursor(int16_t row, int16_t column, int16_t lineWidth, int16_t length, int16_t position,
                int16_t& cursorRow, int16_t& cursorColumn);

// Cursor position after Ctrl+Left / Ctrl+Right from position (1-based) in text.
int16_t WordLeft(const std::string& text, int16_t position);
int16_t WordRight(const std::string& text, int16_t position);

}  // namespace forms
