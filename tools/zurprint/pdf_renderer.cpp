#include "tools/zurprint/pdf_renderer.h"

#include <cairo-ft.h>
#include <cairo-pdf.h>
#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <cstdint>

#include "platform/cp850.h"

namespace zurprint {
namespace {

// The four faces of the font, loaded once for the whole process, with the glyph of
// every code page 850 byte looked up in advance and the metrics the layout needs.
struct FontSet {
  std::string error;  // empty when every face loaded
  cairo_font_face_t* faces[4] = {nullptr, nullptr, nullptr, nullptr};
  unsigned long glyphIndex[4][256] = {};
  double advance = 0.6;  // per em
  double ascent = 0.93;
  double descent = 0.24;
  double underlinePosition = -0.18;  // centre of the rule, per em, negative below
  double underlineThickness = 0.05;
};

const cairo_user_data_key_t kFaceKey{};

void DoneFace(void* face) {
  FT_Done_Face(static_cast<FT_Face>(face));
}

FontSet LoadFonts() {
  FontSet set;
  FT_Library library = nullptr;
  if (FT_Init_FreeType(&library) != 0) {
    set.error = "cannot start the font library";
    return set;
  }
  // The library stays for the whole process: cairo may keep faces cached until exit.
  for (int k = 0; k < 4; ++k) {
    FT_Face face = nullptr;
    if (FT_New_Face(library, kFontFiles[k], 0, &face) != 0) {
      set.error = std::string("cannot load the font ") + kFontFiles[k];
      return set;
    }
    for (int b = 0; b < 256; ++b) {
      char32_t ch = platform::Cp850Glyph(static_cast<uint8_t>(b));
      set.glyphIndex[k][b] = FT_Get_Char_Index(face, static_cast<FT_ULong>(ch));
    }
    if (k == 0) {
      double em = face->units_per_EM > 0 ? face->units_per_EM : 2048;
      if (FT_Load_Glyph(face, static_cast<FT_UInt>(set.glyphIndex[0][static_cast<uint8_t>('0')]),
                        FT_LOAD_NO_SCALE) == 0 &&
          face->glyph->advance.x > 0) {
        set.advance = face->glyph->advance.x / em;
      }
      set.ascent = face->ascender / em;
      set.descent = -face->descender / em;
      set.underlinePosition = face->underline_position / em;
      set.underlineThickness = std::max(face->underline_thickness / em, 0.03);
    }
    cairo_font_face_t* cf = cairo_ft_font_face_create_for_ft_face(face, 0);
    if (cairo_font_face_set_user_data(cf, &kFaceKey, face, DoneFace) != CAIRO_STATUS_SUCCESS) {
      cairo_font_face_destroy(cf);
      FT_Done_Face(face);
      set.error = "cannot use the font " + std::string(kFontFiles[k]);
      return set;
    }
    set.faces[k] = cf;
  }
  return set;
}

const FontSet& Fonts() {
  static const FontSet set = LoadFonts();
  return set;
}

cairo_status_t WriteChunk(void* closure, const unsigned char* data, unsigned int length) {
  auto* out = static_cast<std::FILE**>(closure);
  if (*out == nullptr || std::fwrite(data, 1, length, *out) != length) {
    return CAIRO_STATUS_WRITE_ERROR;
  }
  return CAIRO_STATUS_SUCCESS;
}

int FaceOf(Cell c) {
  return ((c.style & kBold) ? 1 : 0) | ((c.style & kItalic) ? 2 : 0);
}

bool IsBlankByte(uint8_t b) {
  return b == ' ' || b == 0 || b == 255;
}

}  // namespace

PdfRenderer::~PdfRenderer() {
  // An unfinished document is dropped: nothing more may reach the caller's file.
  out_ = nullptr;
  if (cr_ != nullptr) cairo_destroy(cr_);
  if (surface_ != nullptr) cairo_surface_destroy(surface_);
  for (cairo_scaled_font_t*& f : fonts_) {
    if (f != nullptr) cairo_scaled_font_destroy(f);
    f = nullptr;
  }
}

bool PdfRenderer::Open(std::FILE* out, int columns, std::string& reason) {
  const FontSet& fonts = Fonts();
  if (!fonts.error.empty()) {
    reason = fonts.error;
    return false;
  }
  out_ = out;
  columns_ = std::clamp(columns, kMinColumns, kMaxColumns);
  cellWidth_ = (kPageWidthPoints - 2 * kSideMarginPoints) / columns_;
  surface_ =
      cairo_pdf_surface_create_for_stream(WriteChunk, &out_, kPageWidthPoints, kPageHeightPoints);
  if (cairo_surface_status(surface_) != CAIRO_STATUS_SUCCESS) {
    reason = cairo_status_to_string(cairo_surface_status(surface_));
    return false;
  }
  cairo_pdf_surface_set_metadata(surface_, CAIRO_PDF_METADATA_CREATOR, "zurprint");
  cr_ = cairo_create(surface_);
  if (cairo_status(cr_) != CAIRO_STATUS_SUCCESS) {
    reason = cairo_status_to_string(cairo_status(cr_));
    return false;
  }
  cairo_set_source_rgb(cr_, 0, 0, 0);
  return true;
}

void PdfRenderer::SetPageLines(int lines) {
  if (lines == fontLines_) return;
  const FontSet& fonts = Fonts();
  fontLines_ = lines;
  lineHeight_ = (kPageHeightPoints - 2 * kTopMarginPoints) / lines;
  double size = std::min(cellWidth_ / fonts.advance, lineHeight_ / (fonts.ascent + fonts.descent));
  baseline_ = (lineHeight_ - size * (fonts.ascent + fonts.descent)) / 2 + size * fonts.ascent;
  glyphOffset_ = (cellWidth_ - size * fonts.advance) / 2;
  underlineHeight_ = size * fonts.underlineThickness;
  underlineY_ = -size * fonts.underlinePosition - underlineHeight_ / 2;

  cairo_matrix_t fontMatrix;
  cairo_matrix_t identity;
  cairo_matrix_init_scale(&fontMatrix, size, size);
  cairo_matrix_init_identity(&identity);
  cairo_font_options_t* options = cairo_font_options_create();
  cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_NONE);
  cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
  for (int k = 0; k < 4; ++k) {
    if (fonts_[k] != nullptr) cairo_scaled_font_destroy(fonts_[k]);
    fonts_[k] = cairo_scaled_font_create(fonts.faces[k], &fontMatrix, &identity, options);
  }
  cairo_font_options_destroy(options);
}

