#pragma once
// Lays the lines of a print spool out on pages: where each text lands (page, line,
// column), in which style, with which alignment. The result goes to a PageSink (the PDF
// or the plain-text renderer, or a sink that only measures).
//
// Pages. "PAGE n" with n >= 1 makes the next text line begin a new page of n lines.
// "PAGE 0" (and a negative count) begins no page of its own: text flows on the current
// page, or on a page of 66 lines when none is open. A page is handed to the sink only
// once something visible is drawn on it, so no empty page is ever produced. A text line
// that comes when the page's last line has been passed begins a new page of the same
// length. Negative advances move up, never above the page's first line.
//
// Text lines. The start column is 1-based; 0 continues where the previous text ended
// (column 1 after an advance); a negative column is read as 1. After the text the
// position moves down by the advance, back to column 1; an advance of 0 keeps the next
// text on the same line.
//
// Alignment boxes. A text line with a start column begins a box; texts with start column
// 0 and advance 0 add to it; a text with a non-zero advance, the next start column or a
// new page closes it. The box spans the columns its texts occupy as written, blanks
// included. The "JUS" code in force for the box's last text decides how its characters
// are placed in the box (styles travel with their characters):
//   E  as written (left).
//   D  the trailing blanks move to the front: the text ends at the box's right edge.
//   C  leading and trailing blanks are shared out, the smaller half in front.
//   A  the trailing blanks are spread one by one over the gaps between words, left to
//      right, starting again at the first gap; a text without a gap stays as written.
//   N  the trailing blanks are dropped and the fill text is repeated from the end of the
//      text up to, not including, the fill column. A blank box gets no fill.
// The module lays its lines out to their full width before spooling them, so for its
// own output every code leaves the characters where they were written; the codes
// matter for texts that carry trailing blanks, and N draws the fill.
//
// Commands ("*" lines), one character each: "b", "u", "i" toggle bold, underline and
// italic; "@" and "e" reset the printer: plain style and alignment E. Others are ignored.
//
// Bounds. A page holds 1 .. 1000 lines (a larger count is cut to 1000) and at most 250
// columns. A character that is not a blank, an underlined blank or a fill that lands
// beyond column 250 is refused with an error; blanks beyond it are ignored.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "tools/zurprint/spool_line.h"

namespace zurprint {

inline constexpr int kDefaultPageLines = 66;
inline constexpr int kMaxPageLines = 1000;
inline constexpr int kMinColumns = 96;
inline constexpr int kMaxColumns = 250;

// Style bits of a cell.
inline constexpr uint8_t kBold = 1;
inline constexpr uint8_t kUnderline = 2;
inline constexpr uint8_t kItalic = 4;

struct Cell {
  uint8_t byte = ' ';  // code page 850
  uint8_t style = 0;   // kBold | kUnderline | kItalic
};

// True when the cell leaves no mark: a blank (or the bytes 0 and 255, drawn as blanks)
// that is not underlined.
inline bool IsInvisible(Cell c) {
  return (c.byte == ' ' || c.byte == 0 || c.byte == 255) && (c.style & kUnderline) == 0;
}

class PageSink {
 public:
  virtual ~PageSink() = default;
  // A page of `lines` lines (1 .. kMaxPageLines) begins; called before its first cells.
  virtual void BeginPage(int lines) = 0;
  // Cells drawn on a line (0-based, below the page's length) from a column (1-based)
  // on; the first and last cells are visible, the last lies at or before kMaxColumns.
  virtual void DrawCells(int line, int column, const Cell* cells, size_t count) = 0;
  // The page begun last is complete.
  virtual void EndPage() = 0;
};

class SpoolLayout {
 public:
  explicit SpoolLayout(PageSink& sink) : sink_(sink) {}
  SpoolLayout(const SpoolLayout&) = delete;
  SpoolLayout& operator=(const SpoolLayout&) = delete;

  // Lays out one spool line that follows the device line. False, with a reason, when the
  // line cannot be printed (a second device line, text beyond the last column); the
  // layout must then be abandoned.
  bool Feed(const SpoolLine& line, std::string& reason);

  // Draws what is still pending and ends the last page. False, with a reason, as Feed.
  bool Finish(std::string& reason);

  // Pages handed to the sink so far.
  long pages() const { return pages_; }
  // The last column drawn on any page; 0 when nothing was drawn.
  int widestColumn() const { return widestColumn_; }

 private:
  bool FlushBox(std::string& reason);
  void Draw(long column, const std::vector<Cell>& cells);

  PageSink& sink_;
  uint8_t style_ = 0;
  Justification justification_;

  int pendingPageLines_ = 0;  // from "PAGE n": the next text begins a page of n lines
  bool pageOpen_ = false;
  bool pageDrawn_ = false;  // handed to the sink
  int pageLines_ = 0;
  int line_ = 0;     // 0-based line of the open page
  long column_ = 1;  // where a text with start column 0 begins

  bool boxOpen_ = false;
  long boxStart_ = 1;
  std::vector<Cell> boxCells_;  // cells up to kMaxColumns
  long boxExtraBlanks_ = 0;     // blanks beyond kMaxColumns, after boxCells_
  Justification boxJustification_;

  std::vector<Cell> placed_;  // scratch: the box's cells as placed
  long pages_ = 0;
  int widestColumn_ = 0;
};

}  // namespace zurprint
