#include "forms/line_editor.h"

#include <algorithm>
#include <cstring>
#include <string_view>
#include <vector>

#include "console/colour.h"
#include "console/screen.h"
#include "format/text.h"
#include "forms/choices.h"
#include "forms/keys.h"
#include "platform/clipboard.h"
#include "platform/terminal.h"

namespace forms {
namespace {

// Longest text the editor works on; positions stay within 16 bits.
constexpr size_t kMaxEditLength = 32000;

constexpr int16_t kCtrlC = 3;
constexpr int16_t kTab = 9;
constexpr int16_t kCtrlV = 22;
constexpr int16_t kCtrlY = 25;
constexpr int16_t kCtrlF4 = 0x6100;
constexpr int16_t kAltF4 = 0x6B00;

bool IsDelimiter(char c) {
  return std::strchr(kWordDelimiters, c) != nullptr && c != '\0';
}

bool Accepted(int16_t key) {
  const std::vector<int16_t>& keys = Input().activeKeys;
  return std::find(keys.begin(), keys.end(), key) != keys.end();
}

struct Editor {
  Editor(int16_t r, int16_t c, std::string& t) : row(r), column(c), text(t) {}

  int16_t row = 1;
  int16_t column = 1;
  int16_t lineWidth = 1;
  std::string& text;
  int16_t length = 0;  // L
  int16_t position = 1;
  std::vector<ChoiceItem> items;
  size_t current = 0;  // current item of a choice field
  int16_t widest = 0;
  std::string choiceList;  // owns the texts items point into

  bool Choice() const { return !items.empty(); }

  int16_t Rows() const {
    return static_cast<int16_t>(std::max(1, (length + lineWidth - 1) / lineWidth));
  }

  void Draw() {
    if (Choice()) {
      const ChoiceItem& item = items[current];
      std::string code(item.code.substr(0, static_cast<size_t>(length)));
      code.resize(static_cast<size_t>(length), ' ');
      text.replace(0, static_cast<size_t>(length), code);
      std::string description(item.description.substr(0, static_cast<size_t>(widest)));
      description.resize(static_cast<size_t>(widest), ' ');
      console::LocateInWindow(row, column);
      console::Print(description);
      return;
    }
    const int16_t mask = Input().maskChar;
    for (int16_t r = 0; r < Rows(); ++r) {
      const size_t at = static_cast<size_t>(r) * static_cast<size_t>(lineWidth);
      if (at >= static_cast<size_t>(length) && r > 0) break;
      std::string slice = text.substr(
          at, std::min<size_t>(static_cast<size_t>(lineWidth),
                               static_cast<size_t>(length) - std::min<size_t>(at, length)));
      if (mask != 0) slice.assign(slice.size(), static_cast<char>(mask));
      console::LocateInWindow(static_cast<int16_t>(row + r), column);
      console::Print(slice);
    }
  }

  void PlaceCursor() {
    int16_t r = 0;
    int16_t c = 0;
    EditCursor(row, column, lineWidth, length, position, r, c);
    console::LocateInWindow(r, c);
  }

  void ShowCursor(bool insert) {
    platform::Terminal& t = platform::CurrentTerminal();
    if (Choice()) {
      t.ShowCursor(false);
      return;
    }
    PlaceCursor();
    t.SetCursorHeight(insert ? platform::CursorHeight::kHalf : platform::CursorHeight::kFull);
    t.ShowCursor(true);
  }

  // Removes the character at position (1-based); a blank enters at the end.
  void DeleteAt(int16_t at) {
    if (at < 1 || at > length) return;
    text.erase(static_cast<size_t>(at - 1), 1);
    text.insert(static_cast<size_t>(length - 1), 1, ' ');
  }

  int16_t TrimmedLength() const {
    int16_t n = length;
    while (n > 0 && text[static_cast<size_t>(n - 1)] == ' ') --n;
    return n;
  }

