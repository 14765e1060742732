#include "platform/terminal_memory.h"

namespace platform {
namespace {

// Scan codes of the keypad keys for the digits 0 .. 9 with Num Lock off.
constexpr uint8_t kKeypadDigits[10] = {scan::kInsert, scan::kEnd,    scan::kDown,  scan::kPageDown,
                                       scan::kLeft,   scan::kCentre, scan::kRight, scan::kHome,
                                       scan::kUp,     scan::kPageUp};

// Waits that may find nothing before a finite wait counts as starving: a polling loop
// with no script left would otherwise spin for ever.
constexpr long kEmptyWaitsBeforeStarving = 100000;

}  // namespace

void MemoryTerminal::PushCharacter(uint8_t character, uint16_t modifiers) {
  InputEvent e;
  e.kind = EventKind::kKey;
  e.character = character;
  e.modifiers = modifiers;
  script_.push_back({e, false});
}

void MemoryTerminal::PushText(std::string_view cp850) {
  for (char ch : cp850) PushCharacter(static_cast<uint8_t>(ch));
}

void MemoryTerminal::PushScan(uint8_t scanCode, uint16_t modifiers) {
  InputEvent e;
  e.kind = EventKind::kKey;
  e.scanCode = scanCode;
  e.modifiers = modifiers;
  script_.push_back({e, false});
}

void MemoryTerminal::PushAltKeypad(std::string_view digits) {
  for (char d : digits) {
    if (d >= '0' && d <= '9') PushScan(kKeypadDigits[d - '0'], kLeftAlt);
  }
}

void MemoryTerminal::PushMouseRelease(int16_t row, int16_t column, uint8_t button) {
  InputEvent e;
  e.kind = EventKind::kMouse;
  e.row = row;
  e.column = column;
  e.button = button;
  script_.push_back({e, false});
}

void MemoryTerminal::PushIdle(uint16_t modifiers) {
  InputEvent e;
  e.modifiers = modifiers;
  script_.push_back({e, false});
}

void MemoryTerminal::PushTypedLater() {
  script_.push_back({InputEvent{}, true});
}

bool MemoryTerminal::PollEvent(InputEvent& event) {
  event = InputEvent{};
  while (!script_.empty() && script_.front().typedLaterMark) script_.pop_front();
  if (script_.empty()) return false;
  event = script_.front().event;
  script_.pop_front();
  emptyWaits_ = 0;
  // A mouse event reaches the program only while reporting is on, as on a terminal.
  if (event.kind == EventKind::kMouse && !mouseReporting_) {
    event = InputEvent{};
    return false;
  }
  if (recording_ && event.kind != EventKind::kNone) {
    std::vector<Cell> cells;
    cells.reserve(static_cast<size_t>(kConsoleRows) * kConsoleColumns);
    for (int16_t r = 1; r <= kConsoleRows; ++r) {
      for (int16_t c = 1; c <= kConsoleColumns; ++c) cells.push_back(ReadCell(r, c));
    }
    screens_.push_back(std::move(cells));
  }
  return event.kind != EventKind::kNone;
}

bool MemoryTerminal::WaitForInput(int timeoutMilliseconds) {
  while (!script_.empty() && script_.front().typedLaterMark) script_.pop_front();
  if (!script_.empty()) return true;
  if (timeoutMilliseconds >= 0 && ++emptyWaits_ < kEmptyWaitsBeforeStarving) return false;
  starved_ = true;
  emptyWaits_ = 0;
  PushCharacter(27);
  return true;
}

void MemoryTerminal::SetMouseReporting(bool on) {
  if (on != mouseReporting_) ++mouseSwitches_;
  mouseReporting_ = on;
}

void MemoryTerminal::DiscardInput() {
  ++discards_;
  while (!script_.empty()) {
    bool mark = script_.front().typedLaterMark;
    script_.pop_front();
    if (mark) break;
  }
}

std::string MemoryTerminal::Text(int16_t row, int16_t first, int16_t last) const {
  std::string text;
  for (int16_t c = first; c <= last; ++c)
    text.push_back(static_cast<char>(ReadCell(row, c).character));
  return text;
}

std::string MemoryTerminal::Line(int16_t row) const {
  return Text(row, 1, kConsoleColumns);
}

std::vector<std::string> MemoryTerminal::Lines() const {
  std::vector<std::string> lines;
  for (int16_t r = 1; r <= kConsoleRows; ++r) lines.push_back(Line(r));
  return lines;
}

}  // namespace platform

namespace platform {

Cell MemoryTerminal::ScreenCell(size_t index, int16_t row, int16_t column) const {
  if (index >= screens_.size() || row < 1 || row > kConsoleRows || column < 1 ||
      column > kConsoleColumns) {
    return Cell{};
  }
  return screens_[index]
                 [static_cast<size_t>(row - 1) * kConsoleColumns + static_cast<size_t>(column - 1)];
}

std::string MemoryTerminal::ScreenLine(size_t index, int16_t row) const {
  std::string line;
  for (int16_t c = 1; c <= kConsoleColumns; ++c) {
    line.push_back(static_cast<char>(ScreenCell(index, row, c).character));
  }
  return line;
}

}  // namespace platform
