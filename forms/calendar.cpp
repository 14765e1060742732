#include "forms/calendar.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>

#include "console/colour.h"
#include "console/screen.h"
#include "console/window_stack.h"
#include "format/date_text.h"
#include "format/number_mask.h"
#include "format/packed_date.h"
#include "format/text.h"
#include "forms/keys.h"
#include "platform/clock.h"
#include "platform/terminal.h"
#include "session/session.h"

namespace forms {
namespace {

constexpr const char* kCalendarKeys = "4d00,4b00,5000,4800,5100,4900,4700,4f00,2100,1b";
constexpr int kFirstYear = 1;
constexpr int kLastYear = 9999;

struct Calendar {
  int year = 0;
  int month = 0;
  int day = 0;
  int firstMonth = 1;                      // of the quarter shown
  std::array<int16_t, 13> lengths{};       // month lengths of the year shown, 1-based
  std::array<int16_t, 13> firstWeekDay{};  // weekday of day 1 of each month shown
};

std::string PackedDate(int year, int month, int day) {
  return format::PackDigits(format::ZeroPad(year * 10000.0 + month * 100 + day, 8));
}

std::string TwoDigits(int value) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "%2d", value);
  return buffer;
}

int DayRow(const Calendar& c, int month, int day) {
  const int title = 2 + 7 * (month - c.firstMonth);
  return title + 1 + (c.firstWeekDay[static_cast<size_t>(month)] + day - 2) / 7;
}

int WeekDayOf(const Calendar& c, int month, int day) {
  return (c.firstWeekDay[static_cast<size_t>(month)] + day - 2) % 7 + 1;
}

void PrintDay(const Calendar& c) {
  console::LocateInWindow(static_cast<int16_t>(DayRow(c, c.month, c.day)),
                          static_cast<int16_t>(3 * WeekDayOf(c, c.month, c.day) - 2));
  console::Print(TwoDigits(c.day));
}

// Three blanks for an empty day cell, cut at the window's inside so the frame stays.
void BlankCell(int row, int weekDay) {
  const int column = 3 * weekDay - 2;
  const int inside = console::WindowLastColumn() - console::WindowFirstColumn() + 1;
  console::LocateInWindow(static_cast<int16_t>(row), static_cast<int16_t>(column));
  console::Print(
      std::string(static_cast<size_t>(std::max(0, std::min(3, inside - column + 1))), ' '));
}

void Draw(Calendar& c) {
  c.firstMonth = (c.month - 1) / 3 * 3 + 1;
  for (int m = 1; m <= 12; ++m) {
    c.lengths[static_cast<size_t>(m)] = MonthLength(c.year, m);
    c.firstWeekDay[static_cast<size_t>(m)] = format::WeekDay(PackedDate(c.year, m, 1));
  }
  const int first = console::WindowFirstColumn();
  const int last = console::WindowLastColumn();
  console::SetColour("n");
  char year[16];
  std::snprintf(year, sizeof year, " %4d ", c.year);
  console::LocateInWindow(0, static_cast<int16_t>((last - first - 5) / 2 + 1));
  console::Print(year);
  const std::string& language = session::Session().languageCode;
  const char* header = (language == "SPA" || language == "GLG") ? " L  M  X  J  V  S  D"
                       : language == "OCI"                      ? "DL DT DC DJ DD DS DG"
                                                                : "DL DT DC DJ DV DS DG";
  console::LocateInWindow(1, 1);
  console::Print(header);

  for (int m = c.firstMonth; m < c.firstMonth + 3; ++m) {
    const int title = 2 + 7 * (m - c.firstMonth);
    console::SetColour("n");
    console::LocateInWindow(static_cast<int16_t>(title), 1);
    console::Print(std::string(static_cast<size_t>(std::max(0, last - first + 1)), ' '));
    const std::string name = format::FoldText(format::DateText(PackedDate(c.year, m, 1), 2, "m"));
    const int column = ((last - first) - static_cast<int>(name.size()) + 1) / 2 + 1;
    console::LocateInWindow(static_cast<int16_t>(title), static_cast<int16_t>(std::max(1, column)));
    console::Print(name);

    console::SetColour("h");
    const int start = c.firstWeekDay[static_cast<size_t>(m)];
    const int length = c.lengths[static_cast<size_t>(m)];
    for (int cell = 1; cell <= 42; ++cell) {
      const int row = title + 1 + (cell - 1) / 7;
      const int weekDay = (cell - 1) % 7 + 1;
      const int day = cell - start + 1;
      if (day < 1 || day > length) {
        BlankCell(row, weekDay);
      } else {
        console::LocateInWindow(static_cast<int16_t>(row), static_cast<int16_t>(3 * weekDay - 2));
        console::Print(TwoDigits(day));
      }
    }
  }
}

