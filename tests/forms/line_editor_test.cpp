#include "forms/line_editor.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "forms/keys.h"
#include "platform/clipboard.h"
#include "platform/terminal.h"
#include "tests/support/memory_console.h"

namespace {

using testing_support::MemoryConsole;
namespace scan = platform::scan;

// One scripted input: a character, a key without one, or a click.
struct In {
  enum Kind { kChar, kScan, kClick } kind;
  int value;
  uint16_t modifiers = 0;
  int row = 0;
  int column = 0;
};
In Ch(char c) {
  return {In::kChar, static_cast<unsigned char>(c)};
}
In Sc(uint8_t s, uint16_t m = 0) {
  return {In::kScan, s, m};
}
In Click(int row, int column) {
  return {In::kClick, 0, 0, row, column};
}
const In kEnter = {In::kChar, 13};

class LineEditor : public ::testing::Test {
 protected:
  void SetUp() override {
    forms::SetKeyList("ea", "d,1b,4800,5000,4900,4f00=4f00");
    forms::SetKeyList("d", "4f00");  // Enter stays Enter unless a test accepts End
  }
  void TearDown() override { platform::SetInsertToggle(false); }

  void Script(const std::vector<In>& inputs) {
    for (const In& i : inputs) {
      if (i.kind == In::kChar) {
        mc.terminal().PushCharacter(static_cast<uint8_t>(i.value), i.modifiers);
      } else if (i.kind == In::kScan) {
        mc.terminal().PushScan(static_cast<uint8_t>(i.value), i.modifiers);
      } else {
        mc.terminal().PushMouseRelease(static_cast<int16_t>(i.row), static_cast<int16_t>(i.column),
                                       1);
      }
    }
  }

  // Edits text at (5, 10) and returns the key; position in and out through pos.
  int16_t Edit(std::string& text, int16_t& pos, const std::vector<In>& inputs,
               int16_t lineWidth = 0) {
    Script(inputs);
    int16_t row = 5;
    int16_t column = 10;
    int16_t key = 0;
    forms::EditLine(row, column, lineWidth, text, pos, key);
    EXPECT_FALSE(mc.terminal().Starved()) << "the editor waited past the script";
    return key;
  }

  MemoryConsole mc;
};

TEST_F(LineEditor, TypingInOverwriteAndInsertMode) {
  struct Case {
    const char* name;
    bool insert;
    const char* text;
    int16_t pos;
    std::vector<In> keys;
    const char* result;
    int16_t endPos;
  } cases[] = {
      {"overwrite", false, "abcde", 2, {Ch('X'), Ch('Y')}, "aXYde", 4},
      {"overwrite at the end does nothing", false, "abcde", 6, {Ch('X')}, "abcde", 6},
      {"insert pushes the rest right", true, "abc  ", 2, {Ch('X')}, "aXbc ", 3},
      {"insert into a full text is refused", true, "abcde", 2, {Ch('X')}, "abcde", 2},
      {"backspace pulls a blank in", false, "abcde", 3, {Ch(8)}, "acde ", 2},
      {"backspace at 1 does nothing", false, "abcde", 1, {Ch(8)}, "abcde", 1},
      {"delete", false, "abcde", 2, {Sc(scan::kDelete)}, "acde ", 2},
      {"delete at the end does nothing", false, "abcde", 6, {Sc(scan::kDelete)}, "abcde", 6},
      {"Ctrl+Y blanks the text", false, "abcde", 4, {Ch(25)}, "     ", 1},
      {"Ctrl+Home blanks the text",
       false,
       "abcde",
       4,
       {Sc(scan::kHome, platform::kLeftCtrl)},
       "     ",
       1},
      {"Home and End", false, "ab   ", 2, {Sc(scan::kEnd)}, "ab   ", 3},
      {"Right stops after the end", false, "ab", 2, {Sc(scan::kRight), Sc(scan::kRight)}, "ab", 3},
      {"Left stops at 1", false, "ab", 1, {Sc(scan::kLeft)}, "ab", 1},
      {"a position beyond the text is brought back", false, "ab", 9, {}, "ab", 3},
      {"Insert toggles the mode", false, "abc ", 1, {Sc(scan::kInsert), Ch('X')}, "Xabc", 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    platform::SetInsertToggle(c.insert);
    std::string text = c.text;
    int16_t pos = c.pos;
    std::vector<In> keys = c.keys;
    keys.push_back(kEnter);
    const int beeps = mc.terminal().Beeps();
    EXPECT_EQ(Edit(text, pos, keys), forms::kKeyEnter);
    EXPECT_EQ(text, c.result);
    EXPECT_EQ(pos, c.endPos);
    EXPECT_EQ(mc.terminal().Beeps(), beeps);  // refusals are silent
  }
}

TEST_F(LineEditor, WordMovement) {
  struct Case {
    const char* text;
    int16_t from;
    int16_t left;
    int16_t right;
  } cases[] = {
      {"abc def", 1, 1, 5},  // Ctrl+Right from 1: the second word's first letter
      {"abc def", 6, 5, 8},  // inside the second word: to L + 1
      {"abc def", 5, 1, 8},  // from a word's start back to the previous word
      {"abc, def", 8, 6, 9},    {" abc", 4, 1, 5},  // a word after a delimiter at 1 is reached as 1
      {"ab  cd  ef", 9, 5, 11},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.text) + " from " + std::to_string(c.from));
    EXPECT_EQ(forms::WordLeft(c.text, c.from), c.left);
    EXPECT_EQ(forms::WordRight(c.text, c.from), c.right);
  }
  std::string text = "abc def";
  int16_t pos = 1;
  Edit(text, pos, {Sc(scan::kRight, platform::kLeftCtrl), kEnter});
  EXPECT_EQ(pos, 5);
  // At the ends the word keys leave the field, and are refused here: not accepted.
  forms::SetKeyList("a", "7300");
  pos = 1;
  EXPECT_EQ(Edit(text, pos, {Sc(scan::kLeft, platform::kLeftCtrl)}), 0x7300);
}

