#include "platform/packed_digits.h"

namespace platform {
namespace {
int DigitValue(char c) {
  return (c >= '0' && c <= '9') ? c - '0' : 0;
}
}  // namespace

std::string PackDigits(std::string_view digits) {
  const size_t n = digits.size();
  size_t first = digits.find_first_not_of(' ');
  std::string_view trimmed;
  if (first != std::string_view::npos) {
    size_t last = digits.find_last_not_of(' ');
    trimmed = digits.substr(first, last - first + 1);
  }
  std::string text(n - trimmed.size(), '0');
  text.append(trimmed);
  for (char& c : text) {
    if (c == ' ') c = '0';
  }
  std::string packed((n + 1) / 2, '\0');
  for (size_t k = 0; k < packed.size(); ++k) {
    int hi = DigitValue(text[2 * k]);
    int lo = 2 * k + 1 < n ? DigitValue(text[2 * k + 1]) : 0;
    packed[k] = static_cast<char>(128 + 10 * hi + lo);
  }
  return packed;
}

std::string UnpackDigits(std::string_view packed) {
  std::string digits;
  digits.reserve(packed.size() * 2);
  for (char c : packed) {
    int value = (static_cast<unsigned char>(c) & 127) % 100;
    digits.push_back(static_cast<char>('0' + value / 10));
    digits.push_back(static_cast<char>('0' + value % 10));
  }
  return digits;
}

}  // namespace platform
