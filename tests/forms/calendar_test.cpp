#include "forms/calendar.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "console/console_state.h"
#include "format/date_text.h"
#include "format/packed_date.h"
#include "format/text.h"
#include "forms/keys.h"
#include "platform/clock.h"
#include "tests/support/memory_console.h"

namespace {

using namespace testing_support;
namespace scan = platform::scan;

std::string Packed(const std::string& yyyymmdd) {
  return format::PackDigits(yyyymmdd);
}

// What the calendar returns for a date: the date in figures, as screens show it.
std::string Shown(const std::string& yyyymmdd) {
  return format::DateText(Packed(yyyymmdd), 0, "dma");
}

struct MoveCase {
  const char* name;
  const char* start;
  std::vector<int> keys;  // scan codes (0x100 + c for the character c)
  const char* result;
};

void Push(platform::MemoryTerminal& t, int key) {
  if (key >= 0x100) {
    t.PushCharacter(static_cast<uint8_t>(key - 0x100));
  } else {
    t.PushScan(static_cast<uint8_t>(key));
  }
}

constexpr int Char(char c) {
  return 0x100 + static_cast<unsigned char>(c);
}

TEST(DatePopup, MovesAcrossMonthsQuartersAndYears) {
  const MoveCase cases[] = {
      {"F takes the session date", "20260315", {}, "20260315"},
      {"Right", "20260315", {scan::kRight}, "20260316"},
      {"Left from the first day of a quarter", "20260401", {scan::kLeft}, "20260331"},
      {"Left from 1 January", "20240101", {scan::kLeft}, "20231231"},
      {"Right from 31 December", "20251231", {scan::kRight}, "20260101"},
      {"Down from the 28th of a 31-day month", "20260128", {scan::kDown}, "20260204"},
      {"Down into the next quarter", "20260328", {scan::kDown}, "20260404"},
      {"Up into the previous year", "20260103", {scan::kUp}, "20251227"},
      {"PgDn cuts the day to the month", "20260131", {scan::kPageDown}, "20260430"},
      {"PgDn from October into the next year", "20261031", {scan::kPageDown}, "20270131"},
      {"PgDn cuts with the lengths of the year shown", "20231130", {scan::kPageDown}, "20240228"},
      {"PgDn never ends on a date that does not exist", "20241130", {scan::kPageDown}, "20250228"},
      {"PgUp", "20260531", {scan::kPageUp}, "20260228"},
      {"PgUp from January into the previous year", "20260115", {scan::kPageUp}, "20251015"},
      {"Home", "20260815", {scan::kHome}, "20260115"},
      {"End", "20260815", {scan::kEnd}, "20261215"},
      {"29 February 2000", "20000228", {scan::kRight}, "20000229"},
      {"no 29 February 1900", "19000228", {scan::kRight}, "19000301"},
      {"Enter does nothing", "20260315", {Char('\r'), Char('x')}, "20260315"},
      {"a year before 1 is not reached", "00010101", {scan::kLeft, scan::kPageUp}, "00010101"},
  };
  for (const MoveCase& c : cases) {
    for (int accept : {Char('F'), Char('f'), 0x21 /* Alt+F */}) {
      MemoryConsole mc;
      session::Session().sessionDate = Packed(c.start);
      for (int key : c.keys) Push(mc.terminal(), key);
      if (accept == 0x21) {
        mc.terminal().PushScan(0x21, platform::kRightAlt);
      } else {
        Push(mc.terminal(), accept);
      }
      EXPECT_EQ(forms::DatePopup(), Shown(c.result)) << c.name;
      EXPECT_FALSE(mc.terminal().Starved()) << c.name;
    }
  }
}

TEST(DatePopup, EscReturnsNothingAndLeavesEverythingAsItWas) {
  MemoryConsole mc;
  session::Session().sessionDate = Packed("20260315");
  forms::SetKeyList("a", "d");
  mc.terminal().Write("screen");
  console::Console().colourIndex = 1;
  mc.terminal().PushScan(scan::kPageDown);
  mc.terminal().PushCharacter(27);
  EXPECT_EQ(forms::DatePopup(), "");
  EXPECT_EQ(mc.terminal().Line(1), "screen" + std::string(74, ' '));
  EXPECT_EQ(mc.terminal().Line(18), std::string(80, ' '));
  EXPECT_EQ(forms::Input().activeKeys, std::vector<int16_t>{13});
  EXPECT_EQ(console::Console().colourStack, "");
  EXPECT_EQ(console::Console().window.windowDepth, 0);
  EXPECT_TRUE(mc.terminal().CursorVisible());
}

TEST(DatePopup, AQuarterAtTheRightEdge) {
  MemoryConsole mc;
  session::Session().sessionDate = Packed("20260315");  // a Sunday, as is 1 March
  platform::MemoryTerminal& t = mc.terminal();
  t.RecordScreens(true);
  t.PushCharacter(27);
  forms::DatePopup();
  ASSERT_EQ(t.ScreenCount(), 1u);
  // Frame from (1, 59) to (24, 80), the year on its top edge.
  EXPECT_EQ(t.ScreenCell(0, 1, 59).character, 0xDA);
  EXPECT_EQ(t.ScreenCell(0, 24, 80).character, 0xD9);
  EXPECT_EQ(t.ScreenLine(0, 1).substr(66, 6), " 2026 ");
  EXPECT_EQ(t.ScreenLine(0, 2).substr(59, 20), "DL DT DC DJ DV DS DG");
  // Month titles on rows 3, 10 and 17, centred.
  for (int m = 1; m <= 3; ++m) {
    const std::string name =
        format::FoldText(format::DateText(Packed("20260" + std::to_string(m) + "01"), 2, "m"));
    EXPECT_NE(t.ScreenLine(0, static_cast<int16_t>(3 + 7 * (m - 1))).find(name), std::string::npos)
        << name;
  }
  // 1 January 2026 is a Thursday: row 4, column 59 + 3 x 4 - 2.
  EXPECT_EQ(t.ScreenLine(0, 4).substr(68, 2), " 1");
  EXPECT_EQ(t.ScreenLine(0, 4).substr(59, 9), std::string(9, ' '));
  // 1 and 15 March are Sundays: rows 18 and 20, column 78; the 15th highlighted.
  EXPECT_EQ(t.ScreenLine(0, 18).substr(77, 2), " 1");
  EXPECT_EQ(t.ScreenLine(0, 20).substr(77, 2), "15");
  EXPECT_EQ(t.ScreenCell(0, 20, 78).attribute, kField);
  EXPECT_EQ(t.ScreenCell(0, 19, 78).attribute, kHighlight);
  // Blank cells on Sundays do not cut the frame.
  for (int16_t r = 2; r <= 23; ++r) EXPECT_EQ(t.ScreenCell(0, r, 80).character, 0xB3) << r;
}

TEST(DatePopup, ANewQuarterLeavesNoDaysOfTheOldOne) {
  MemoryConsole mc;
  session::Session().sessionDate = Packed("20260131");
  platform::MemoryTerminal& t = mc.terminal();
  t.RecordScreens(true);
  t.PushScan(scan::kPageDown);
  t.PushCharacter(27);
  forms::DatePopup();
  ASSERT_EQ(t.ScreenCount(), 2u);
  // April 2026 begins on a Wednesday, and June ends on Tuesday the 30th in its fifth
  // week: what lies around them is blank, though January and March had days there.
  EXPECT_EQ(t.ScreenLine(1, 4).substr(59, 6), std::string(6, ' '));
  EXPECT_EQ(t.ScreenLine(1, 4).substr(65, 2), " 1");
  EXPECT_EQ(t.ScreenLine(1, 22).substr(59, 20), "29 30               ");
  EXPECT_EQ(t.ScreenLine(1, 23).substr(59, 20), std::string(20, ' '));
  EXPECT_EQ(t.ScreenLine(0, 23).substr(59, 20), "30 31               ");
}

TEST(DatePopup, WithoutASessionDateItStartsToday) {
  MemoryConsole mc;
  platform::SetToday(platform::CalendarDate{2026, 7, 9});
  for (const std::string& date : {std::string(), Packed("20261340"), std::string("xy")}) {
    session::Session().sessionDate = date;
    mc.terminal().PushCharacter('F');
    EXPECT_EQ(forms::DatePopup(), Shown("20260709"));
  }
  platform::SetToday(std::nullopt);
}

TEST(MonthLength, TheCalendarRules) {
  struct Case {
    int year, month, length;
  } cases[] = {{2026, 1, 31}, {2026, 2, 28},  {2026, 4, 30}, {2026, 7, 31}, {2026, 8, 31},
               {2026, 9, 30}, {2026, 12, 31}, {2024, 2, 29}, {2000, 2, 29}, {1900, 2, 28}};
  for (const auto& c : cases)
    EXPECT_EQ(forms::MonthLength(c.year, c.month), c.length) << c.year << "-" << c.month;
}

}  // namespace
