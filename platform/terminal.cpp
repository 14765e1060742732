#include "platform/terminal.h"

#include <algorithm>

#include "platform/terminal_memory.h"

namespace platform {
namespace {

struct TerminalGlobals {
  std::unique_ptr<Terminal> current;
  bool insertToggle = false;
};

TerminalGlobals& Globals() {
  static TerminalGlobals globals;
  return globals;
}

int16_t Clamp(int16_t value, int16_t low, int16_t high) {
  return std::clamp(value, low, high);
}

}  // namespace

Terminal::Terminal() {
  dirty_.fill(true);
}

size_t Terminal::Index(int16_t row, int16_t column) {
  return static_cast<size_t>(row - 1) * kConsoleColumns + static_cast<size_t>(column - 1);
}

void Terminal::Put(int16_t row, int16_t column, Cell cell) {
  size_t i = Index(row, column);
  if (cells_[i] == cell) return;
  cells_[i] = cell;
  dirty_[i] = true;
  anyDirty_ = true;
}

void Terminal::MoveCursor(int16_t row, int16_t column) {
  cursorRow_ = Clamp(row, 1, kConsoleRows);
  cursorColumn_ = Clamp(column, 1, kConsoleColumns);
  cursorAtEnd_ = false;
  anyDirty_ = true;
}

void Terminal::ShowCursor(bool visible) {
  cursorVisible_ = visible;
  anyDirty_ = true;
}

void Terminal::SetCursorHeight(CursorHeight height) {
  cursorHeight_ = height;
  anyDirty_ = true;
}

void Terminal::Write(std::string_view text) {
  for (char ch : text) {
    if (cursorAtEnd_) break;
    Put(cursorRow_, cursorColumn_, Cell{static_cast<uint8_t>(ch), attribute_});
    if (cursorColumn_ < kConsoleColumns) {
      ++cursorColumn_;
    } else if (cursorRow_ < kConsoleRows) {
      ++cursorRow_;
      cursorColumn_ = 1;
    } else {
      cursorAtEnd_ = true;
    }
  }
  anyDirty_ = true;
}

void Terminal::Clear() {
  for (int16_t r = 1; r <= kConsoleRows; ++r) {
    for (int16_t c = 1; c <= kConsoleColumns; ++c) Put(r, c, Cell{' ', attribute_});
  }
  MoveCursor(1, 1);
}

Cell Terminal::ReadCell(int16_t row, int16_t column) const {
  if (row < 1 || row > kConsoleRows || column < 1 || column > kConsoleColumns) return Cell{};
  return cells_[Index(row, column)];
}

void Terminal::ScrollRect(int16_t top, int16_t left, int16_t bottom, int16_t right, int16_t lines) {
  top = std::max<int16_t>(top, 1);
  left = std::max<int16_t>(left, 1);
  bottom = std::min(bottom, kConsoleRows);
  right = std::min(right, kConsoleColumns);
  if (lines == 0 || top > bottom || left > right) return;
  const int height = bottom - top + 1;
  const int shift = std::clamp<int>(lines, -height, height);
  const Cell blank{' ', attribute_};
  if (shift > 0) {
    for (int r = top; r <= bottom; ++r) {
      int from = r + shift;
      for (int16_t c = left; c <= right; ++c) {
        Put(static_cast<int16_t>(r), c,
            from <= bottom ? cells_[Index(static_cast<int16_t>(from), c)] : blank);
      }
    }
  } else {
    for (int r = bottom; r >= top; --r) {
      int from = r + shift;
      for (int16_t c = left; c <= right; ++c) {
        Put(static_cast<int16_t>(r), c,
            from >= top ? cells_[Index(static_cast<int16_t>(from), c)] : blank);
      }
    }
  }
}

bool Terminal::CellDirty(int16_t row, int16_t column) const {
  return dirty_[Index(row, column)];
}

void Terminal::ClearDirty() {
  dirty_.fill(false);
  anyDirty_ = false;
}

void Terminal::MarkAllDirty() {
  dirty_.fill(true);
  anyDirty_ = true;
}

Terminal& CurrentTerminal() {
  TerminalGlobals& g = Globals();
  if (!g.current) g.current = std::make_unique<MemoryTerminal>();
  return *g.current;
}

void InstallTerminal(std::unique_ptr<Terminal> terminal) {
  TerminalGlobals& g = Globals();
  g.current.reset();
  g.current = terminal ? std::move(terminal) : std::make_unique<MemoryTerminal>();
}

bool InsertToggle() {
  return Globals().insertToggle;
}

void SetInsertToggle(bool on) {
  Globals().insertToggle = on;
}

}  // namespace platform