void PdfRenderer::BeginPage(int lines) {
  SetPageLines(std::clamp(lines, 1, kMaxPageLines));
}

void PdfRenderer::DrawCells(int line, int column, const Cell* cells, size_t count) {
  const FontSet& fonts = Fonts();
  const double top = kTopMarginPoints + line * lineHeight_;
  const double y = top + baseline_;
  const double left = kSideMarginPoints + (column - 1) * cellWidth_;

  size_t i = 0;
  while (i < count) {
    const int face = FaceOf(cells[i]);
    glyphs_.clear();
    size_t j = i;
    for (; j < count && FaceOf(cells[j]) == face; ++j) {
      if (IsBlankByte(cells[j].byte)) continue;
      glyphs_.push_back(cairo_glyph_t{fonts.glyphIndex[face][cells[j].byte],
                                      left + static_cast<double>(j) * cellWidth_ + glyphOffset_,
                                      y});
    }
    if (!glyphs_.empty()) {
      cairo_set_scaled_font(cr_, fonts_[face]);
      cairo_show_glyphs(cr_, glyphs_.data(), static_cast<int>(glyphs_.size()));
    }
    i = j;
  }

  bool anyRule = false;
  for (i = 0; i < count;) {
    if ((cells[i].style & kUnderline) == 0) {
      ++i;
      continue;
    }
    size_t j = i;
    while (j < count && (cells[j].style & kUnderline) != 0) ++j;
    cairo_rectangle(cr_, left + static_cast<double>(i) * cellWidth_, y + underlineY_,
                    static_cast<double>(j - i) * cellWidth_, underlineHeight_);
    anyRule = true;
    i = j;
  }
  if (anyRule) cairo_fill(cr_);
}

void PdfRenderer::EndPage() {
  cairo_show_page(cr_);
}

bool PdfRenderer::Close(std::string& reason) {
  cairo_status_t status = CAIRO_STATUS_SUCCESS;
  if (cr_ != nullptr) {
    status = cairo_status(cr_);
    cairo_destroy(cr_);
    cr_ = nullptr;
  }
  if (surface_ != nullptr) {
    cairo_surface_finish(surface_);
    if (status == CAIRO_STATUS_SUCCESS) status = cairo_surface_status(surface_);
    cairo_surface_destroy(surface_);
    surface_ = nullptr;
  }
  for (cairo_scaled_font_t*& f : fonts_) {
    if (f != nullptr) cairo_scaled_font_destroy(f);
    f = nullptr;
  }
  fontLines_ = 0;
  if (status != CAIRO_STATUS_SUCCESS) {
    reason = cairo_status_to_string(status);
    return false;
  }
  if (out_ == nullptr || std::fflush(out_) != 0 || std::ferror(out_)) {
    reason = "the file could not be written";
    return false;
  }
  return true;
}

}  // namespace zurprint
