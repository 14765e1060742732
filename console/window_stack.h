#pragma once
// The saved-screen stack: every pop-up is opened with PushWindow, which saves the
// cells it will cover, and closed with PopWindow, which puts them back. Saved cells
// go to workDir + "WinPush.tmp", a file shared with the suite's other programs of
// the terminal: a push appends after the last record the header names, so records
// another program left stay below this program's own.
//
// File layout. Offsets are 0-based; a "position" is 1-based (position 1 = offset 0).
//
//   offset  size  meaning
//   0       4     E: signed 32-bit little-endian position of the first byte after
//                 the last record (where the next one goes); 5 for an empty stack
//   4       ...   records, oldest first; bytes from position E on mean nothing
//
// Record (numbers are decimal digits, zero-padded to the field's width):
//
//   offset      size   meaning
//   0           2      cursor row at the push
//   2           2      cursor column at the push
//   4           2 x 4  window current before the push: top, left, bottom, right
//                      ("00" each when none was open)
//   12          2 x 4  saved rectangle: top, left, bottom, right
//   20          2 x C  the C cells of the rectangle, row by row, left to right:
//                      character byte, then attribute byte (foreground + 16 x
//                      background); C = 0 when bottom < top or right < left
//   20 + 2C     5      the record's length, 20 + 2C + 5
//
// A record of a full 80 x 25 screen is 4025 bytes; records stay under 100000.

#include <cstddef>
#include <cstdint>
#include <string>

namespace console {

inline constexpr const char* kWindowFileName = "WinPush.tmp";
inline constexpr long long kWindowHeaderSize = 4;
inline constexpr long long kEmptyStackEnd = 5;  // E of an empty stack
inline constexpr size_t kRecordHeadSize = 20;
inline constexpr size_t kRecordLengthSize = 5;
inline constexpr size_t kRecordFixedSize = kRecordHeadSize + kRecordLengthSize;
inline constexpr size_t kMaxRecordSize = 99999;
static_assert(kRecordFixedSize + 2 * 80 * 25 == 4025);
static_assert(kRecordFixedSize + 2 * 19 * 80 == 3065);

// workDir + "WinPush.tmp".
std::string WindowFilePath();

// Saves the rectangle (absolute, 1-based, frame included), then makes it the
// current window and counts it in windowDepth. Draws nothing. Does nothing unless
// every coordinate lies on the console. A file that cannot be written does not stop
// the window from opening: this process keeps its own copy of each saved rectangle.
void PushWindow(int16_t top, int16_t left, int16_t bottom, int16_t right);

// Restores the last saved rectangle (each cell with its colour; the output colour is
// left at the last cell's), the window current before it and the cursor; the file
// is deleted when its last record goes. With no window of this process open it only
// deletes an empty file, and leaves other programs' records alone. A damaged record
// is not trusted: the process's own copy is restored and the file rewritten from the
// copies still open.
void PopWindow();

}  // namespace console
