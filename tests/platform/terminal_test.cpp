#include "platform/terminal.h"

#include <gtest/gtest.h>

#include "platform/clipboard.h"
#include "platform/terminal_memory.h"

namespace {

using platform::Cell;
using platform::MemoryTerminal;

TEST(TerminalGrid, StartsBlankGreyOnBlackWithTheCursorHome) {
  MemoryTerminal t;
  EXPECT_EQ(t.Rows(), 25);
  EXPECT_EQ(t.Columns(), 80);
  EXPECT_EQ(t.ReadCell(1, 1), (Cell{' ', 0x07}));
  EXPECT_EQ(t.ReadCell(25, 80), (Cell{' ', 0x07}));
  EXPECT_EQ(t.CursorRow(), 1);
  EXPECT_EQ(t.CursorColumn(), 1);
}

TEST(TerminalGrid, WriteAdvancesAndWrapsButNeverScrolls) {
  MemoryTerminal t;
  t.SetAttribute(0x1E);
  t.MoveCursor(1, 79);
  t.Write("abc");
  EXPECT_EQ(t.Text(1, 79, 80), "ab");
  EXPECT_EQ(t.ReadCell(2, 1), (Cell{'c', 0x1E}));
  EXPECT_EQ(t.CursorRow(), 2);
  EXPECT_EQ(t.CursorColumn(), 2);

  t.MoveCursor(25, 79);
  t.Write("xyz");  // z has no room: dropped, nothing scrolls
  EXPECT_EQ(t.Text(25, 79, 80), "xy");
  EXPECT_EQ(t.ReadCell(1, 1).character, ' ');
  EXPECT_EQ(t.ReadCell(2, 1).character, 'c');
  EXPECT_EQ(t.CursorRow(), 25);
  EXPECT_EQ(t.CursorColumn(), 80);
  t.MoveCursor(25, 80);
  t.Write("w");
  EXPECT_EQ(t.ReadCell(25, 80).character, 'w');
}

TEST(TerminalGrid, ControlBytesAreCharactersLikeAnyOther) {
  MemoryTerminal t;
  t.Write(std::string("\x10\x11\r\n\0", 5));
  EXPECT_EQ(t.Text(1, 1, 5), std::string("\x10\x11\r\n\0", 5));
  EXPECT_EQ(t.CursorColumn(), 6);
}

TEST(TerminalGrid, CursorPositionsAreKeptOnTheGrid) {
  struct Case {
    int16_t row, column, wantRow, wantColumn;
  } cases[] = {{0, 0, 1, 1}, {-5, 90, 1, 80}, {26, 40, 25, 40}, {12, 40, 12, 40}};
  for (const Case& c : cases) {
    MemoryTerminal t;
    t.MoveCursor(c.row, c.column);
    EXPECT_EQ(t.CursorRow(), c.wantRow) << c.row << "," << c.column;
    EXPECT_EQ(t.CursorColumn(), c.wantColumn) << c.row << "," << c.column;
  }
}

TEST(TerminalGrid, ReadingOutsideTheGridGivesABlankCell) {
  MemoryTerminal t;
  t.SetAttribute(0x4F);
  t.Clear();
  EXPECT_EQ(t.ReadCell(0, 1), Cell{});
  EXPECT_EQ(t.ReadCell(26, 1), Cell{});
  EXPECT_EQ(t.ReadCell(1, 81), Cell{});
  EXPECT_EQ(t.ReadCell(1, 1), (Cell{' ', 0x4F}));
}

// Rows 1..5 hold "1".."5" in columns 1..3, and "#" in column 4.
void NumberRows(MemoryTerminal& t) {
  for (int16_t r = 1; r <= 5; ++r) {
    t.MoveCursor(r, 1);
    t.Write(std::string(3, static_cast<char>('0' + r)) + "#");
  }
}

TEST(TerminalGrid, ScrollMovesOnlyTheRectangle) {
  struct Case {
    int16_t lines;
    const char* rows[5];  // columns 1..4 of rows 1..5 afterwards
  } cases[] = {
      {1, {"111#", "333#", "444#", "   #", "555#"}},
      {-1, {"111#", "   #", "222#", "333#", "555#"}},
      {2, {"111#", "444#", "   #", "   #", "555#"}},
      {3, {"111#", "   #", "   #", "   #", "555#"}},
      {-7, {"111#", "   #", "   #", "   #", "555#"}},
      {0, {"111#", "222#", "333#", "444#", "555#"}},
  };
  for (const Case& c : cases) {
    MemoryTerminal t;
    NumberRows(t);
    t.SetAttribute(0x70);
    t.ScrollRect(2, 1, 4, 3, c.lines);
    for (int16_t r = 1; r <= 5; ++r) EXPECT_EQ(t.Text(r, 1, 4), c.rows[r - 1]) << c.lines;
    if (c.lines > 0) {
      EXPECT_EQ(t.ReadCell(4, 1).attribute, 0x70);
    }
  }
}

TEST(TerminalGrid, ScrollClipsARectanglePastTheEdges) {
  MemoryTerminal t;
  NumberRows(t);
  t.ScrollRect(-3, -3, 99, 99, 1);
  EXPECT_EQ(t.Text(1, 1, 4), "222#");
  EXPECT_EQ(t.Text(25, 1, 4), "    ");
}

TEST(MemoryTerminalInput, ScriptedEventsComeInOrderThenNothing) {
  MemoryTerminal t;
  t.PushText("a");
  t.PushScan(platform::scan::kF1, platform::kShift);
  platform::InputEvent e;
  ASSERT_TRUE(t.PollEvent(e));
  EXPECT_EQ(e.character, 'a');
  ASSERT_TRUE(t.PollEvent(e));
  EXPECT_EQ(e.scanCode, platform::scan::kF1);
  EXPECT_EQ(e.modifiers, platform::kShift);
  EXPECT_FALSE(t.PollEvent(e));
  EXPECT_EQ(e.kind, platform::EventKind::kNone);
  EXPECT_FALSE(t.Starved());
}

TEST(MemoryTerminalInput, MouseEventsArriveOnlyWhileReportingIsOn) {
  MemoryTerminal t;
  t.PushMouseRelease(3, 4, 1);
  platform::InputEvent e;
  EXPECT_FALSE(t.PollEvent(e));
  t.SetMouseReporting(true);
  t.PushMouseRelease(3, 4, 2);
  ASSERT_TRUE(t.PollEvent(e));
  EXPECT_EQ(e.kind, platform::EventKind::kMouse);
  EXPECT_EQ(e.button, 2);
  EXPECT_EQ(e.row, 3);
  EXPECT_EQ(e.column, 4);
}

TEST(MemoryTerminalInput, DiscardDropsWhatWasTypedBeforeTheMarkOnly) {
  MemoryTerminal t;
  t.PushText("ab");
  t.PushTypedLater();
  t.PushText("c");
  t.DiscardInput();
  platform::InputEvent e;
  ASSERT_TRUE(t.PollEvent(e));
  EXPECT_EQ(e.character, 'c');
  t.PushText("d");
  t.DiscardInput();
  EXPECT_FALSE(t.PollEvent(e));
}

TEST(MemoryTerminalInput, AWaitWithNothingLeftIsAnsweredWithEscAndFlagged) {
  MemoryTerminal t;
  EXPECT_TRUE(t.WaitForInput(-1));
  EXPECT_TRUE(t.Starved());
  platform::InputEvent e;
  ASSERT_TRUE(t.PollEvent(e));
  EXPECT_EQ(e.character, 27);
}

TEST(TerminalAccess, InstallingReplacesTheCurrentTerminal) {
  auto owned = std::make_unique<MemoryTerminal>();
  MemoryTerminal* raw = owned.get();
  platform::InstallTerminal(std::move(owned));
  EXPECT_EQ(&platform::CurrentTerminal(), raw);
  platform::CurrentTerminal().Write("x");
  platform::InstallTerminal(nullptr);  // a fresh in-memory terminal
  EXPECT_EQ(platform::CurrentTerminal().ReadCell(1, 1).character, ' ');
}

TEST(TerminalAccess, InsertToggleStartsOffAndIsShared) {
  EXPECT_FALSE(platform::InsertToggle());
  platform::SetInsertToggle(true);
  EXPECT_TRUE(platform::InsertToggle());
  platform::SetInsertToggle(false);
}

TEST(Clipboard, KeepsTheTextAndHandsItToTheTerminalAsUtf8) {
  auto owned = std::make_unique<MemoryTerminal>();
  MemoryTerminal& t = *owned;
  platform::InstallTerminal(std::move(owned));
  platform::SetClipboardText(
      "Pla\x87"
      "a");  // "Plaça" in code page 850
  EXPECT_EQ(platform::ClipboardText(),
            "Pla\x87"
            "a");
  EXPECT_EQ(t.ClipboardSent(),
            "Pla\xC3\xA7"
            "a");
  platform::InstallTerminal(nullptr);
}

}  // namespace
