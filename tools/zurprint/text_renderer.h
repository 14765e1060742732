#pragma once
// The plain-text renderer: each page as its lines of characters, in UTF-8, lines ended
// by LF, pages separated by a form feed that begins each page after the first. Blanks at
// the end of a line and blank lines at the end of a page are left out. Styles and
// underlines are not shown; a character drawn over another replaces it.

#include <cstdio>
#include <string>
#include <vector>

#include "tools/zurprint/page_layout.h"

namespace zurprint {

class TextRenderer : public PageSink {
 public:
  // Writes to `out` (kept open; the caller closes it).
  explicit TextRenderer(std::FILE* out) : out_(out) {}

  void BeginPage(int lines) override;
  void DrawCells(int line, int column, const Cell* cells, size_t count) override;
  void EndPage() override;

  // Flushes what was written. True only when every byte reached `out` without error.
  bool Close();

 private:
  std::FILE* out_;
  bool failed_ = false;
  long pagesWritten_ = 0;
  std::vector<std::string> lines_;  // the page's lines as code page 850 bytes
  size_t usedLines_ = 0;            // lines_[0 .. usedLines_) may hold text
  std::string utf8_;                // reused for every line
};

}  // namespace zurprint
