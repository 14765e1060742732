#pragma once
// Small byte-text helpers shared by every layer: blanks, ASCII case, leading whole
// numbers and 16-bit clamping. Texts are code page 850 bytes; only ASCII letters
// change case here.

#include <cstdint>
#include <limits>
#include <string_view>

namespace platform {

// The text without the blanks (spaces, not tabs) at both ends.
inline std::string_view TrimBlanks(std::string_view s) {
  const size_t first = s.find_first_not_of(' ');
  if (first == std::string_view::npos) return {};
  return s.substr(first, s.find_last_not_of(' ') - first + 1);
}

// "a" .. "z" as capitals; every other byte unchanged.
inline char UpperAscii(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; }

// True when the texts are equal once ASCII letters are taken as capitals.
inline bool EqualIgnoringAsciiCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (UpperAscii(a[i]) != UpperAscii(b[i])) return false;
  }
  return true;
}

// The whole number a text begins with: leading blanks, an optional sign, digits (a
// fraction or anything else ends it); 0 when there is none. Saturates at +-1e9.
inline long LeadingWholeNumber(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  long value = 0;
  while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
    if (value < 1000000000L) value = value * 10 + (text[i] - '0');
    ++i;
  }
  return negative ? -value : value;
}

// The value brought into the range of a 16-bit signed integer.
inline int16_t ClampToInt16(long long value) {
  if (value > std::numeric_limits<int16_t>::max()) return std::numeric_limits<int16_t>::max();
  if (value < std::numeric_limits<int16_t>::min()) return std::numeric_limits<int16_t>::min();
  return static_cast<int16_t>(value);
}

}  // namespace platform
