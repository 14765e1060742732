#include "tools/zurprint/page_layout.h"

#include <algorithm>

namespace zurprint {
namespace {

std::string BeyondLastColumn(long column) {
  return "text at column " + std::to_string(column) + " lies beyond the " +
         std::to_string(kMaxColumns) + " columns a page holds";
}

}  // namespace

bool SpoolLayout::Feed(const SpoolLine& line, std::string& reason) {
  switch (line.kind) {
    case SpoolLineKind::kDevice:
      reason = "a second DEVICE line";
      return false;
    case SpoolLineKind::kPage:
      if (line.number >= 1) {
        pendingPageLines_ = static_cast<int>(std::min<long>(line.number, kMaxPageLines));
      }
      return true;
    case SpoolLineKind::kCommand:
      for (char c : line.text) {
        switch (c) {
          case 'b':
          case 'B':
            style_ ^= kBold;
            break;
          case 'u':
          case 'U':
            style_ ^= kUnderline;
            break;
          case 'i':
          case 'I':
            style_ ^= kItalic;
            break;
          case '@':
          case 'e':
          case 'E':
            style_ = 0;
            justification_ = Justification{};
            break;
          default:
            break;
        }
      }
      return true;
    case SpoolLineKind::kJustify:
      justification_ = line.justification;
      return true;
    case SpoolLineKind::kText:
      break;
  }

  if (!pageOpen_ || pendingPageLines_ > 0 || line_ >= pageLines_) {
    if (!FlushBox(reason)) return false;
    if (pageDrawn_) sink_.EndPage();
    int lines =
        pendingPageLines_ > 0 ? pendingPageLines_ : (pageOpen_ ? pageLines_ : kDefaultPageLines);
    pageOpen_ = true;
    pageDrawn_ = false;
    pageLines_ = lines;
    line_ = 0;
    pendingPageLines_ = 0;
  }

  if (line.startColumn != 0) {
    if (!FlushBox(reason)) return false;
    column_ = line.startColumn < 1 ? 1 : line.startColumn;
  }
  if (!boxOpen_) {
    boxOpen_ = true;
    boxStart_ = column_;
    boxCells_.clear();
    boxExtraBlanks_ = 0;
  }
  for (char ch : line.text) {
    Cell c{static_cast<uint8_t>(ch), style_};
    long at = boxStart_ + static_cast<long>(boxCells_.size()) + boxExtraBlanks_;
    if (at <= kMaxColumns) {
      boxCells_.push_back(c);
    } else if (IsInvisible(c)) {
      ++boxExtraBlanks_;
    } else {
      reason = BeyondLastColumn(at);
      return false;
    }
  }
  boxJustification_ = justification_;

  if (line.advance != 0) {
    if (!FlushBox(reason)) return false;
    long next = static_cast<long>(line_) + line.advance;
    line_ = static_cast<int>(std::clamp<long>(next, 0, pageLines_));
    column_ = 1;
  } else {
    column_ = std::min(boxStart_ + static_cast<long>(boxCells_.size()) + boxExtraBlanks_,
                       kMaxSpoolNumber);
  }
  return true;
}

bool SpoolLayout::Finish(std::string& reason) {
  if (!FlushBox(reason)) return false;
  if (pageDrawn_) sink_.EndPage();
  pageDrawn_ = false;
  pageOpen_ = false;
  return true;
}

bool SpoolLayout::FlushBox(std::string& reason) {
  if (!boxOpen_) return true;
  boxOpen_ = false;
  const std::vector<Cell>& cells = boxCells_;
  const size_t n = cells.size();
  size_t contentEnd = n;
  while (contentEnd > 0 && cells[contentEnd - 1].byte == ' ') --contentEnd;
  size_t leading = 0;
  while (leading < contentEnd && cells[leading].byte == ' ') ++leading;
  const long trailing = static_cast<long>(n - contentEnd) + boxExtraBlanks_;
  const char code = contentEnd == 0 ? 'E' : boxJustification_.code;

  placed_.clear();
  long placeStart = boxStart_;
  switch (code) {
    case 'D':
    case 'A': {
      long last = boxStart_ + static_cast<long>(contentEnd) - 1 + trailing;
      if (last > kMaxColumns) {
        reason = BeyondLastColumn(last);
        return false;
      }
      if (code == 'D') {
        placeStart = boxStart_ + trailing;
        placed_.assign(cells.begin(), cells.begin() + static_cast<long>(contentEnd));
        break;
      }
      long gaps = 0;
      for (size_t i = leading + 1; i < contentEnd; ++i) {
        if (cells[i].byte == ' ' && cells[i - 1].byte != ' ') ++gaps;
      }
      if (gaps == 0) {
        placed_.assign(cells.begin(), cells.end());
        break;
      }
      long gap = 0;
      for (size_t i = 0; i < contentEnd; ++i) {
        placed_.push_back(cells[i]);
        bool gapEnds =
            i >= leading && cells[i].byte == ' ' && i + 1 < contentEnd && cells[i + 1].byte != ' ';
        if (gapEnds) {
          long extra = trailing / gaps + (gap < trailing % gaps ? 1 : 0);
          placed_.insert(placed_.end(), static_cast<size_t>(extra), cells[i]);
          ++gap;
        }
      }
      break;
    }
    case 'C': {
      long front = (static_cast<long>(leading) + trailing) / 2;
      long last = boxStart_ + front + static_cast<long>(contentEnd - leading) - 1;
      if (last > kMaxColumns) {
        reason = BeyondLastColumn(last);
        return false;
      }
      placeStart = boxStart_ + front;
      placed_.assign(cells.begin() + static_cast<long>(leading),
                     cells.begin() + static_cast<long>(contentEnd));
      break;
    }
    case 'N': {
      placed_.assign(cells.begin(), cells.begin() + static_cast<long>(contentEnd));
      const std::string& fill = boxJustification_.fill;
      long fillFrom = boxStart_ + static_cast<long>(contentEnd);
      long fillTo = boxJustification_.fillColumn - 1;
      if (!fill.empty() && fillTo >= fillFrom) {
        if (fillTo > kMaxColumns) {
          reason = "fill up to column " + std::to_string(fillTo) + " lies beyond the " +
                   std::to_string(kMaxColumns) + " columns a page holds";
          return false;
        }
        uint8_t style = cells[contentEnd - 1].style;
        for (long col = fillFrom, k = 0; col <= fillTo; ++col, ++k) {
          placed_.push_back(
              Cell{static_cast<uint8_t>(fill[static_cast<size_t>(k) % fill.size()]), style});
        }
      }
      break;
    }
    default:
      placed_.assign(cells.begin(), cells.end());
      break;
  }
  Draw(placeStart, placed_);
  return true;
}

void SpoolLayout::Draw(long column, const std::vector<Cell>& cells) {
  size_t first = 0;
  while (first < cells.size() && IsInvisible(cells[first])) ++first;
  if (first == cells.size()) return;
  size_t last = cells.size() - 1;
  while (IsInvisible(cells[last])) --last;
  if (!pageDrawn_) {
    sink_.BeginPage(pageLines_);
    pageDrawn_ = true;
    ++pages_;
  }
  int at = static_cast<int>(column + static_cast<long>(first));
  sink_.DrawCells(line_, at, cells.data() + first, last - first + 1);
  widestColumn_ = std::max(widestColumn_, static_cast<int>(column + static_cast<long>(last)));
}

}  // namespace zurprint
