#include "console/screen.h"

#include <gtest/gtest.h>

#include <string>

#include "console/colour.h"
#include "console/console_state.h"
#include "console/window_stack.h"
#include "tests/support/memory_console.h"

namespace {

using namespace testing_support;

TEST(LocateInWindow, AbsoluteWithoutAWindowRelativeToTheFrameWithOne) {
  MemoryConsole mc;
  console::LocateInWindow(1, 1);
  EXPECT_EQ(mc.terminal().CursorRow(), 1);
  EXPECT_EQ(mc.terminal().CursorColumn(), 1);
  console::PushWindow(4, 1, 22, 80);
  console::LocateInWindow(1, 1);
  EXPECT_EQ(mc.terminal().CursorRow(), 5);
  EXPECT_EQ(mc.terminal().CursorColumn(), 2);
  console::LocateInWindow(0, 3);
  EXPECT_EQ(mc.terminal().CursorRow(), 4);
  EXPECT_EQ(mc.terminal().CursorColumn(), 4);
}

TEST(WindowLimits, InsideOfTheCurrentWindowOrTheWholeScreen) {
  MemoryConsole mc;
  EXPECT_EQ(console::WindowFirstRow(), 1);
  EXPECT_EQ(console::WindowFirstColumn(), 1);
  EXPECT_EQ(console::WindowLastColumn(), 80);
  EXPECT_EQ(console::ScreenRows(), 25);
  EXPECT_EQ(console::ScreenColumns(), 80);
  console::PushWindow(1, 59, 24, 80);
  EXPECT_EQ(console::WindowFirstRow(), 2);
  EXPECT_EQ(console::WindowFirstColumn(), 60);
  EXPECT_EQ(console::WindowLastColumn(), 79);
}

TEST(DrawWindowFrame, NothingWithoutAWindow) {
  MemoryConsole mc;
  mc.terminal().Write("abc");
  console::DrawWindowFrame(1);
  EXPECT_EQ(mc.terminal().Text(1, 1, 4), "abc ");
  EXPECT_EQ(mc.terminal().CursorColumn(), 4);
}

TEST(DrawWindowFrame, FramesTheWindowAndBlanksItsInside) {
  struct Case {
    int16_t style;
    const char* top;
    const char* middle;
    const char* bottom;
  } cases[] = {
      {1, "\xDA\xC4\xC4\xC4\xBF", "\xB3   \xB3", "\xC0\xC4\xC4\xC4\xD9"},
      {2, "\xC9\xCD\xCD\xCD\xBB", "\xBA   \xBA", "\xC8\xCD\xCD\xCD\xBC"},
      {0, "     ", "     ", "     "},
  };
  for (const Case& c : cases) {
    MemoryConsole mc;
    for (int16_t r = 1; r <= 6; ++r) {
      mc.terminal().MoveCursor(r, 1);
      mc.terminal().Write("#######");
    }
    console::PushWindow(2, 2, 5, 6);
    console::SetColour("r");
    console::DrawWindowFrame(c.style);
    EXPECT_EQ(mc.terminal().Text(1, 1, 7), "#######") << c.style;
    EXPECT_EQ(mc.terminal().Text(2, 1, 7), std::string("#") + c.top + "#") << c.style;
    EXPECT_EQ(mc.terminal().Text(3, 1, 7), std::string("#") + c.middle + "#") << c.style;
    EXPECT_EQ(mc.terminal().Text(4, 1, 7), std::string("#") + c.middle + "#") << c.style;
    EXPECT_EQ(mc.terminal().Text(5, 1, 7), std::string("#") + c.bottom + "#") << c.style;
    EXPECT_EQ(mc.terminal().ReadCell(3, 4).attribute, kReverse);
    EXPECT_EQ(mc.terminal().CursorRow(), 5);
    EXPECT_EQ(mc.terminal().CursorColumn(), 7);
  }
}

TEST(ScrollArea, TakesZeroBasedCoordinates) {
  MemoryConsole mc;
  for (int16_t r = 1; r <= 4; ++r) {
    mc.terminal().MoveCursor(r, 1);
    mc.terminal().Write(std::string(4, static_cast<char>('0' + r)));
  }
  console::SetColour("u");
  console::ScrollArea(1, 1, 2, 2, 1);  // rows 2..3, columns 2..3
  EXPECT_EQ(mc.terminal().Text(1, 1, 4), "1111");
  EXPECT_EQ(mc.terminal().Text(2, 1, 4), "2332");
  EXPECT_EQ(mc.terminal().Text(3, 1, 4), "3  3");
  EXPECT_EQ(mc.terminal().Text(4, 1, 4), "4444");
  EXPECT_EQ(mc.terminal().ReadCell(3, 2).attribute, kField);
  console::ScrollArea(0, 0, 3, 0, -2);  // column 1 down by two
  EXPECT_EQ(mc.terminal().Text(1, 1, 1), " ");
  EXPECT_EQ(mc.terminal().Text(3, 1, 1), "1");
  EXPECT_EQ(mc.terminal().Text(4, 1, 1), "2");
}

TEST(ValueStack, LastInFirstOutWithTheLengthAfterEachValue) {
  MemoryConsole mc;
  console::PushValue("abc");
  console::PushValue("");
  EXPECT_EQ(console::Console().valueStack, std::string("abc\x03\x00\x00\x00", 7));
  EXPECT_EQ(console::PopValue(), "");
  EXPECT_EQ(console::PopValue(), "abc");
  EXPECT_EQ(console::Console().valueStack, "");
  EXPECT_EQ(console::PopValue(), "");  // empty stack: an empty text
}

TEST(ValueStack, KeepsBinaryValuesAndCutsAtTheLengthLimit) {
  MemoryConsole mc;
  const std::string binary("\x00\xFF\x01", 3);
  const std::string big(40000, 'x');
  console::PushValue(binary);
  console::PushValue(big);
  EXPECT_EQ(console::PopValue(), std::string(32767, 'x'));
  EXPECT_EQ(console::PopValue(), binary);
}

// The message window's rows and columns on the screen.
struct Box {
  int top = 0, left = 0, bottom = 0, right = 0;
};

Box FindBox(const platform::MemoryTerminal& t) {
  Box b;
  for (int16_t r = 1; r <= 25; ++r) {
    for (int16_t c = 1; c <= 80; ++c) {
      if (t.ReadCell(r, c).character == 0xDA) b = {r, c, 0, 0};
      if (t.ReadCell(r, c).character == 0xD9) {
        b.bottom = r;
        b.right = c;
      }
    }
  }
  return b;
}

TEST(ShowMessage, PlacesTheWindowNearTheRow) {
  struct Case {
    const char* name;
    int16_t row;
    std::string text;
    Box box;
  } cases[] = {
      // One line of L = 11 characters: left = 39 - 6, right = 42 + 5.
      {"one line at row 12", 12, "HELLO WORLD", {9, 33, 11, 47}},
      {"one line at row 24", 24, "HELLO WORLD", {21, 33, 23, 47}},
      {"row 2 is raised to the top", 2, "HELLO WORLD", {1, 33, 3, 47}},
      {"row 25 stays on the screen", 25, "HELLO WORLD", {22, 33, 24, 47}},
  };
  for (const Case& c : cases) {
    MemoryConsole mc;
    console::ShowMessage(c.row, c.text);
    Box b = FindBox(mc.terminal());
    EXPECT_EQ(b.top, c.box.top) << c.name;
    EXPECT_EQ(b.left, c.box.left) << c.name;
    EXPECT_EQ(b.bottom, c.box.bottom) << c.name;
    EXPECT_EQ(b.right, c.box.right) << c.name;
    EXPECT_EQ(mc.terminal().Text(static_cast<int16_t>(b.top + 1), static_cast<int16_t>(b.left),
                                 static_cast<int16_t>(b.right)),
              "\xB3 HELLO WORLD \xB3")
        << c.name;
    EXPECT_EQ(mc.terminal().ReadCell(static_cast<int16_t>(b.top + 1), 35).attribute, kReverse);
    EXPECT_EQ(console::Console().window.windowDepth, 1) << c.name;
  }
}

TEST(ShowMessage, ALongTextTakesThreeLinesAroundRowTwelve) {
  MemoryConsole mc;
  std::string text;
  for (int i = 0; i < 40; ++i) text += "abcd ";  // 200 characters
  console::ShowMessage(12, text);
  Box b = FindBox(mc.terminal());
  EXPECT_EQ(b.top, 8);
  EXPECT_EQ(b.bottom, 12);
  // The longest line without trailing blanks, plus frame and a blank each side.
  const int longest = 74;  // 15 words of "abcd " fill 75 characters, the last blank cut
  EXPECT_EQ(b.right - b.left + 1, longest + 4);
  EXPECT_EQ(b.left, 39 - (longest + 1) / 2);
}

TEST(ShowMessage, TooTallOrEmptyDrawsNothingAndKeepsTheColour) {
  for (const std::string& text : {std::string(76 * 30, 'x'), std::string()}) {
    MemoryConsole mc;
    console::SetColour("u");
    console::ShowMessage(12, text);
    EXPECT_EQ(console::Console().window.windowDepth, 0);
    EXPECT_EQ(console::Console().colourIndex, 4);
    EXPECT_EQ(console::Console().colourStack, "");
    EXPECT_EQ(mc.terminal().Attribute(), kField);
    EXPECT_EQ(mc.terminal().Line(12), std::string(80, ' '));
  }
}

TEST(ShowMessage, PopWindowTakesTheMessageAwayAndTheColourIsBack) {
  MemoryConsole mc;
  mc.terminal().MoveCursor(10, 30);
  mc.terminal().Write("under the message");
  console::SetColour("u");
  console::ShowMessage(12, "NO ES POT ACCEDIR AL FITXER DADES\\PropietH (12)");
  EXPECT_EQ(console::Console().colourIndex, 4);
  EXPECT_NE(mc.terminal().Line(10).find("NO ES POT"), std::string::npos);
  console::PopWindow();
  EXPECT_NE(mc.terminal().Line(10).find("under the message"), std::string::npos);
  EXPECT_EQ(console::Console().window.windowDepth, 0);
}

}  // namespace
