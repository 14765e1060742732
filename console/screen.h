#pragma once
// Screen output that knows the innermost pop-up window: positions relative to it,
// its frame and usable columns, scrolling, the framed message window; and the value
// stack, where callers keep texts to get them back last-in, first-out.

#include <cstdint>
#include <string>
#include <string_view>

namespace console {

// Height and width of the console (25 and 80).
int16_t ScreenRows();
int16_t ScreenColumns();

// Cursor to (top + row, left + column) of the current window while one is open, else
// to (row, column): with a window open, (1, 1) is the frame's inner corner.
void LocateInWindow(int16_t row, int16_t column);

// First inside row and column, and last inside column, of the current window; with
// no window: 1, 1 and ScreenColumns.
int16_t WindowFirstRow();
int16_t WindowFirstColumn();
int16_t WindowLastColumn();

// Frames the current window in the current colour and blanks its inside. Style 1
// single line, 2 double line, 0 (and any other) blanks. The cursor is left after the
// bottom-right corner. Nothing without a window.
void DrawWindowFrame(int16_t style);

// Scrolls the rectangle given in 0-based coordinates (console rows top + 1 ..
// bottom + 1, columns left + 1 .. right + 1) up by n lines, down when n < 0; the lines
// that come free are blank in the current colour.
void ScrollArea(int16_t top, int16_t left, int16_t bottom, int16_t right, int16_t n);

// Writes the text at the cursor in the current colour, advancing the cursor.
void Print(std::string_view text);

// Sounds the console's bell.
void Beep();

// Shows the text in a single-framed reverse-video window near `row`, laid out in
// lines of 76 characters, and leaves it open: the caller removes it with PopWindow.
// Returns without opening a window (nothing to pop) when the text is empty or has
// more lines than fit on the screen.
void ShowMessage(int16_t row, std::string_view text);

// Pushes a copy of the text; texts longer than 32767 bytes are cut to that length.
void PushValue(std::string_view value);

// Removes the last pushed text and returns it; "" when the stack is empty.
std::string PopValue();

}  // namespace console
