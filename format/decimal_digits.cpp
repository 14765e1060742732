#include "format/decimal_digits.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <iterator>

namespace format {
namespace {

// Beyond this many decimal places every double has only zeros (the smallest one,
// 2^-1074, has 1074).
constexpr int kLastDigitPlace = 1100;

constexpr double kExactPowers[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                   1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                   1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

double PowerOfTen(int n) {
  if (n < static_cast<int>(std::size(kExactPowers))) return kExactPowers[n];
  return std::pow(10.0, n);
}

// The decimal digits of a whole, finite, non-negative double; "" for zero.
std::string WholeDigits(double whole) {
  std::string digits;
  if (whole < 18446744073709551616.0) {  // 2^64: fits an unsigned 64-bit integer
    uint64_t n = static_cast<uint64_t>(whole);
    char buffer[20];
    int at = 20;
    while (n > 0) {
      buffer[--at] = static_cast<char>('0' + n % 10);
      n /= 10;
    }
    digits.assign(buffer + at, buffer + 20);
    return digits;
  }
  char buffer[320];  // the largest double has 309 digits
  int written = std::snprintf(buffer, sizeof buffer, "%.0f", whole);
  if (written > 0 && written < static_cast<int>(sizeof buffer)) digits.assign(buffer, written);
  return digits;
}

}  // namespace

std::string DecimalDigits(double value, int places) {
  if (places < 0) places = 0;
  const double magnitude = std::fabs(value);
  if (magnitude == 0.0) return {};
  if (places > kLastDigitPlace) {
    std::string digits = DecimalDigits(magnitude, kLastDigitPlace);
    if (!digits.empty()) digits.append(static_cast<size_t>(places - kLastDigitPlace), '0');
    return digits;
  }
  const double scaled = magnitude * PowerOfTen(places);
  if (std::isfinite(scaled)) {
    double whole = std::floor(scaled);
    const double fraction = scaled - whole;
    if (fraction > 0.5 || (fraction == 0.5 && std::fmod(whole, 2.0) == 1.0)) whole += 1.0;
    return WholeDigits(whole);
  }
  // Too large for a double once scaled: print the exact value with its decimals
  // (correctly rounded, ties to even) and drop the point.
  const int size = std::snprintf(nullptr, 0, "%.*f", places, magnitude);
  if (size <= 0) return {};
  std::string text(static_cast<size_t>(size) + 1, '\0');
  std::snprintf(text.data(), text.size(), "%.*f", places, magnitude);
  text.resize(static_cast<size_t>(size));
  std::string digits;
  digits.reserve(text.size());
  for (char c : text) {
    if (c >= '0' && c <= '9' && !(digits.empty() && c == '0')) digits.push_back(c);
  }
  return digits;
}

}  // namespace format