// A day move (Right, Left, Down, Up) normalised into a valid date, redrawing when the
// quarter changes.
void MoveDay(Calendar& c, int delta) {
  Calendar next = c;
  next.day += delta;
  bool redraw = false;
  if (next.day < 1) --next.month;
  if (next.month < next.firstMonth) {
    if (next.month < 1) {
      next.month += 12;
      --next.year;
    }
    redraw = true;
  }
  if (redraw && next.year >= kFirstYear) {
    next.firstMonth = (next.month - 1) / 3 * 3 + 1;
    for (int m = 1; m <= 12; ++m) next.lengths[static_cast<size_t>(m)] = MonthLength(next.year, m);
  }
  if (next.day < 1) next.day += next.lengths[static_cast<size_t>(next.month)];
  if (next.day > next.lengths[static_cast<size_t>(next.month)]) {
    next.day -= next.lengths[static_cast<size_t>(next.month)];
    ++next.month;
  }
  if (next.month > next.firstMonth + 2) {
    if (next.month > 12) {
      next.month -= 12;
      ++next.year;
    }
    redraw = true;
  }
  if (next.year < kFirstYear || next.year > kLastYear) return;
  c = next;
  if (redraw) Draw(c);
}

bool ValidDate(int year, int month, int day) {
  return year >= kFirstYear && year <= kLastYear && month >= 1 && month <= 12 && day >= 1 &&
         day <= MonthLength(year, month);
}

void StartDate(Calendar& c) {
  const std::string& date = session::Session().sessionDate;
  if (date.size() >= 4) {
    c.year = std::atoi(format::UnpackDigits(date.substr(0, 2)).c_str());
    c.month = std::atoi(format::UnpackDigits(date.substr(2, 1)).c_str());
    c.day = std::atoi(format::UnpackDigits(date.substr(3, 1)).c_str());
  }
  if (!ValidDate(c.year, c.month, c.day)) {
    const platform::CalendarDate today = platform::Today();
    c.year = today.year;
    c.month = today.month;
    c.day = today.day;
  }
}

}  // namespace

int16_t MonthLength(int year, int month) {
  int length = 30 + ((1 + ((1 + month) % 9)) % 2);
  if (month == 2) {
    length -= 2;
    if (year % 4 == 0 && (year % 100 != 0 || year % 400 == 0)) ++length;
  }
  return static_cast<int16_t>(length);
}

std::string DatePopup() {
  SetKeyList("+ea", kCalendarKeys);
  console::SetColour("+n");
  platform::Terminal& terminal = platform::CurrentTerminal();
  terminal.ShowCursor(false);
  console::PushWindow(1, 59, 24, 80);
  console::DrawWindowFrame(1);

  Calendar c;
  StartDate(c);
  Draw(c);

  std::string result;
  for (;;) {
    console::SetColour("+u");
    PrintDay(c);
    int16_t key = 0;
    WaitKey(key);
    console::SetColour("-");
    PrintDay(c);
    if (key == 'F' || key == 'f' || key == kKeyAltF) {
      result = format::DateText(PackedDate(c.year, c.month, c.day), 0, "dma");
      break;
    }
    if (key == kKeyEsc) break;
    switch (key) {
      case kKeyRight:
        MoveDay(c, 1);
        break;
      case kKeyLeft:
        MoveDay(c, -1);
        break;
      case kKeyDown:
        MoveDay(c, 7);
        break;
      case kKeyUp:
        MoveDay(c, -7);
        break;
      case kKeyPageDown:
      case kKeyPageUp: {
        int month = c.month + (key == kKeyPageDown ? 3 : -3);
        int year = c.year;
        if (month < 1) {
          month += 12;
          --year;
        } else if (month > 12) {
          month -= 12;
          ++year;
        }
        if (year < kFirstYear || year > kLastYear) break;
        // The day is cut with the month lengths of the year shown before the move, and
        // then to the new month's own length, so that no move ends on a date that does
        // not exist (29 February of a common year after a leap one).
        c.day = std::min<int>(c.day, c.lengths[static_cast<size_t>(month)]);
        c.day = std::min<int>(c.day, MonthLength(year, month));
        c.month = month;
        c.year = year;
        Draw(c);
        break;
      }
      case kKeyHome:
        c.month = 1;
        if (c.firstMonth != 1) Draw(c);
        break;
      case kKeyEnd:
        c.month = 12;
        if (c.firstMonth != 10) Draw(c);
        break;
      default:
        break;
    }
  }

  console::PopWindow();
  terminal.ShowCursor(true);
  console::SetColour("-");
  SetKeyList("-", "");
  return result;
}

}  // namespace forms