TEST_F(LineEditor, MultiRowFieldsWrapAndMoveByRows) {
  std::string text(20, ' ');
  int16_t pos = 11;
  // Position 11 is the start of the second row.
  EXPECT_EQ(Edit(text, pos, {Ch('K'), kEnter}, 10), forms::kKeyEnter);
  EXPECT_EQ(mc.terminal().Text(6, 10, 10), "K");
  EXPECT_EQ(text[10], 'K');
  // Up on the second row moves a row up; on the first row it leaves with Up.
  pos = 13;
  EXPECT_EQ(Edit(text, pos, {Sc(scan::kUp), Ch('U'), Sc(scan::kUp)}, 10), forms::kKeyUp);
  EXPECT_EQ(text[2], 'U');
  EXPECT_EQ(pos, 4);
  // Down moves a row down, from the second row to the end; from there it leaves.
  pos = 1;
  EXPECT_EQ(Edit(text, pos, {Sc(scan::kDown), Sc(scan::kDown), Sc(scan::kDown)}, 10),
            forms::kKeyDown);
  EXPECT_EQ(pos, 21);
}

TEST(EditCursor, RowsAndTheEndOfAFullRow) {
  struct Case {
    int16_t lineWidth, length, position, row, column;
  } cases[] = {
      {10, 20, 1, 5, 10},   // first character
      {10, 20, 10, 5, 19},  // last of the first row
      {10, 20, 11, 6, 10},  // start of the second row
      {10, 20, 21, 6, 20},  // the end: after the tenth column of the second row
      {10, 25, 26, 7, 15},  // the end inside a shorter last row
      {0, 6, 7, 5, 16},     // one row: after the text
      {0, 0, 1, 5, 10},     // an empty text
  };
  for (const Case& c : cases) {
    int16_t r = 0;
    int16_t col = 0;
    forms::EditCursor(5, 10, c.lineWidth, c.length, c.position, r, col);
    EXPECT_EQ(r, c.row) << c.lineWidth << " " << c.length << " " << c.position;
    EXPECT_EQ(col, c.column) << c.lineWidth << " " << c.length << " " << c.position;
  }
}

TEST_F(LineEditor, KeysOutsideTheListAreIgnoredAndTranslationsApply) {
  std::string text = "abc";
  int16_t pos = 2;
  // PgDn is not accepted: dropped, the cursor stays.
  EXPECT_EQ(Edit(text, pos, {Sc(scan::kPageDown), kEnter}), forms::kKeyEnter);
  EXPECT_EQ(pos, 2);
  // Tab is Enter, Shift+Tab Up, Ctrl+F4 and Alt+F4 Esc.
  EXPECT_EQ(Edit(text, pos, {Ch(9)}), forms::kKeyEnter);
  EXPECT_EQ(Edit(text, pos, {Sc(scan::kTab, platform::kShift)}), forms::kKeyUp);
  EXPECT_EQ(Edit(text, pos, {Sc(scan::kF1 + 3, platform::kLeftCtrl)}), forms::kKeyEsc);
  EXPECT_EQ(Edit(text, pos, {Sc(scan::kF1 + 3, platform::kLeftAlt)}), forms::kKeyEsc);
  // With End accepted, Enter gives End; a list may translate a key to another.
  forms::SetKeyList("a", "4f00,4400=2");
  EXPECT_EQ(Edit(text, pos, {kEnter}), forms::kKeyEnd);
  EXPECT_EQ(Edit(text, pos, {Sc(scan::kF10)}), 2);
  // With no key accepted at all, any leaving key returns.
  forms::SetKeyList("e", "");
  EXPECT_EQ(Edit(text, pos, {Sc(scan::kPageDown)}), forms::kKeyPageDown);
}

