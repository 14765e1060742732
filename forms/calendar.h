#pragma once
// The calendar pop-up (Alt+C): one quarter of a year at the right edge of the
// console, a highlighted day moved with the arrow and page keys and taken with F.
//
// Window (1, 59, 24, 80), single frame; rows relative to it:
//   0                   the year, on the frame
//   1                   weekday header, Monday first
//   2, 9, 16            titles of the quarter's three months
//   3..8, 10..15, 17..22  six week rows of each month; day d of a month titled on row
//                       T sits on row T + 1 + (weekday of day 1 + d - 2) div 7,
//                       column 3 x weekday(d) - 2 (1 Monday .. 7 Sunday)

#include <cstdint>
#include <string>

namespace forms {

// Days of a month (1 .. 12) of a year: February has 29 in years divisible by 4 and,
// when divisible by 100, also by 400.
int16_t MonthLength(int year, int month);

// Runs the calendar from the session's working date (today's date when the session
// has none, or an impossible one) and returns the chosen date as DateText(date, 0,
// "dma"); "" after Esc. F, f and Alt+F accept; Right/Left move a day, Down/Up a week,
// PgDn/PgUp a quarter, Home/End to January/December. Moves that would leave the
// years 1 .. 9999 are ignored.
std::string DatePopup();

}  // namespace forms