  // A click on the field; true when it leaves.
  bool Click(int16_t& key) {
    const int16_t clickRow = static_cast<int16_t>((-key) % 100);
    const int16_t clickColumn = static_cast<int16_t>((-key) / 100);
    const int16_t firstRow = static_cast<int16_t>(console::WindowFirstRow() + row - 1);
    const int16_t firstColumn = static_cast<int16_t>(console::WindowFirstColumn() + column - 1);
    if (Choice()) {
      const int16_t left = static_cast<int16_t>(firstColumn - 1);
      const int16_t right = static_cast<int16_t>(firstColumn + widest);
      if (clickRow != firstRow || clickColumn < left || clickColumn > right) return true;
      key = clickColumn == left ? kKeyLeft : clickColumn == right ? kKeyRight : 0;
      return false;
    }
    // Every row the field covers counts, its last one too when it is not full.
    if (clickRow < firstRow || clickRow >= firstRow + Rows() || clickColumn < firstColumn ||
        clickColumn >= firstColumn + lineWidth) {
      return true;
    }
    const int p = (clickRow - firstRow) * lineWidth + (clickColumn - firstColumn) + 1;
    position = static_cast<int16_t>(std::min<int>(p, length + 1));
    key = 0;
    return false;
  }

  void Search(uint8_t typed) {
    format::FoldAccents() = true;
    const std::string wanted = format::FoldText(std::string(1, static_cast<char>(typed)));
    const size_t n = items.size();
    for (size_t step = 1; step <= n; ++step) {
      const size_t i = (current + step) % n;
      if (items[i].description.empty()) continue;
      if (format::FoldText(items[i].description.substr(0, 1)) == wanted) {
        current = i;
        break;
      }
    }
    format::FoldAccents() = false;
  }