TEST_F(LineEditor, ChoiceFields) {
  const std::string list = "|T,Tots|E,Escollits|\x90,\x90s especial|C,Cobrats";
  struct Case {
    const char* name;
    const char* text;
    std::vector<In> keys;
    const char* result;
  } cases[] = {
      {"no matching code: the first item", "Z", {}, "T"},
      {"Right steps on", "T", {Sc(scan::kRight)}, "E"},
      {"Space steps on", "T", {Ch(' ')}, "E"},
      {"Right after the last wraps", "C", {Sc(scan::kRight)}, "T"},
      {"Left before the first wraps", "T", {Sc(scan::kLeft)}, "C"},
      {"a small letter finds the next description", "T", {Ch('c')}, "C"},
      {"the search runs on after the current item", "E", {Ch('e')}, "\x90"},
      {"and wraps round", "\x90", {Ch('e')}, "E"},
      {"an accented letter matches without its accent", "T", {Ch('\x82')}, "E"},
      {"a letter no description has changes nothing", "E", {Ch('q')}, "E"},
      {"Backspace is ignored", "E", {Ch(8)}, "E"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    forms::SetChoiceList(list);
    std::string text = c.text;
    int16_t pos = 1;
    std::vector<In> keys = c.keys;
    keys.push_back(kEnter);
    EXPECT_EQ(Edit(text, pos, keys), forms::kKeyEnter);
    EXPECT_EQ(text, c.result);
  }
  // While editing, the arrows frame the widest description; they go on leaving.
  forms::SetChoiceList(list);
  mc.terminal().RecordScreens(true);
  std::string text = "T";
  int16_t pos = 1;
  Edit(text, pos, {kEnter});
  EXPECT_EQ(mc.terminal().ScreenLine(0, 5).substr(8, 13), "\x11Tots       \x10");
  EXPECT_EQ(mc.terminal().Text(5, 9, 9), " ");
  EXPECT_EQ(mc.terminal().Text(5, 21, 21), " ");
}

TEST_F(LineEditor, ClicksInsideMoveTheCursorAndOutsideLeave) {
  std::string text(20, ' ');
  int16_t pos = 1;
  // Inside the second row of a multi-row field; then a click outside leaves.
  forms::SetKeyList("a", "0");  // a click inside then leaves with 0 (stay on the field)
  EXPECT_EQ(Edit(text, pos, {Click(6, 13)}, 10), 0);
  EXPECT_EQ(pos, 14);
  forms::SetKeyList("d", "0");
  EXPECT_EQ(Edit(text, pos, {Click(6, 13), Click(8, 30)}, 10), -(100 * 30 + 8));
  EXPECT_EQ(pos, 14);
  // A field of 25 in rows of 10 has a third, shorter row, which is part of it.
  text.assign(25, ' ');
  EXPECT_EQ(Edit(text, pos, {Click(7, 12), kEnter}, 10), forms::kKeyEnter);
  EXPECT_EQ(pos, 23);
  // Past the text on that row: the end.
  EXPECT_EQ(Edit(text, pos, {Click(7, 19), kEnter}, 10), forms::kKeyEnter);
  EXPECT_EQ(pos, 26);
  // A choice field: the arrows step, a click off the row leaves.
  forms::SetChoiceList("|A,Alfa|B,Beta");
  text = "A";
  EXPECT_EQ(Edit(text, pos, {Click(5, 14), Click(4, 10)}), -(100 * 10 + 4));
  EXPECT_EQ(text, "B");
}

TEST_F(LineEditor, HiddenInputShowsOnlyMaskCharacters) {
  forms::SetKeyList("h", "");
  std::string text(6, ' ');
  int16_t pos = 1;
  Edit(text, pos, {Ch('p'), Ch('w'), kEnter});
  forms::SetKeyList("v", "");
  EXPECT_EQ(text, "pw    ");
  EXPECT_EQ(mc.terminal().Text(5, 10, 16), "XXXXXX ");
}

TEST_F(LineEditor, ClipboardCopyAndPaste) {
  std::string text = "  ab cd   ";
  int16_t pos = 1;
  Edit(text, pos, {Ch(3), kEnter});
  EXPECT_EQ(platform::ClipboardText(), "ab cd");
  platform::SetClipboardText(" x\x01y\x7fz\xff  and more text ");
  text = "0123456789";
  pos = 4;
  Edit(text, pos, {Ch(22), kEnter});
  EXPECT_EQ(text, "012xyz  an");  // control bytes dropped, blanks trimmed, the rest lost
  EXPECT_EQ(pos, 4);
  forms::SetChoiceList("|A,Alfa|B,Beta");
  text = "B";
  Edit(text, pos, {Ch(3), kEnter});
  EXPECT_EQ(platform::ClipboardText(), "Beta");
}

}  // namespace
