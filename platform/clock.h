#pragma once
// The local date, pauses and random numbers.

#include <optional>

namespace platform {

struct CalendarDate {
  int year = 0;   // four digits
  int month = 0;  // 1 .. 12
  int day = 0;    // 1 .. 31
};

// Today's local date. Tests fix it with SetToday; a whole process (an end-to-end
// run) can fix it with the environment variable ZURTODAY=YYYY-MM-DD.
CalendarDate Today();

// Makes Today() return the given date until reset with std::nullopt.
void SetToday(std::optional<CalendarDate> date);

// Pauses the calling thread for the given milliseconds (nothing for 0 or less).
void SleepMilliseconds(long long milliseconds);

// A uniform random number in [0, 1).
double UniformRandom();

}  // namespace platform
