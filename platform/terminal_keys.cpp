#include "platform/terminal_keys.h"

#include <cstdint>

#include "platform/cp850.h"

namespace platform {
namespace {

constexpr char kEsc = '\x1b';

// Scan codes of the letters a .. z on a PC keyboard.
constexpr uint8_t kLetterScan[26] = {0x1E, 0x30, 0x2E, 0x20, 0x12, 0x21, 0x22, 0x23, 0x17,
                                     0x24, 0x25, 0x26, 0x32, 0x31, 0x18, 0x19, 0x10, 0x13,
                                     0x1F, 0x14, 0x16, 0x2F, 0x11, 0x2D, 0x15, 0x2C};

InputEvent KeyEvent(uint8_t character, uint8_t scanCode, uint16_t modifiers) {
  InputEvent e;
  e.kind = EventKind::kKey;
  e.character = character;
  e.scanCode = scanCode;
  e.modifiers = modifiers;
  return e;
}

// xterm's modifier parameter: 1 + (1 Shift, 2 Alt, 4 Ctrl, 8 Meta).
uint16_t XtermModifiers(long param) {
  long bits = param > 1 ? param - 1 : 0;
  uint16_t m = 0;
  if (bits & 1) m |= kShift;
  if (bits & (2 | 8)) m |= kLeftAlt;
  if (bits & 4) m |= kLeftCtrl;
  return m;
}

// The key of a byte below 0x80 (not ESC). False for a byte that means nothing.
bool AsciiKey(uint8_t b, InputEvent& e) {
  switch (b) {
    case 0x00:
      return false;
    case 0x0D:
      e = KeyEvent(13, scan::kEnter, 0);
      return true;
    case 0x09:
      e = KeyEvent(9, scan::kTab, 0);
      return true;
    case 0x08:
    case 0x7F:
      e = KeyEvent(8, scan::kBackspace, 0);
      return true;
    default:
      break;
  }
  if (b < 0x20) {
    e = KeyEvent(b, 0, kLeftCtrl);
    return true;
  }
  e = KeyEvent(b, 0, 0);
  return true;
}

// Alt held with a character key, as a PC delivers it: letters and digits come as
// their scan code without a character; anything else keeps its character.
InputEvent AltKey(uint8_t ch) {
  if (ch >= 'a' && ch <= 'z') return KeyEvent(0, kLetterScan[ch - 'a'], kLeftAlt);
  if (ch >= 'A' && ch <= 'Z') return KeyEvent(0, kLetterScan[ch - 'A'], kLeftAlt | kShift);
  if (ch >= '1' && ch <= '9') return KeyEvent(0, static_cast<uint8_t>(0x77 + (ch - '0')), kLeftAlt);
  if (ch == '0') return KeyEvent(0, 0x81, kLeftAlt);
  if (ch == 0x1B) return KeyEvent(27, scan::kEscape, kLeftAlt);
  InputEvent e;
  if (ch < 0x80 && AsciiKey(ch, e)) {
    e.modifiers |= kLeftAlt;
    return e;
  }
  return KeyEvent(ch, 0, kLeftAlt);
}

// The scan code of a "CSI n ~" key number; 0 when unknown.
uint8_t TildeKey(long n) {
  switch (n) {
    case 1:
    case 7:
      return scan::kHome;
    case 2:
      return scan::kInsert;
    case 3:
      return scan::kDelete;
    case 4:
    case 8:
      return scan::kEnd;
    case 5:
      return scan::kPageUp;
    case 6:
      return scan::kPageDown;
    case 11:
      return scan::kF1;
    case 12:
      return scan::kF1 + 1;
    case 13:
      return scan::kF1 + 2;
    case 14:
      return scan::kF1 + 3;
    case 15:
      return scan::kF1 + 4;
    case 17:
      return scan::kF1 + 5;
    case 18:
      return scan::kF1 + 6;
    case 19:
      return scan::kF1 + 7;
    case 20:
      return scan::kF1 + 8;
    case 21:
      return scan::kF10;
    case 23:
      return scan::kF11;
    case 24:
      return scan::kF12;
    default:
      return 0;
  }
}

// The scan code of a final letter shared by CSI and SS3 forms; 0 when unknown.
uint8_t LetterKey(char final) {
  switch (final) {
    case 'A':
      return scan::kUp;
    case 'B':
      return scan::kDown;
    case 'C':
      return scan::kRight;
    case 'D':
      return scan::kLeft;
    case 'E':
    case 'G':
      return scan::kCentre;
    case 'H':
      return scan::kHome;
    case 'F':
      return scan::kEnd;
    case 'P':
      return scan::kF1;
    case 'Q':
      return scan::kF1 + 1;
    case 'R':
      return scan::kF1 + 2;
    case 'S':
      return scan::kF1 + 3;
    default:
      return 0;
  }
}

// Splits "a;b;c" into numbers (missing ones -1), each kept below a bound.
void ParseParams(std::string_view text, long* params, int count) {
  for (int i = 0; i < count; ++i) params[i] = -1;
  int index = 0;
  for (char ch : text) {
    if (ch == ';') {
      if (++index >= count) return;
    } else if (ch >= '0' && ch <= '9') {
      long v = params[index] < 0 ? 0 : params[index];
      if (v < 100000) v = v * 10 + (ch - '0');
      params[index] = v;
    }
  }
}

// Expected length of a UTF-8 sequence from its first byte; 0 for a byte that
// cannot start one.
size_t Utf8Length(uint8_t lead) {
  if (lead >= 0xC2 && lead <= 0xDF) return 2;
  if (lead >= 0xE0 && lead <= 0xEF) return 3;
  if (lead >= 0xF0 && lead <= 0xF4) return 4;
  return 0;
}

}  // namespace

void KeyDecoder::Feed(std::string_view bytes) {
  buffer_.append(bytes);
}

DecodeResult KeyDecoder::Next(InputEvent& event, bool final) {
  event = InputEvent{};
  if (buffer_.empty()) return DecodeResult::kEmpty;
  std::string_view b = buffer_;
  size_t used = 0;
  DecodeResult result = DecodeResult::kIgnored;
  uint16_t extraAlt = 0;

  auto consume = [&](size_t n, DecodeResult r) {
    used = n;
    result = r;
  };

  const auto lead = static_cast<uint8_t>(b[0]);
  if (lead != static_cast<uint8_t>(kEsc)) {
    if (lead < 0x80) {
      consume(1, AsciiKey(lead, event) ? DecodeResult::kEvent : DecodeResult::kIgnored);
    } else {
      size_t length = Utf8Length(lead);
      size_t have = 1;
      while (have < length && have < b.size() && (static_cast<uint8_t>(b[have]) & 0xC0) == 0x80) {
        ++have;
      }
      if (length == 0 || (have < length && have < b.size())) {
        consume(have, DecodeResult::kRefused);
      } else if (have < length) {
        if (!final) return DecodeResult::kNeedMore;
        consume(have, DecodeResult::kRefused);
      } else {
        size_t pos = 0;
        char32_t ch = 0;
        uint8_t byte = 0;
        if (DecodeUtf8(b.substr(0, length), pos, ch) && UnicodeToCp850(ch, byte) && byte != 0) {
          event = KeyEvent(byte, 0, 0);
          consume(length, DecodeResult::kEvent);
        } else {
          consume(length, DecodeResult::kRefused);
        }
      }
    }
    buffer_.erase(0, used);
    return result;
  }

  // ESC: a lone Esc key, Alt + a key, or the start of a sequence.
  if (b.size() == 1) {
    if (!final) return DecodeResult::kNeedMore;
    event = KeyEvent(27, scan::kEscape, 0);
    buffer_.erase(0, 1);
    return DecodeResult::kEvent;
  }
  size_t start = 1;  // where the sequence after ESC begins
  if (b[1] == kEsc && b.size() >= 3 && (b[2] == '[' || b[2] == 'O')) {
    // ESC ESC [ ...: Alt with a function or cursor key (rxvt and others).
    start = 2;
    extraAlt = kLeftAlt;
  } else if (b[1] == kEsc && b.size() == 2 && !final) {
    return DecodeResult::kNeedMore;
  }

  const char introducer = b[start];
  if (introducer == '[') {
    std::string_view rest = b.substr(start + 1);
    if (rest.empty()) {
      if (!final) return DecodeResult::kNeedMore;
      event = AltKey('[');
      buffer_.erase(0, start + 1);
      return DecodeResult::kEvent;
    }
    if (rest[0] == 'M') {  // three-byte mouse report: button, column, row (+32 each)
      if (rest.size() < 4) {
        if (!final) return DecodeResult::kNeedMore;
        buffer_.erase(0, b.size());
        return DecodeResult::kIgnored;
      }
      const int cb = static_cast<uint8_t>(rest[1]) - 32;
      const int column = static_cast<uint8_t>(rest[2]) - 32;
      const int row = static_cast<uint8_t>(rest[3]) - 32;
      used = start + 5;
      result = DecodeResult::kIgnored;
      if ((cb & 64) == 0 && (cb & 32) == 0) {
        if ((cb & 3) == 3) {
          if (lastPressed_ != 0 && row >= 1 && row <= kConsoleRows && column >= 1 &&
              column <= kConsoleColumns) {
            event.kind = EventKind::kMouse;
            event.row = static_cast<int16_t>(row);
            event.column = static_cast<int16_t>(column);
            event.button = lastPressed_;
            result = DecodeResult::kEvent;
          }
          lastPressed_ = 0;
        } else {
          lastPressed_ = (cb & 3) == 0 ? 1 : (cb & 3) == 2 ? 2 : 0;
        }
      }
      buffer_.erase(0, used);
      return result;
    }
    if (rest[0] == '[') {  // Linux console: ESC [ [ A .. E for F1 .. F5
      if (rest.size() < 2) {
        if (!final) return DecodeResult::kNeedMore;
        buffer_.erase(0, b.size());
        return DecodeResult::kIgnored;
      }
      used = start + 3;
      if (rest[1] >= 'A' && rest[1] <= 'E') {
        event = KeyEvent(0, static_cast<uint8_t>(scan::kF1 + (rest[1] - 'A')), extraAlt);
        result = DecodeResult::kEvent;
      }
      buffer_.erase(0, used);
      return result;
    }
    // Parameters and intermediates, then one final byte.
    size_t i = 0;
    while (i < rest.size() && static_cast<uint8_t>(rest[i]) >= 0x20 &&
           static_cast<uint8_t>(rest[i]) <= 0x3F) {
      ++i;
    }
    if (i == rest.size()) {
      if (start + 1 + i >= kMaxEscapeSequence || final) {
        buffer_.erase(0, b.size());
        return DecodeResult::kIgnored;
      }
      return DecodeResult::kNeedMore;
    }
    const char fin = rest[i];
    const std::string_view params = rest.substr(0, i);
    used = start + 1 + i + 1;
    if (static_cast<uint8_t>(fin) < 0x40 || static_cast<uint8_t>(fin) > 0x7E) {
      // Not a sequence after all: drop the ESC [ and read on.
      buffer_.erase(0, start + 1);
      return DecodeResult::kIgnored;
    }
    long p[3];
    if (!params.empty() && params[0] == '<') {  // SGR mouse report
      ParseParams(params.substr(1), p, 3);
      const long cb = p[0];
      if ((fin == 'm') && cb >= 0 && (cb & (32 | 64)) == 0 && p[1] >= 1 &&
          p[1] <= kConsoleColumns && p[2] >= 1 && p[2] <= kConsoleRows) {
        const long button = cb & 3;
        if (button == 0 || button == 2) {
          event.kind = EventKind::kMouse;
          event.button = button == 0 ? 1 : 2;
          event.column = static_cast<int16_t>(p[1]);
          event.row = static_cast<int16_t>(p[2]);
          result = DecodeResult::kEvent;
        }
      }
      buffer_.erase(0, used);
      return result;
    }
    ParseParams(params, p, 3);
    uint16_t mods = extraAlt | (p[1] >= 0 ? XtermModifiers(p[1]) : 0);
    uint8_t key = 0;
    switch (fin) {
      case '~':
        key = TildeKey(p[0]);
        break;
      case '^':  // rxvt: Ctrl
        key = TildeKey(p[0]);
        mods |= kLeftCtrl;
        break;
      case '$':  // rxvt: Shift
        key = TildeKey(p[0]);
        mods |= kShift;
        break;
      case '@':  // rxvt: Ctrl + Shift
        key = TildeKey(p[0]);
        mods |= kLeftCtrl | kShift;
        break;
      case 'Z':
        key = scan::kTab;
        mods |= kShift;
        break;
      case 'a':
      case 'b':
      case 'c':
      case 'd':  // rxvt: Shift + arrow
        key = LetterKey(static_cast<char>(fin - 'a' + 'A'));
        mods |= kShift;
        break;
      default:
        key = LetterKey(fin);
        // Old forms put the modifier first: ESC [ 2 P, ESC [ 5 D.
        if (key != 0 && p[1] < 0 && p[0] > 1) mods |= XtermModifiers(p[0]);
        break;
    }
    if (key != 0) {
      event = KeyEvent(0, key, mods);
      result = DecodeResult::kEvent;
    }
    buffer_.erase(0, used);
    return result;
  }

  if (introducer == 'O') {
    std::string_view rest = b.substr(start + 1);
    size_t i = 0;
    while (i < rest.size() && rest[i] >= '0' && rest[i] <= '9' && i < 4) ++i;
    if (i == rest.size()) {
      if (!final) return DecodeResult::kNeedMore;
      if (i == 0 && start == 1) {  // ESC O alone: Alt+Shift+O
        event = AltKey('O');
        buffer_.erase(0, 2);
        return DecodeResult::kEvent;
      }
      buffer_.erase(0, b.size());
      return DecodeResult::kIgnored;
    }
    const char fin = rest[i];
    long modifierParam = 0;
    for (size_t k = 0; k < i; ++k) modifierParam = modifierParam * 10 + (rest[k] - '0');
    uint16_t mods = extraAlt | (i > 0 ? XtermModifiers(modifierParam) : 0);
    used = start + 1 + i + 1;
    if (fin == 'M') {
      event = KeyEvent(13, scan::kEnter, mods);
      result = DecodeResult::kEvent;
    } else if (fin >= 'j' && fin <= 'y') {  // application keypad
      static constexpr char kKeypad[] = "*+,-./0123456789";
      event = KeyEvent(static_cast<uint8_t>(kKeypad[fin - 'j']), 0, mods);
      result = DecodeResult::kEvent;
    } else if (fin == 'X') {
      event = KeyEvent('=', 0, mods);
      result = DecodeResult::kEvent;
    } else if (fin >= 'a' && fin <= 'd') {  // rxvt: Ctrl + arrow
      event = KeyEvent(0, LetterKey(static_cast<char>(fin - 'a' + 'A')), mods | kLeftCtrl);
      result = DecodeResult::kEvent;
    } else if (uint8_t key = LetterKey(fin); key != 0) {
      event = KeyEvent(0, key, mods);
      result = DecodeResult::kEvent;
    } else {
      used = start + 1;  // not a sequence: drop ESC O and read on
    }
    buffer_.erase(0, used);
    return result;
  }

  // ESC and a character: Alt with that key.
  const auto next = static_cast<uint8_t>(b[1]);
  if (next < 0x80) {
    event = AltKey(next);
    buffer_.erase(0, 2);
    return DecodeResult::kEvent;
  }
  size_t length = Utf8Length(next);
  if (length != 0 && b.size() < 1 + length && !final) return DecodeResult::kNeedMore;
  size_t pos = 0;
  char32_t ch = 0;
  uint8_t byte = 0;
  std::string_view tail = b.substr(1, length == 0 ? 1 : length);
  if (length != 0 && tail.size() == length && DecodeUtf8(tail, pos, ch) &&
      UnicodeToCp850(ch, byte)) {
    event = AltKey(byte);
    buffer_.erase(0, 1 + length);
    return DecodeResult::kEvent;
  }
  buffer_.erase(0, 1 + tail.size());
  return DecodeResult::kRefused;
}

}  // namespace platform
