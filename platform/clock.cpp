#include "platform/clock.h"

#include <chrono>
#include <cstdio>
#include <ctime>
#include <random>
#include <thread>

#include "platform/env.h"

namespace platform {
namespace {

std::optional<CalendarDate>& FixedToday() {
  static std::optional<CalendarDate> date;
  return date;
}

std::optional<CalendarDate> TodayFromEnvironment() {
  std::string text = GetEnv("ZURTODAY");
  int y = 0, m = 0, d = 0;
  if (text.size() == 10 && std::sscanf(text.c_str(), "%4d-%2d-%2d", &y, &m, &d) == 3 && y >= 1 &&
      m >= 1 && m <= 12 && d >= 1 && d <= 31) {
    return CalendarDate{y, m, d};
  }
  return std::nullopt;
}

}  // namespace

CalendarDate Today() {
  if (FixedToday()) return *FixedToday();
  if (auto env = TodayFromEnvironment()) return *env;
  std::time_t now = std::time(nullptr);
  std::tm local{};
  ::localtime_r(&now, &local);
  return CalendarDate{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday};
}

void SetToday(std::optional<CalendarDate> date) {
  FixedToday() = date;
}

void SleepMilliseconds(long long milliseconds) {
  if (milliseconds > 0) std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

double UniformRandom() {
  static std::mt19937_64 engine{std::random_device{}()};
  return std::uniform_real_distribution<double>(0.0, 1.0)(engine);
}

}  // namespace platform
