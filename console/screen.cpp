#include "console/screen.h"

#include <algorithm>

#include "console/colour.h"
#include "console/console_state.h"
#include "console/window_stack.h"
#include "format/text.h"
#include "platform/terminal.h"

namespace console {
namespace {

// Longest value the stack's two-byte length can describe.
constexpr size_t kMaxValueLength = 32767;

struct FrameSet {
  char topLeft, topRight, bottomLeft, bottomRight, horizontal, vertical;
};

constexpr FrameSet kBlankFrame{' ', ' ', ' ', ' ', ' ', ' '};
constexpr FrameSet kSingleFrame{'\xDA', '\xBF', '\xC0', '\xD9', '\xC4', '\xB3'};
constexpr FrameSet kDoubleFrame{'\xC9', '\xBB', '\xC8', '\xBC', '\xCD', '\xBA'};

// Width of the message window's text lines.
constexpr int16_t kMessageWidth = 76;

}  // namespace

int16_t ScreenRows() {
  return platform::CurrentTerminal().Rows();
}

int16_t ScreenColumns() {
  return platform::CurrentTerminal().Columns();
}

void LocateInWindow(int16_t row, int16_t column) {
  const WindowState& w = Console().window;
  if (w.windowDepth != 0) {
    row = static_cast<int16_t>(row + w.currentWindow[0]);
    column = static_cast<int16_t>(column + w.currentWindow[1]);
  }
  platform::CurrentTerminal().MoveCursor(row, column);
}

int16_t WindowFirstRow() {
  const WindowState& w = Console().window;
  return w.windowDepth != 0 ? static_cast<int16_t>(w.currentWindow[0] + 1) : 1;
}

int16_t WindowFirstColumn() {
  const WindowState& w = Console().window;
  return w.windowDepth != 0 ? static_cast<int16_t>(w.currentWindow[1] + 1) : 1;
}

int16_t WindowLastColumn() {
  const WindowState& w = Console().window;
  return w.windowDepth != 0 ? static_cast<int16_t>(w.currentWindow[3] - 1) : ScreenColumns();
}

void DrawWindowFrame(int16_t style) {
  const WindowState& w = Console().window;
  if (w.windowDepth == 0) return;
  const FrameSet& set = style == 1 ? kSingleFrame : style == 2 ? kDoubleFrame : kBlankFrame;
  const int16_t top = w.currentWindow[0];
  const int16_t left = w.currentWindow[1];
  const int16_t bottom = w.currentWindow[2];
  const int16_t right = w.currentWindow[3];
  const size_t inside = static_cast<size_t>(std::max(0, right - left - 1));
  platform::Terminal& terminal = platform::CurrentTerminal();

  terminal.MoveCursor(top, left);
  terminal.Write(std::string(1, set.topLeft) + std::string(inside, set.horizontal) + set.topRight);
  const std::string middle = std::string(1, set.vertical) + std::string(inside, ' ') + set.vertical;
  for (int r = top + 1; r <= bottom - 1; ++r) {
    terminal.MoveCursor(static_cast<int16_t>(r), left);
    terminal.Write(middle);
  }
  terminal.MoveCursor(bottom, left);
  terminal.Write(std::string(1, set.bottomLeft) + std::string(inside, set.horizontal) +
                 set.bottomRight);
}

void ScrollArea(int16_t top, int16_t left, int16_t bottom, int16_t right, int16_t n) {
  platform::CurrentTerminal().ScrollRect(
      static_cast<int16_t>(top + 1), static_cast<int16_t>(left + 1),
      static_cast<int16_t>(bottom + 1), static_cast<int16_t>(right + 1), n);
}

void Print(std::string_view text) {
  platform::CurrentTerminal().Write(text);
}

void Beep() {
  platform::CurrentTerminal().Beep();
}

void ShowMessage(int16_t row, std::string_view text) {
  SetColour("+rh");
  std::string laid(text);
  if (!laid.empty()) format::LayoutText(laid, 0, kMessageWidth, "i");
  const size_t lineCount = laid.size() / kMessageWidth;
  if (lineCount == 0) {
    SetColour("-");
    return;
  }
  const int n = static_cast<int>(std::min<size_t>(lineCount, 1000));
  int top = std::max(1, row - (n + 1) / 2 - 2);
  int bottom = top + n + 1;
  if (bottom > ScreenRows()) {
    bottom = ScreenRows();
    top = bottom - n - 1;
  }
  if (top < 1) {
    SetColour("-");
    return;
  }
  auto lineAt = [&](int k) {
    std::string_view line =
        std::string_view(laid).substr(static_cast<size_t>(k) * kMessageWidth, kMessageWidth);
    const size_t end = line.find_last_not_of(' ');
    return end == std::string_view::npos ? std::string_view() : line.substr(0, end + 1);
  };
  int longest = 0;
  for (int k = 0; k < n; ++k) longest = std::max(longest, static_cast<int>(lineAt(k).size()));
  const int left = 39 - (longest + 1) / 2;
  const int right = 42 + longest / 2;
  PushWindow(static_cast<int16_t>(top), static_cast<int16_t>(left), static_cast<int16_t>(bottom),
             static_cast<int16_t>(right));
  DrawWindowFrame(1);
  for (int k = 0; k < n; ++k) {
    LocateInWindow(static_cast<int16_t>(k + 1), 2);
    Print(lineAt(k));
  }
  SetColour("-");
}

void PushValue(std::string_view value) {
  std::string& stack = Console().valueStack;
  value = value.substr(0, std::min(value.size(), kMaxValueLength));
  const auto length = static_cast<uint16_t>(value.size());
  stack.append(value);
  stack.push_back(static_cast<char>(length & 0xFF));
  stack.push_back(static_cast<char>(length >> 8));
}

std::string PopValue() {
  std::string& stack = Console().valueStack;
  if (stack.size() < 2) {
    stack.clear();
    return std::string();
  }
  const size_t end = stack.size() - 2;
  const auto length = static_cast<int16_t>(static_cast<uint8_t>(stack[end]) |
                                           (static_cast<uint8_t>(stack[end + 1]) << 8));
  if (length < 0 || static_cast<size_t>(length) > end) {
    // Only a bug could leave a length that does not fit; start afresh.
    stack.clear();
    return std::string();
  }
  std::string value = stack.substr(end - static_cast<size_t>(length), static_cast<size_t>(length));
  stack.resize(end - static_cast<size_t>(length));
  return value;
}

}  // namespace console
