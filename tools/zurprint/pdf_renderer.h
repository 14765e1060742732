#pragma once
// The PDF renderer: A4 portrait pages drawn with cairo in DejaVu Sans Mono (regular,
// bold, oblique, bold oblique), embedded in the file.
//
// Geometry. The page's lines share the height of the sheet between margins of 0.5 mm,
// so that rows of labels land on the rows of the common full-sheet A4 label stock (eight
// rows of 37 mm inside 0.5 mm margins, for pages of 8 x n lines); a letter keeps its top
// margin with the blank lines its template skips. The document's columns (the
// widest column drawn, at least 96) share the width between margins of 5 mm. The
// characters are set as large as both allow, each centred in its cell, so the columns
// stay on a fixed grid whatever the font's size. Underlined cells, blanks included, get a
// rule under the whole cell.

#include <cairo.h>

#include <cstdio>
#include <string>
#include <vector>

#include "tools/zurprint/page_layout.h"

namespace zurprint {

// A4 in PostScript points, the margins on the left and on the right (5 mm) and at the
// top and at the bottom (0.5 mm).
inline constexpr double kPageWidthPoints = 595.2756;
inline constexpr double kPageHeightPoints = 841.8898;
inline constexpr double kSideMarginPoints = 14.1732;
inline constexpr double kTopMarginPoints = 1.4173;

// The font files, one per style (index: kBold | kItalic bits).
inline constexpr const char* kFontFiles[4] = {
    "/usr/share/fonts/truetype/dejavu/DejaVuSansMono.ttf",
    "/usr/share/fonts/truetype/dejavu/DejaVuSansMono-Bold.ttf",
    "/usr/share/fonts/truetype/dejavu/DejaVuSansMono-Oblique.ttf",
    "/usr/share/fonts/truetype/dejavu/DejaVuSansMono-BoldOblique.ttf",
};

class PdfRenderer : public PageSink {
 public:
  PdfRenderer() = default;
  PdfRenderer(const PdfRenderer&) = delete;
  PdfRenderer& operator=(const PdfRenderer&) = delete;
  ~PdfRenderer() override;

  // Starts a document written to `out` (kept open; the caller closes it) with `columns`
  // columns across (clamped to kMinColumns .. kMaxColumns). False, with a reason, when
  // the fonts cannot be loaded or cairo cannot start the document.
  bool Open(std::FILE* out, int columns, std::string& reason);

  void BeginPage(int lines) override;
  void DrawCells(int line, int column, const Cell* cells, size_t count) override;
  void EndPage() override;

  // Completes the document. True only when every byte reached `out` without error.
  bool Close(std::string& reason);

 private:
  void SetPageLines(int lines);

  std::FILE* out_ = nullptr;
  cairo_surface_t* surface_ = nullptr;
  cairo_t* cr_ = nullptr;
  int columns_ = kMinColumns;
  double cellWidth_ = 0;

  int fontLines_ = 0;  // the page length the scaled fonts below were made for
  cairo_scaled_font_t* fonts_[4] = {nullptr, nullptr, nullptr, nullptr};
  double lineHeight_ = 0;
  double baseline_ = 0;     // from a line's top to the glyphs' baseline
  double glyphOffset_ = 0;  // from a cell's left edge to the glyph's origin
  double underlineY_ = 0;   // from the baseline to the rule's top
  double underlineHeight_ = 0;

  std::vector<cairo_glyph_t> glyphs_;  // reused for every run
};

}  // namespace zurprint
