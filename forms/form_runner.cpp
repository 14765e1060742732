#include "forms/form_runner.h"

#include <cstdlib>
#include <string_view>

#include "console/colour.h"
#include "console/help.h"
#include "console/screen.h"
#include "console/window_stack.h"
#include "format/text.h"
#include "forms/field_display.h"
#include "forms/form_model.h"
#include "forms/keys.h"
#include "forms/line_editor.h"
#include "forms/lookup.h"
#include "session/session.h"

namespace forms {
namespace {

int16_t DefaultHook(int16_t& screen, int16_t& key) {
  (void)screen;
  (void)key;
  return 0;
}

RunScreenHookFunction& Hook() {
  static RunScreenHookFunction hook = DefaultHook;
  return hook;
}

bool IsBlank(std::string_view text) {
  return format::IsAllChar(text, ' ') != 0;
}

// A 16-bit number as the 2-byte text kept on the value stack.
std::string Int16Text(int16_t n) {
  const uint16_t u = static_cast<uint16_t>(n);
  return std::string{static_cast<char>(u & 0xFF), static_cast<char>(u >> 8)};
}
int16_t TextInt16(std::string_view t) {
  if (t.size() < 2) return 0;
  return static_cast<int16_t>(static_cast<uint8_t>(t[0]) | (static_cast<uint8_t>(t[1]) << 8));
}

// Keys with which a linked screen hands the end of the chain back.
bool EndsChain(int16_t key) {
  return key == kKeyPageUp || key == kKeyPageDown || key == kKeyEnd || key == kKeyAccept ||
         key == kKeyEnter || key == kKeyDown || key == kKeyUp;
}

int16_t NextScreenOf(int16_t screen) {
  const Screen* s = FindScreen(screen);
  return s == nullptr ? 0 : s->nextScreen;
}

bool DisplayOnly(int16_t screen, int16_t field) {
  const FormField* f = FindField(screen, field);
  return f == nullptr || (f->flags & kFlagDisplayOnly) != 0;
}

// F4 on a field with a lookup: windows until one ends without a choice or the
// module's hook has taken the choice. Returns the key to dispatch.
int16_t RunLookups(int16_t x, int16_t s, int16_t lookup) {
  const Screen* sc = FindScreen(x);
  for (;;) {
    int16_t lk = lookup;
    int16_t result = 0;
    LookupWindow(lk, result);
    if (result != 0) return 0;
    console::PushValue(Int16Text(s));
    console::PushValue(Int16Text(lookup));
    int16_t lookupVar = lookup;
    int16_t screenVar = x;
    int16_t fieldVar = s;
    CurrentLookupHooks().accept(lookupVar, screenVar, fieldVar);
    if (lookupVar == 0) {
      lookup = TextInt16(console::PopValue());
      console::PopValue();
      continue;
    }
    console::PopValue();
    const int16_t field = TextInt16(console::PopValue());
    const int16_t fieldCount = sc == nullptr ? 0 : sc->fieldCount;
    if (field == s) {
      return (s == fieldCount && NextScreenOf(x) == 0) ? kKeyEnter : kKeyDown;
    }
    return (s < fieldCount && DisplayOnly(x, s)) ? kKeyDown : 0;
  }
}

// Handles field s of screen x and returns the key that left it.
int16_t HandleField(int16_t x, int16_t s, int16_t key, int16_t& first, int16_t& last) {
  const Screen* sc = FindScreen(x);
  FormField* fp = FindField(x, s);
  if (sc == nullptr || fp == nullptr) return key;
  SetKeyList("+ea", sc->keyList + ",3b00");
  const FormField& f = *fp;
  const int16_t valueColumn = static_cast<int16_t>(f.column + f.label.size());
  const bool hidden = (f.flags & kFlagHidden) != 0;
  const bool editable = (f.flags & kFlagDisplayOnly) == 0;
  std::string text = (f.flags & (kFlagFromBlanks | kFlagHidden))
                         ? std::string(static_cast<size_t>(f.width), ' ')
                         : f.value;
  if (hidden) SetKeyList("h", "");
  const std::string extra(static_cast<size_t>(f.extraWidth), ' ');
  if (!extra.empty() && editable) {
    console::LocateInWindow(f.row, static_cast<int16_t>(valueColumn + f.width));
    console::Print(extra);
  }
  while (editable) {
    SetChoiceList(f.choices);
    int16_t position = 1;
    if (f.flags & kFlagCursorAtEnd) {
      const size_t end = text.find_last_not_of(' ');
      position = static_cast<int16_t>(end == std::string::npos ? 1 : end + 2);
    }
    int16_t row = f.row;
    int16_t column = valueColumn;
    int16_t lineWidth = f.lineWidth;
    EditLine(row, column, lineWidth, text, position, key);
    RunnerState& rs = Runner();
    rs.editText = text;
    rs.editScreen = x;
    rs.editField = s;
    bool refused = false;
    if (key == kKeyF1) {
      std::string topic = session::Session().menuName;
      topic.erase(topic.find_last_not_of(' ') + 1);
      if (!topic.empty()) console::ShowHelp(topic);
      key = 0;
    } else if (key == kKeyF4) {
      key = 0;
      if (f.lookup > 0) key = RunLookups(x, s, f.lookup);
    } else {
      if (!extra.empty()) {
        // A hidden entry is never shown, not even here.
        console::LocateInWindow(f.row, valueColumn);
        console::Print(hidden ? std::string(text.size(), ' ') : text);
        console::Print(extra);
      }
      if (key == kKeyEsc) {
        ShowFieldValue(x, s);
      } else {
        if (IsBlank(text) && (f.flags & (kFlagFromBlanks | kFlagHidden))) text = f.value;
        refused = CheckField(x, text, s, key) != 0;
      }
    }
    EditableFields(x, first, last);
    if (!refused) break;
    console::Beep();
  }
  if (hidden) SetKeyList("v", "");
  SetKeyList("-", "");
  return key;
}

// The field a click falls on (display-only fields skipped); 0 for none.
int16_t ClickedField(int16_t x, int16_t key) {
  const Screen* sc = FindScreen(x);
  if (sc == nullptr) return 0;
  const int code = -static_cast<int>(key);
  const int row = code % 100;
  const int column = code / 100;
  const bool window = sc->box[0] != 0;
  const int top = window ? sc->box[0] : 0;
  const int left = window ? sc->box[1] : 0;
  for (int16_t j = 1; j <= sc->fieldCount; ++j) {
    const FormField& f = sc->fields[static_cast<size_t>(j)];
    if (f.flags & kFlagDisplayOnly) continue;
    int h = 1;
    int lineLength = f.width;
    if (f.lineWidth > 0) {
      h = std::max(1, (f.width + f.lineWidth - 1) / f.lineWidth);
      lineLength = f.lineWidth;
    }
    const int r = row - top;
    const int c = column - left;
    if (f.row <= r && r < f.row + h && f.column <= c &&
        c < f.column + static_cast<int>(f.label.size()) + lineLength + f.extraWidth) {
      return j;
    }
  }
  return 0;
}

}  // namespace

RunnerState& Runner() {
  static RunnerState state;
  return state;
}

void ResetRunner() {
  Runner() = RunnerState{};
}

void SetRunScreenHook(RunScreenHookFunction hook) {
  Hook() = hook == nullptr ? DefaultHook : hook;
}

int16_t RunScreenHook(int16_t& screen, int16_t& key) {
  return Hook()(screen, key);
}

void EditableFields(int16_t screen, int16_t& first, int16_t& last) {
  const Screen* sc = FindScreen(screen);
  const int16_t count = sc == nullptr ? 0 : sc->fieldCount;
  first = static_cast<int16_t>(count + 1);
  last = 0;
  for (int16_t f = 1; f <= count; ++f) {
    if (sc->fields[static_cast<size_t>(f)].flags & kFlagDisplayOnly) continue;
    if (first > count) first = f;
    last = f;
  }
}

void RunScreen(int16_t& screen, int16_t& upExit, int16_t& downExit, int16_t& key) {
  const bool topLevel = screen >= 0;
  screen = static_cast<int16_t>(
      std::abs(static_cast<int>(screen)) > 32767 ? 32767 : std::abs(static_cast<int>(screen)));
  const int16_t x = screen;
  const Screen* sc = FindScreen(x);
  if (sc == nullptr) return;
  RunnerState& rs = Runner();
  if (rs.depth >= kMaxScreenDepth) {
    console::Beep();
    return;
  }
  ++rs.depth;
  const bool window = sc->box[0] != 0;
  if (window) {
    console::SetColour("+n");
    console::PushWindow(sc->box[0], sc->box[1], sc->box[2], sc->box[3]);
    console::DrawWindowFrame(2);
    console::SetColour("-");
  }
  ShowScreen(x);
  int16_t first = 0;
  int16_t last = 0;
  EditableFields(x, first, last);
  bool runFields = first <= last;

  if (runFields) {
    // Coming back into a chain of linked screens that was left with PgUp / PgDn:
    // go straight on to the screen that was left.
    int16_t& leftAt = Runner().leftAtScreen;
    int16_t t = x;
    for (int steps = 0;
         t != leftAt && leftAt > 0 && NextScreenOf(t) != 0 && steps <= Form().screenCount;
         ++steps) {
      t = NextScreenOf(t);
    }
    if (t != leftAt) leftAt = 0;
    if (leftAt > 0 && leftAt != x && NextScreenOf(x) != 0) {
      int16_t next = static_cast<int16_t>(-NextScreenOf(x));
      RunScreen(next, upExit, downExit, key);
      if (EndsChain(key)) runFields = false;
    } else {
      leftAt = 0;
    }
  }

  for (;;) {
    if (runFields) {
      EditableFields(x, first, last);
      int16_t s = first;
      while (first <= s && s <= last) {
        // A display-only field passes on the key that brought the operator here; a
        // key that would keep it here moves on instead.
        if (DisplayOnly(x, s) && key != kKeyEnter && key != kKeyDown && key != kKeyUp) {
          key = kKeyDown;
        }
        key = HandleField(x, s, key, first, last);
        bool leave = false;
        int16_t& leftAt = Runner().leftAtScreen;
        const int16_t next = NextScreenOf(x);
        if (key == kKeyPageUp) {
          leave = !(s > first || upExit == 0);
          s = leave ? 0 : first;
          leftAt = leave ? x : 0;
        } else if (key == kKeyPageDown) {
          leave = !(s < last || downExit == 0);
          s = leave ? 0 : last;
          leftAt = leave ? x : 0;
        } else if (key == kKeyEnd || key == kKeyAccept) {
          leave = true;
        } else if (key == kKeyEsc) {
          if (s > first) {
            s = first;
          } else {
            leave = true;
          }
        } else if (key == kKeyEnter || key == kKeyDown || key == kKeyF2) {
          if ((s == last || key == kKeyF2) && next > 0) {
            int16_t linked = static_cast<int16_t>(-next);
            RunScreen(linked, upExit, downExit, key);
            if (EndsChain(key)) leave = true;
          } else if (key == kKeyEnter) {
            ++s;
          } else if (key == kKeyDown && s < last) {
            ++s;
          }
        } else if (key == kKeyUp) {
          if (s > first) {
            --s;
          } else if (!topLevel) {
            key = kKeyEsc;
            leave = true;
          }
        } else if (key < 0) {
          const int16_t j = ClickedField(x, key);
          if (j != 0) s = j;
        } else if (key == 0 || key == kKeyF1 || key == kKeyF4) {
          // stay on field s
        } else {
          leave = true;
        }
        if (leave) break;
      }
    }
    int16_t hookScreen = x;
    if (RunScreenHook(hookScreen, key) != 0) {
      EditableFields(x, first, last);
      if (first <= last) {
        runFields = true;
        continue;
      }
    }
    break;
  }
  if (window) console::PopWindow();
  RunnerState& after = Runner();
  after.editText.clear();
  after.editScreen = 0;
  after.editField = 0;
  --after.depth;
}

}  // namespace forms
