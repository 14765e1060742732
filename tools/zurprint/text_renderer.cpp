#include "tools/zurprint/text_renderer.h"

#include <algorithm>
#include <array>

#include "platform/cp850.h"

namespace zurprint {
namespace {

// UTF-8 of what each byte shows; the bytes 0 and 255 show as blanks.
const std::array<std::string, 256>& Utf8Table() {
  static const std::array<std::string, 256> table = [] {
    std::array<std::string, 256> t;
    for (int b = 0; b < 256; ++b) {
      char32_t ch = (b == 0 || b == 255) ? U' ' : platform::Cp850Glyph(static_cast<uint8_t>(b));
      platform::AppendUtf8(t[b], ch);
    }
    return t;
  }();
  return table;
}

}  // namespace

void TextRenderer::BeginPage(int lines) {
  lines_.resize(static_cast<size_t>(std::clamp(lines, 1, kMaxPageLines)));
  for (size_t i = 0; i < usedLines_ && i < lines_.size(); ++i) lines_[i].clear();
  usedLines_ = 0;
}

void TextRenderer::DrawCells(int line, int column, const Cell* cells, size_t count) {
  if (line < 0 || static_cast<size_t>(line) >= lines_.size() || column < 1) return;
  std::string& text = lines_[static_cast<size_t>(line)];
  size_t at = static_cast<size_t>(column - 1);
  if (text.size() < at + count) text.resize(at + count, ' ');
  for (size_t i = 0; i < count; ++i) {
    if (!IsInvisible(cells[i])) text[at + i] = static_cast<char>(cells[i].byte);
  }
  usedLines_ = std::max(usedLines_, static_cast<size_t>(line) + 1);
}

void TextRenderer::EndPage() {
  const auto& table = Utf8Table();
  if (pagesWritten_ > 0 && std::fputc('\f', out_) == EOF) failed_ = true;
  size_t last = usedLines_;
  while (last > 0 && lines_[last - 1].find_first_not_of(' ') == std::string::npos) --last;
  for (size_t i = 0; i < last; ++i) {
    const std::string& text = lines_[i];
    size_t end = text.find_last_not_of(' ');
    utf8_.clear();
    if (end != std::string::npos) {
      for (size_t k = 0; k <= end; ++k) utf8_ += table[static_cast<uint8_t>(text[k])];
    }
    utf8_ += '\n';
    if (std::fwrite(utf8_.data(), 1, utf8_.size(), out_) != utf8_.size()) failed_ = true;
  }
  ++pagesWritten_;
}

bool TextRenderer::Close() {
  if (std::fflush(out_) != 0 || std::ferror(out_)) failed_ = true;
  return !failed_;
}

}  // namespace zurprint
