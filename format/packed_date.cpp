#include "format/packed_date.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "format/decimal_digits.h"
#include "format/number_mask.h"
#include "platform/ascii_text.h"
#include "platform/clock.h"

namespace format {
namespace {

using platform::TrimBlanks;

constexpr long long kMaxYear = 1000000000;  // cap for the year of an over-long date

bool IsBlankText(std::string_view s) {
  return s.find_first_not_of(' ') == std::string_view::npos;
}

// -1, 0 or 1 as a compares before, equal to or after b, byte by byte as unsigned.
int CompareBytes(std::string_view a, std::string_view b) {
  const size_t n = std::min(a.size(), b.size());
  const int c = n == 0 ? 0 : std::memcmp(a.data(), b.data(), n);
  if (c != 0) return c < 0 ? -1 : 1;
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

// The two-digit value a packed byte reads as.
int PairValue(char c) {
  return (static_cast<unsigned char>(c) & 127) % 100;
}

struct DateParts {
  long long year = 0;
  int month = 0;
  int day = 0;
};

// Day and month from the last two bytes, the year from the bytes before them.
DateParts SplitPackedDate(std::string_view packed) {
  DateParts parts;
  const size_t n = packed.size();
  if (n >= 1) parts.day = PairValue(packed[n - 1]);
  if (n >= 2) parts.month = PairValue(packed[n - 2]);
  for (size_t i = 0; i + 2 < n; ++i) {
    parts.year = std::min(parts.year * 100 + PairValue(packed[i]), kMaxYear);
  }
  return parts;
}

bool IsGregorianLeap(long long year) {
  return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
}

// Julian before 1582, Gregorian from 1582.
bool IsLeap(long long year) {
  return year < 1582 ? year % 4 == 0 : IsGregorianLeap(year);
}

int MonthLength(long long month, bool leap) {
  int length = static_cast<int>(30 + ((1 + ((month + 1) % 9)) % 2));
  if (month == 2) length -= leap ? 1 : 2;
  return length;
}

// Leap years in 0 .. year - 1, by the rule of each year.
long long LeapYearsBefore(long long year) {
  if (year <= 0) return 0;
  if (year <= 1582) return (year + 3) / 4;
  auto gregorian = [](long long y) { return (y + 3) / 4 - (y + 99) / 100 + (y + 399) / 400; };
  return (1582 + 3) / 4 + gregorian(year) - gregorian(1582);
}

long long MonthDays(long long year, long long from, long long to) {
  long long days = 0;
  const bool leap = IsLeap(year);
  for (long long m = from; m <= to; ++m) days += MonthLength(m, leap);
  return days;
}

int CurrentYear() {
  return platform::Today().year;
}

// A typed date taken apart; ok is false when the text cannot be read as one.
struct TypedText {
  bool ok = false;
  long day = 0, month = 0, year = 0;
  bool fullYear = false;
};

bool IsDateSeparator(char c) {
  return c == '.' || c == '/' || c == '-';
}

// The leading number of a piece as a 16-bit value; false when it does not fit.
bool PieceNumber(std::string_view piece, long& number) {
  const double value = NumericValue(piece);
  if (!(value >= 0 && value <= std::numeric_limits<int16_t>::max())) return false;
  number = static_cast<long>(value);
  return true;
}

TypedText ReadTypedDate(std::string_view text) {
  TypedText t;
  std::string_view pieces[2];
  int separators = 0;
  size_t pieceStart = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (IsDateSeparator(c)) {
      if (separators == 2) return t;
      pieces[separators++] = text.substr(pieceStart, i - pieceStart);
      pieceStart = i + 1;
    } else if (!((c >= '0' && c <= '9') || c == ' ')) {
      return t;
    }
  }
  std::string_view day, month, year;
  if (separators == 0) {
    auto at = [&](size_t from, size_t count) {
      return from < text.size() ? text.substr(from, count) : std::string_view();
    };
    day = at(0, 2);
    month = at(2, 2);
    year = at(4, std::string_view::npos);
  } else if (separators == 2) {
    day = pieces[0];
    month = pieces[1];
    year = text.substr(pieceStart);
  } else {
    return t;
  }
  if (!PieceNumber(day, t.day) || !PieceNumber(month, t.month) || !PieceNumber(year, t.year)) {
    return t;
  }
  t.fullYear = TrimBlanks(year).size() > 3;
  t.ok = true;
  return t;
}

}  // namespace

TypedDateParts& TypedDate() {
  return State().typedDate;
}

std::string PackDottedCode(std::string_view code) {
  const size_t points = static_cast<size_t>(std::count(code.begin(), code.end(), '.'));
  size_t width = ((code.size() == 6 && points == 0) || (code.size() == 11 && points <= 1)) ? 6 : 4;
  std::string digits;
  size_t start = 0;
  while (start <= code.size() && !IsBlankText(code.substr(start))) {
    const size_t end = code.find('.', start);
    const double value = NumericValue(code.substr(start, end - start));
    std::string number = std::isfinite(value) ? DecimalDigits(value, 0) : std::string();
    if (number.empty()) number = "0";
    number.insert(0, "00000");
    digits.append(number, number.size() - std::min(width, number.size()), std::string::npos);
    if (end == std::string_view::npos) break;
    start = end + 1;
    width = 4;
  }
  return PackDigits(digits);
}

std::string PackTypedDate(std::string_view text) {
  TypedDateParts& parts = TypedDate();
  const TypedText t = ReadTypedDate(text);
  if (!t.ok) {
    parts.typedDay = parts.typedMonth = parts.typedYear = 0;
    return PackDigits("00000000");
  }
  long year = t.year;
  if (t.day > 0 && t.month > 0 && !t.fullYear) {
    const int current = CurrentYear();
    year += 100 * (current / 100);
    if (year - current > 49) {
      year -= 100;
    } else if (current - year > 50) {
      year += 100;
    }
  }
  parts.typedDay = static_cast<int16_t>(t.day);
  parts.typedMonth = static_cast<int16_t>(t.month);
  parts.typedYear = static_cast<int16_t>(year);
  return PackDigits(ZeroPad(static_cast<double>(year), 4) +
                    ZeroPad(static_cast<double>(t.month), 2) +
                    ZeroPad(static_cast<double>(t.day), 2));
}

int16_t IsBadTypedDate(std::string_view text) {
  TypedDateParts& parts = TypedDate();
  const TypedText t = ReadTypedDate(text);
  if (!t.ok) {
    parts = TypedDateParts{};
    return -1;
  }
  long year = t.year;
  if (year < 100 && !t.fullYear) {
    const int current = CurrentYear();
    year += 100 * (current / 100);
    if (std::labs(year - current) > 50) year -= year > current ? 100 : -100;
  }
  parts.typedDay = static_cast<int16_t>(t.day);
  parts.typedMonth = static_cast<int16_t>(t.month);
  parts.typedYear = static_cast<int16_t>(year);
  parts.typedMonthLength = static_cast<int16_t>(MonthLength(t.month, IsGregorianLeap(year)));

  const long long n = 10000LL * year + 100LL * t.month + t.day;
  if (n > 15821004 && n < 15821015) return -1;
  if (t.day < 1 || t.day > parts.typedMonthLength || t.month < 1 || t.month > 12) return -1;
  // A packed date holds four year digits; a longer year would be stored cut.
  if (year > 9999) return -1;
  return 0;
}

std::string DateDigits(std::string_view packedDate) {
  const DateParts d = SplitPackedDate(packedDate);
  if (d.day == 0 && d.month == 0) return {};
  const long long current = CurrentYear();
  std::string text = ZeroPad(d.day, 2) + ZeroPad(d.month, 2);
  if (d.year >= current - 50 && d.year <= current + 49) {
    text += ZeroPad(static_cast<double>(d.year % 100), 2);
  } else {
    text += ZeroPad(static_cast<double>(d.year), 4);
  }
  return text;
}

int32_t DateDiff(std::string_view first, std::string_view second, std::string_view unit) {
  if (CompareBytes(first, second) > 0) std::swap(first, second);
  const DateParts a = SplitPackedDate(first);
  const DateParts b = SplitPackedDate(second);
  const char u = unit.size() == 1 ? static_cast<char>(unit[0] & ~0x20) : '\0';
  long long count = 0;
  switch (u) {
    case 'D':
      if (a.year < b.year) {
        const long long between = b.year - a.year - 1;
        count = 365 * between + LeapYearsBefore(b.year) - LeapYearsBefore(a.year + 1) +
                MonthDays(a.year, a.month, 12) + MonthDays(b.year, 1, b.month - 1);
      } else {
        count = MonthDays(a.year, a.month, b.month - 1);
      }
      count += b.day - a.day;
      break;
    case 'M':
      count = 12 * (b.year - a.year) + b.month - a.month;
      break;
    case 'A':
      count = b.year - a.year;
      if (a.month > b.month || (a.month == b.month && a.day > b.day)) --count;
      break;
    default:
      break;
  }
  return static_cast<int32_t>(std::clamp<long long>(count, 0, std::numeric_limits<int32_t>::max()));
}

int16_t WeekDay(std::string_view packedDate) {
  const DateParts d = SplitPackedDate(packedDate);
  std::string januaryFirst(
      packedDate.substr(0, packedDate.size() >= 2 ? packedDate.size() - 2 : 0));
  januaryFirst += PackDigits("0101");
  const long long days = DateDiff(packedDate, januaryFirst, "D");
  const long long y = d.year - 1;
  // Floor division and remainder, so that the year 0 still gives a day of the week.
  auto div = [](long long a, long long b) { return a / b - ((a % b != 0) && (a < 0)); };
  auto mod7 = [](long long a) { return ((a % 7) + 7) % 7; };
  long long weekday;
  if (CompareBytes(packedDate, PackDigits("15821005")) < 0) {
    weekday = mod7(mod7(y + div(y, 4)) + days + 5) + 1;
  } else {
    weekday = mod7(mod7(y + div(y, 4) - div(y, 100) + div(y, 400)) + days) + 1;
  }
  return static_cast<int16_t>(weekday);
}

}  // namespace format