  void Paste() {
    std::string clip;
    for (char c : platform::ClipboardText()) {
      const uint8_t b = static_cast<uint8_t>(c);
      if (b < 32 || b == 127 || b == 255) continue;
      clip.push_back(c);
    }
    const size_t first = clip.find_first_not_of(' ');
    if (first == std::string::npos) return;
    clip = clip.substr(first, clip.find_last_not_of(' ') - first + 1);
    if (position > length) return;
    const size_t at = static_cast<size_t>(position - 1);
    const size_t n = std::min(clip.size(), static_cast<size_t>(length) - at);
    text.replace(at, n, clip.substr(0, n));
  }
};

}  // namespace

void EditCursor(int16_t row, int16_t column, int16_t lineWidth, int16_t length, int16_t position,
                int16_t& cursorRow, int16_t& cursorColumn) {
  if (lineWidth < 1) lineWidth = static_cast<int16_t>(length + 1);
  cursorRow = static_cast<int16_t>(row + (position - 1) / lineWidth);
  cursorColumn = static_cast<int16_t>(column + (position - 1) % lineWidth);
  if (position == length + 1 && cursorColumn == column && position > 1) {
    cursorRow = static_cast<int16_t>(cursorRow - 1);
    cursorColumn = static_cast<int16_t>(column + lineWidth);
  }
}

int16_t WordLeft(const std::string& text, int16_t position) {
  if (position < 2) return 1;
  const auto at = [&](int16_t i) { return text[static_cast<size_t>(i - 1)]; };
  bool inside = !IsDelimiter(at(static_cast<int16_t>(position - 1)));
  int16_t l = static_cast<int16_t>(position - 1);
  for (; l >= 1; --l) {
    const bool word = !IsDelimiter(at(l));
    if (word != inside) {
      inside = !inside;
      if (!inside) {
        position = static_cast<int16_t>(l + 1);
        break;
      }
    }
  }
  if (l <= 1) position = 1;
  return position;
}

int16_t WordRight(const std::string& text, int16_t position) {
  const int16_t length = static_cast<int16_t>(std::min(text.size(), kMaxEditLength));
  if (position > length) return static_cast<int16_t>(length + 1);
  const auto at = [&](int16_t i) { return text[static_cast<size_t>(i - 1)]; };
  bool onDelimiter = IsDelimiter(at(position));
  for (int16_t l = static_cast<int16_t>(position + 1); l <= length; ++l) {
    if (IsDelimiter(at(l)) != onDelimiter) {
      onDelimiter = !onDelimiter;
      if (!onDelimiter) return l;
    }
  }
  return static_cast<int16_t>(length + 1);
}

void EditLine(int16_t& row, int16_t& column, int16_t& lineWidth, std::string& text,
              int16_t& position, int16_t& key) {
  platform::Terminal& terminal = platform::CurrentTerminal();
  if (row == 0) {
    row = static_cast<int16_t>(terminal.CursorRow() - console::WindowFirstRow() + 1);
  }
  if (column == 0) {
    column = static_cast<int16_t>(terminal.CursorColumn() - console::WindowFirstColumn() + 1);
  }
  Editor e(row, column, text);
  e.length = static_cast<int16_t>(std::min(text.size(), kMaxEditLength));
  if (lineWidth <= 0) lineWidth = static_cast<int16_t>(e.length + 1);
  e.lineWidth = lineWidth;
  e.position = std::clamp<int16_t>(position, 1, static_cast<int16_t>(e.length + 1));
  e.choiceList = Input().choiceList;
  e.items = ParseChoices(e.choiceList);
  if (e.Choice()) {
    e.widest = static_cast<int16_t>(std::min<size_t>(WidestDescription(e.items), 255));
    const std::string_view current = std::string_view(text).substr(0, e.length);
    for (size_t i = 0; i < e.items.size(); ++i) {
      if (e.items[i].code == current) {
        e.current = i;
        break;
      }
    }
    console::LocateInWindow(row, static_cast<int16_t>(column - 1));
    console::Print("\x11");  // ◄
    console::LocateInWindow(row, static_cast<int16_t>(column + e.widest));
    console::Print("\x10");  // ►
  }
  console::SetColour("u");

  bool redraw = true;
  for (;;) {
    if (redraw) e.Draw();
    redraw = false;
    bool insert = platform::InsertToggle();
    e.ShowCursor(insert);
    int16_t k = 0;
    for (;;) {
      int16_t button = 0;
      int16_t mouseRow = 0;
      int16_t mouseColumn = 0;
      GetKey(k, button, mouseRow, mouseColumn);
      if (k == kKeyInsert) {
        insert = !insert;
        platform::SetInsertToggle(insert);
        e.ShowCursor(insert);
        continue;
      }
      if (k == 0 && button != 0) {
        k = static_cast<int16_t>(-(100 * mouseColumn + mouseRow));
      }
      if (k != 0) break;
    }
    terminal.ShowCursor(false);

    bool leave = false;
    if (k < 0) leave = e.Click(k);
    if (!leave) {
      const bool printable = (k >= 32 && k <= 126) || (k >= 128 && k <= 254);
      if (e.Choice()) {
        const size_t n = e.items.size();
        if (printable && k != ' ') {
          e.Search(static_cast<uint8_t>(k));
          redraw = true;
        } else if (k == kKeyLeft) {
          e.current = e.current == 0 ? n - 1 : e.current - 1;
          redraw = true;
        } else if (k == kKeyRight || k == ' ') {
          e.current = (e.current + 1) % n;
          redraw = true;
        } else if (k == kKeyHome) {
          e.position = 1;
        } else if (k == kKeyEnd) {
          e.position = static_cast<int16_t>(e.TrimmedLength() + 1);
        } else if (k == kCtrlC) {
          platform::SetClipboardText(e.items[e.current].description);
        } else if (k == kKeyBackspace || k == kKeyDelete || k == kKeyCtrlHome || k == kCtrlY ||
                   k == kCtrlV) {
          // ignored in a choice field
        } else {
          leave = true;
        }
      } else if (printable) {
        const size_t at = static_cast<size_t>(e.position - 1);
        if (insert) {
          if (e.length > 0 && text[static_cast<size_t>(e.length - 1)] == ' ' &&
              e.position <= e.length) {
            text.erase(static_cast<size_t>(e.length - 1), 1);
            text.insert(at, 1, static_cast<char>(k));
            ++e.position;
            redraw = true;
          }
        } else if (e.position <= e.length) {
          text[at] = static_cast<char>(k);
          ++e.position;
          redraw = true;
        }
      } else {
        switch (k) {
          case kKeyLeft:
            if (e.position > 1) --e.position;
            break;
          case kKeyRight:
            if (e.position <= e.length) ++e.position;
            break;
          case kKeyBackspace:
            if (e.position > 1) {
              --e.position;
              e.DeleteAt(e.position);
              redraw = true;
            }
            break;
          case kKeyDelete:
            if (e.position <= e.length) {
              e.DeleteAt(e.position);
              redraw = true;
            }
            break;
          case kKeyHome:
            e.position = 1;
            break;
          case kKeyEnd:
            e.position = static_cast<int16_t>(e.TrimmedLength() + 1);
            break;
          case kKeyCtrlHome:
          case kCtrlY:
            text.replace(0, static_cast<size_t>(e.length), static_cast<size_t>(e.length), ' ');
            e.position = 1;
            redraw = true;
            break;
          case kKeyUp:
          case kKeyShiftTab:
            if (e.position > e.lineWidth) {
              e.position = static_cast<int16_t>(e.position - e.lineWidth);
            } else {
              leave = true;
            }
            break;
          case kKeyDown:
            if (e.position <= e.length + 1 - e.lineWidth) {
              e.position = static_cast<int16_t>(e.position + e.lineWidth);
            } else {
              leave = true;
            }
            break;
          case kKeyCtrlLeft:
            if (e.position > 1) {
              e.position = WordLeft(text.substr(0, static_cast<size_t>(e.length)), e.position);
            } else {
              leave = true;
            }
            break;
          case kKeyCtrlRight:
            if (e.position <= e.length) {
              e.position = WordRight(text.substr(0, static_cast<size_t>(e.length)), e.position);
            } else {
              leave = true;
            }
            break;
          case kCtrlC: {
            const std::string_view t = std::string_view(text).substr(0, e.length);
            const size_t first = t.find_first_not_of(' ');
            platform::SetClipboardText(first == std::string_view::npos
                                           ? std::string_view()
                                           : t.substr(first, t.find_last_not_of(' ') - first + 1));
            break;
          }
          case kCtrlV:
            e.Paste();
            redraw = true;
            break;
          default:
            leave = true;
            break;
        }
      }
    }
    if (!leave) continue;

    // Return steps: the editor's own translations, then the key lists.
    if (k == kKeyShiftTab) {
      k = kKeyUp;
    } else if (k == kTab) {
      k = kKeyEnter;
    } else if (k == kKeyEnter && Accepted(kKeyEnd)) {
      k = kKeyEnd;
    } else if (k == kCtrlF4 || k == kAltF4) {
      k = kKeyEsc;
    }
    const InputState& in = Input();
    if (!in.activeKeys.empty()) {
      const auto found = std::find(in.activeKeys.begin(), in.activeKeys.end(), k);
      if (found != in.activeKeys.end()) {
        k = in.keyTranslation[static_cast<size_t>(found - in.activeKeys.begin())];
      } else if (k >= 0) {
        redraw = true;  // not accepted here: dropped
        continue;
      }
    }
    key = k;
    break;
  }

  console::SetColour("h");
  if (e.Choice()) {
    console::LocateInWindow(row, static_cast<int16_t>(column - 1));
    console::Print(" ");
    console::LocateInWindow(row, static_cast<int16_t>(column + e.widest));
    console::Print(" ");
  }
  position = e.position;
  console::LocateInWindow(row, column);
}

}  // namespace forms
