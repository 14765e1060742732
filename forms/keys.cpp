#include "forms/keys.h"

#include <cctype>

#include "console/calculator.h"
#include "console/console_state.h"
#include "console/key_wait.h"
#include "forms/calendar.h"
#include "platform/terminal.h"

namespace forms {
namespace {

// How long GetKey lets the terminal wait for input when nothing is pending: long
// enough that a loop polling it costs nothing, short enough not to be noticed.
constexpr int kPollPauseMilliseconds = 50;

// The digit a keypad key gives during Alt composition; -1 for other keys.
int KeypadDigit(int16_t code) {
  switch (code) {
    case kKeyInsert:
      return 0;
    case kKeyEnd:
      return 1;
    case kKeyDown:
      return 2;
    case kKeyPageDown:
      return 3;
    case kKeyLeft:
      return 4;
    case kKeyCentre:
      return 5;
    case kKeyRight:
      return 6;
    case kKeyHome:
      return 7;
    case kKeyUp:
      return 8;
    case kKeyPageUp:
      return 9;
    default:
      return -1;
  }
}

// The key code of an event's key text: the character, or 256 x the scan code.
int16_t EventCode(const platform::InputEvent& e) {
  if (e.kind != platform::EventKind::kKey) return 0;
  if (e.character != 0) return e.character;
  return static_cast<int16_t>(static_cast<uint16_t>(e.scanCode << 8));
}

bool IsF1ToF10(int16_t key) {
  return key >= kKeyF1 && key <= kKeyF10;
}
bool IsF11OrF12(int16_t key) {
  return key == kKeyF11 || key == kKeyF12;
}

int16_t Add(int16_t key, int offset) {
  return static_cast<int16_t>(static_cast<uint16_t>(key + offset));
}

// The 16-bit value of a hexadecimal number, read up to its first non-hex character
// (blanks around it are skipped); 0 when it has no digit.
int16_t HexValue(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  uint16_t value = 0;
  for (; i < text.size(); ++i) {
    const int ch = std::toupper(static_cast<unsigned char>(text[i]));
    int digit;
    if (ch >= '0' && ch <= '9') {
      digit = ch - '0';
    } else if (ch >= 'A' && ch <= 'F') {
      digit = ch - 'A' + 10;
    } else {
      break;
    }
    value = static_cast<uint16_t>((value << 4) | digit);
  }
  return static_cast<int16_t>(value);
}

struct KeyItem {
  int16_t code;
  int16_t target;
};

// The items of a key list; an empty list has none.
std::vector<KeyItem> ParseKeyList(std::string_view list) {
  std::vector<KeyItem> items;
  if (list.empty()) return items;
  size_t start = 0;
  for (;;) {
    const size_t comma = list.find(',', start);
    const std::string_view item = list.substr(
        start, comma == std::string_view::npos ? std::string_view::npos : comma - start);
    const size_t equals = item.find('=');
    KeyItem k{};
    k.code = HexValue(item.substr(0, equals));
    k.target = equals == std::string_view::npos ? k.code : HexValue(item.substr(equals + 1));
    items.push_back(k);
    if (comma == std::string_view::npos) break;
    start = comma + 1;
  }
  return items;
}

void EnsureConsoleKeyReader() {
  if (console::Console().keyReader.waitKey == nullptr) InstallConsoleKeyReader();
}

void ReadKey(int16_t& key, int16_t& button, int16_t& mouseRow, int16_t& mouseColumn,
             int waitMilliseconds) {
  EnsureConsoleKeyReader();
  InputState& s = Input();
  platform::Terminal& terminal = platform::CurrentTerminal();

  if (!s.typeAhead.empty()) {
    key = static_cast<uint8_t>(s.typeAhead.front());
    s.typeAhead.erase(0, 1);
    return;
  }
  if (s.mouseState == kMouseNotSetUp) {
    s.mouseState = terminal.MouseButtons() == 0 ? kMouseAbsent : kMouseOff;
  }
  if (s.mouseState == kMouseOff) {
    terminal.SetMouseReporting(true);
    s.mouseState = kMouseOn;
  }

  key = button = mouseRow = mouseColumn = 0;
  platform::InputEvent event;
  if (!terminal.PollEvent(event) && waitMilliseconds != 0 &&
      terminal.WaitForInput(waitMilliseconds)) {
    terminal.PollEvent(event);
  }

  // Alt held with keypad digits composes the character of that code (mod 256).
  bool composed = false;
  int value = 0;
  while ((event.modifiers & platform::kLeftAlt) != 0) {
    const int16_t code = EventCode(event);
    const int digit = event.kind == platform::EventKind::kKey ? KeypadDigit(code) : -1;
    if (digit >= 0) {
      composed = true;
      value = (value * 10 + digit) % 256;
    } else if (!(event.kind == platform::EventKind::kNone && code == 0)) {
      break;
    }
    terminal.PollEvent(event);
  }
  if (composed) {
    event = platform::InputEvent{};
    event.kind = platform::EventKind::kKey;
    event.character = static_cast<uint8_t>(value);
  }

  if (event.kind == platform::EventKind::kKey) {
    key = EventCode(event);
    if (key == kKeyAltE) key = 213;
    const uint16_t m = event.modifiers;
    if (m & platform::kAnyAlt) {
      if (IsF1ToF10(key))
        key = Add(key, 0x2D00);
      else if (IsF11OrF12(key))
        key = Add(key, 0x600);
    } else if (m & platform::kAnyCtrl) {
      if (IsF1ToF10(key))
        key = Add(key, 0x2300);
      else if (IsF11OrF12(key))
        key = Add(key, 0x400);
      else if (key == kKeyHome)
        key = kKeyCtrlHome;
      else if (key == kKeyRight)
        key = kKeyCtrlRight;
      else if (key == kKeyLeft)
        key = kKeyCtrlLeft;
    } else if (m & platform::kShift) {
      if (IsF1ToF10(key))
        key = Add(key, 0x1900);
      else if (IsF11OrF12(key))
        key = Add(key, 0x200);
    }
  }

  if (s.mouseState == kMouseOn && event.kind == platform::EventKind::kMouse && event.button != 0) {
    button = event.button;
    mouseRow = event.row;
    mouseColumn = event.column;
  }

  if (key == kKeyAltX && !s.calculatorBusy) {
    s.calculatorBusy = true;
    std::string result = console::ShowCalculator();
    Input().calculatorBusy = false;
    Input().typeAhead = std::move(result);
  } else if (key == kKeyAltC && !s.calendarBusy) {
    s.calendarBusy = true;
    std::string result = DatePopup();
    Input().calendarBusy = false;
    Input().typeAhead = std::move(result);
  }

  InputState& after = Input();
  if (after.mouseState == kMouseOn && (key > 0 || button > 0)) {
    terminal.SetMouseReporting(false);
    after.mouseState = kMouseOff;
  }
}

int16_t WaitKeyCode() {
  int16_t key = 0;
  WaitKey(key);
  return key;
}

}  // namespace

InputState& Input() {
  static InputState state;
  return state;
}

void ResetInput() {
  Input() = InputState{};
}

void GetKey(int16_t& key, int16_t& button, int16_t& mouseRow, int16_t& mouseColumn) {
  ReadKey(key, button, mouseRow, mouseColumn, kPollPauseMilliseconds);
}

void WaitKey(int16_t& key) {
  for (;;) {
    int16_t button = 0;
    int16_t row = 0;
    int16_t column = 0;
    key = 0;
    ReadKey(key, button, row, column, -1);
    if (key != 0) return;
    if (button != 0) {
      key = static_cast<int16_t>(static_cast<uint16_t>(column * 256 + button * 64 + row));
      return;
    }
  }
}

void FlushKeys() {
  platform::CurrentTerminal().DiscardInput();
}

void SetChoiceList(std::string_view list) {
  Input().choiceList = list;
}

void SetKeyList(std::string_view commands, std::string_view list) {
  EnsureConsoleKeyReader();
  InputState& s = Input();
  for (char command : commands) {
    switch (std::toupper(static_cast<unsigned char>(command))) {
      case 'D':
        for (const KeyItem& item : ParseKeyList(list)) {
          for (size_t i = 0; i < s.activeKeys.size(); ++i) {
            if (s.activeKeys[i] == item.code) {
              s.activeKeys.erase(s.activeKeys.begin() + static_cast<long>(i));
              if (i < s.keyTranslation.size()) {
                s.keyTranslation.erase(s.keyTranslation.begin() + static_cast<long>(i));
              }
              break;
            }
          }
        }
        break;
      case 'A':
        for (const KeyItem& item : ParseKeyList(list)) {
          s.activeKeys.push_back(item.code);
          s.keyTranslation.push_back(item.target);
        }
        break;
      case 'E':
        s.activeKeys.clear();
        s.keyTranslation.clear();
        break;
      case '+':
        s.savedLists.push_back(KeyLists{s.activeKeys, s.keyTranslation});
        break;
      case '-':
        if (!s.savedLists.empty()) {
          s.activeKeys = std::move(s.savedLists.back().activeKeys);
          s.keyTranslation = std::move(s.savedLists.back().keyTranslation);
          s.savedLists.pop_back();
        }
        break;
      case 'H':
        s.maskChar = 'X';
        break;
      case 'V':
        s.maskChar = 0;
        break;
      default:
        break;
    }
  }
}

void InstallConsoleKeyReader() {
  console::KeyReader reader;
  reader.waitKey = WaitKeyCode;
  reader.flushKeys = FlushKeys;
  reader.setKeyList = SetKeyList;
  console::InstallKeyReader(reader);
}

}  // namespace forms
