#include "format/number_mask.h"

#include <charconv>
#include <cmath>
#include <limits>

#include "format/decimal_digits.h"
#include "format/format_state.h"
#include "platform/ascii_text.h"

namespace format {
namespace {

using platform::UpperAscii;

bool IsDigitPosition(char c) {
  return c == '9' || c == 'Z' || c == 'z' || c == '*';
}

bool IsSlotPosition(char c) {
  return IsDigitPosition(c) || c == '-' || c == '+';
}

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// What a digit position left for the separators and the point beside it.
enum class Fill { kNone, kBlank, kStar };

// A double with a fraction is below 2^52 and at least 2^-1074: after this many
// multiplications by ten it has become whole.
constexpr long kMaxScalings = 1100;

// The overflow form of FormatMask: the number written whole, right-justified in the
// mask's length and cut to it, or all "!" when its integer digits do not fit.
std::string WholeNumberInMask(const std::string& digits, long decimalDigits, bool negative,
                              char decimalChar, long length) {
  const long count = static_cast<long>(digits.size());
  const long integerCount = count > decimalDigits ? count - decimalDigits : 0;
  if (length < integerCount + (negative ? 1 : 0)) return std::string(length, '!');
  std::string t;
  if (negative) t.push_back('-');
  t.append(digits, 0, integerCount);
  if (decimalDigits >= 1) {
    t.push_back(decimalChar);
    if (count < decimalDigits) t.append(decimalDigits - count, '0');
    t.append(digits, integerCount, std::string::npos);
  }
  if (static_cast<long>(t.size()) >= length) return t.substr(0, length);
  return std::string(length - t.size(), ' ') + t;
}

}  // namespace

std::string FormatMask(std::string_view mask, double value) {
  const NumberFormatSettings& settings = LoadedNumberFormat();
  const long length = static_cast<long>(mask.size());
  if (!std::isfinite(value)) return std::string(length, '!');

  const bool hasSign = mask.find_first_of("-+") != std::string_view::npos;
  const size_t point = mask.find('.');
  long decimalSlots = 0;
  long decimalDigits = 0;
  if (point != std::string_view::npos && point + 1 < mask.size()) {
    for (size_t i = point + 1; i < mask.size(); ++i) decimalSlots += IsSlotPosition(mask[i]);
    if (decimalSlots > 0) {
      for (size_t i = point + 1; i < mask.size() && IsDigitPosition(mask[i]); ++i) {
        ++decimalDigits;
      }
    }
  }

  const std::string digits = DecimalDigits(value, static_cast<int>(decimalDigits));
  const long count = static_cast<long>(digits.size());
  const bool negative = value < 0;
  // 1-based position of the last non-zero digit: the digits from j on form a number
  // above zero exactly when j is at or before it.
  long lastNonZero = count;
  while (lastNonZero >= 1 && digits[lastNonZero - 1] == '0') --lastNonZero;

  auto digitAt = [&](long j) -> char { return (j >= 1 && j <= count) ? digits[j - 1] : '\0'; };
  auto inIntegerPart = [&](long p) { return p < length - decimalSlots; };

  std::string out(mask);
  Fill fill = Fill::kNone;
  bool flagged = false;  // the fill came from a position without a digit
  auto fillChar = [&]() { return fill == Fill::kStar ? '*' : ' '; };

  // First pass: the digits, from the right, as long as digits remain.
  long j = count + decimalSlots - decimalDigits;
  long p = length;
  for (; p >= 1 && j >= 1; --p) {
    char& o = out[p - 1];
    const char d = digitAt(j);
    switch (mask[p - 1]) {
      case '9':
        o = d ? d : '0';
        --j;
        fill = Fill::kNone;
        flagged = false;
        break;
      case 'Z':
      case 'z':
        if (inIntegerPart(p)) {
          o = d ? d : ' ';
          flagged = !d;
        } else {
          // Trailing zero decimals are blanked.
          if (j <= lastNonZero || decimalSlots == 0) {
            o = d ? d : '0';
            flagged = !d;
          } else {
            o = ' ';
            flagged = true;
          }
        }
        fill = Fill::kBlank;
        --j;
        break;
      case '*':
        o = d ? d : '*';
        fill = Fill::kStar;
        flagged = !d;
        --j;
        break;
      case '.':
        o = flagged ? fillChar() : settings.decimalChar;
        decimalSlots = 0;
        break;
      case ',':
        o = settings.thousandsChar;
        break;
      case '-':
      case '+':
        o = negative ? '-' : (mask[p - 1] == '+' ? '+' : ' ');
        if (decimalSlots > 0) --j;
        break;
      default:
        break;
    }
  }

  const bool usedEveryPosition = p < 1;
  if (j >= 1 || (negative && !hasSign && usedEveryPosition)) {
    return WholeNumberInMask(digits, decimalDigits, negative, settings.decimalChar, length);
  }

  // Second pass: the positions left of the number, from the right.
  bool minusPending = negative && !hasSign;
  for (; p >= 1; --p) {
    char& o = out[p - 1];
    const bool integer = inIntegerPart(p);
    switch (mask[p - 1]) {
      case '9':
        if (minusPending && integer) {
          o = '-';
          minusPending = false;
        } else {
          o = '0';
        }
        fill = Fill::kNone;
        flagged = false;
        break;
      case 'Z':
      case 'z':
        if (minusPending && integer) {
          o = '-';
          minusPending = false;
        } else if (integer || value == 0) {
          o = ' ';
          fill = Fill::kBlank;
          flagged = true;
        } else {
          o = '0';
          fill = Fill::kBlank;
          flagged = false;
        }
        break;
      case '*':
        if (minusPending && integer) {
          o = '-';
          minusPending = false;
        } else {
          o = integer ? '*' : '0';
          fill = Fill::kStar;
          flagged = false;
        }
        break;
      case ',':
        if (minusPending) {
          o = '-';
          minusPending = false;
        } else {
          o = fill != Fill::kNone ? fillChar() : settings.thousandsChar;
        }
        break;
      case '.':
        o = flagged ? fillChar() : settings.decimalChar;
        break;
      case '-':
      case '+':
        o = negative ? '-' : (mask[p - 1] == '+' ? '+' : ' ');
        break;
      default:
        break;
    }
  }
  return out;
}

std::string AmountText(std::string_view picture, double cents) {
  const size_t length = picture.size();
  int decimals = 0;
  bool showDigit = cents != 0;
  bool separators = false;
  bool star = false;
  char signChar = '\0';
  bool leadingSign = false;
  for (size_t i = 0; i < length; ++i) {
    switch (picture[i]) {
      case '.':
        ++decimals;
        break;
      case '9':
        if (decimals > 0) {
          ++decimals;
        } else {
          showDigit = true;
        }
        break;
      case '-':
      case '+':
        signChar = picture[i];
        leadingSign = i == 0;
        break;
      case ',':
        separators = true;
        break;
      case '*':
        star = true;
        break;
      case 'Z':
        star = false;
        break;
      default:
        break;
    }
  }

  // Appends to the mask and keeps its last `length` characters.
  std::string t(length, star ? '*' : 'Z');
  auto keepLast = [&]() {
    if (t.size() > length) t.erase(0, t.size() - length);
  };
  if (showDigit) {
    t.push_back('9');
    keepLast();
  }
  if (separators) {
    for (long k = static_cast<long>(length) - 3; k >= 1; k -= 4) {
      t.insert(static_cast<size_t>(k), 1, ',');
      keepLast();
    }
  }

  double value = cents / 100;
  if (State().currency.displayCurrency == "P") {
    value = value * 166.386;
  } else {
    decimals = decimals == 0 ? 3 : decimals + 2;
  }
  if (decimals > 0) {
    t.push_back('.');
    t.append(static_cast<size_t>(decimals - 1), showDigit ? '9' : 'Z');
    keepLast();
  }
  if (signChar != '\0') {
    if (leadingSign) {
      if (!t.empty()) t[0] = signChar;
    } else {
      t.push_back(signChar);
      keepLast();
    }
  }
  return FormatMask(t, value);
}

std::string PlainNumberText(double value, std::string_view spec) {
  long width = 0;
  long decimals = 0;
  bool point = false;
  bool noPoint = false, zero = false, plus = false, letterN = false, letterM = false;
  for (char c : spec) {
    if (IsDigit(c)) {
      long& n = point ? decimals : width;
      n = n * 10 + (c - '0');
      if (n > kMaxPlainWidth) n = kMaxPlainWidth;
      continue;
    }
    switch (UpperAscii(c)) {
      case '.':
        point = true;
        break;
      case 'V':
        noPoint = true;
        break;
      case 'Z':
        zero = true;
        break;
      case 'S':
        plus = true;
        break;
      case 'N':
        letterN = true;
        break;
      case 'M':
        letterM = true;
        break;
      default:
        break;
    }
  }
  if (!std::isfinite(value)) return {};

  std::string digits;
  if (width > 0 || point) {
    digits = DecimalDigits(value, static_cast<int>(decimals));
  } else {
    // As many decimals as the value has: scale by ten until no fraction is left.
    double x = std::fabs(value);
    decimals = 0;
    while (x != std::floor(x) && decimals < kMaxScalings) {
      x *= 10;
      ++decimals;
    }
    digits = DecimalDigits(x, 0);
  }
  if (static_cast<long>(digits.size()) < decimals) digits.insert(0, decimals - digits.size(), '0');
  std::string integer = digits.substr(0, digits.size() - decimals);
  std::string fraction = digits.substr(digits.size() - decimals);
  if (!noPoint && !fraction.empty()) fraction.insert(0, 1, '.');
  if (zero && integer.empty()) integer = "0";
  if (width > 0) {
    if (static_cast<long>(integer.size()) < width) {
      integer.insert(0, width - integer.size(), '0');
    } else {
      integer.erase(0, integer.size() - width);
    }
  }

  char sign = '\0';
  if (plus && value >= 0) {
    sign = '+';
  } else if (letterN && value < 0) {
    sign = 'N';
  } else if (letterM) {
    sign = value < 0 ? 'N' : ' ';
  } else if (value < 0) {
    sign = '-';
  }
  if (sign != '\0') {
    if (width > 0) {
      integer[0] = sign;
    } else {
      integer.insert(0, 1, sign);
    }
  }
  return integer + fraction;
}

std::string NumberText(double value) {
  return PlainNumberText(value, "");
}

void SetCurrency(std::string_view spec) {
  CurrencyState& currency = State().currency;
  const char c = spec.empty() ? '\0' : UpperAscii(spec[0]);
  const size_t comma = spec.find(',');
  if (comma != std::string_view::npos) {
    std::string_view rest = spec.substr(comma + 1);
    const size_t first = rest.find_first_not_of(' ');
    const std::string letter =
        first == std::string_view::npos ? std::string() : std::string(1, UpperAscii(rest[first]));
    if (c == 'A') {
      currency.baseCurrency = letter;
      currency.displayCurrency = letter;
    } else {
      currency.alternateCurrency = letter;
    }
  } else if (c == 'P') {
    currency.displayCurrency =
        currency.alternateCurrency.empty() ? currency.baseCurrency : currency.alternateCurrency;
  } else {
    currency.displayCurrency = currency.baseCurrency;
  }
}

std::string ZeroPad(double value, int16_t width) {
  if (width <= 0) return {};
  std::string digits = std::isfinite(value) ? DecimalDigits(value, 0) : std::string();
  if (digits.empty()) digits = "0";
  const size_t w = static_cast<size_t>(width);
  if (digits.size() >= w) return digits.substr(digits.size() - w);
  return std::string(w - digits.size(), '0') + digits;
}

int16_t IsBadNumberText(std::string_view text, std::string_view allowed) {
  bool pointClosed = allowed.find('.') == std::string_view::npos;
  bool signClosed = allowed.find_first_of("-+") == std::string_view::npos;
  for (char c : text) {
    if (c == '+' || c == '-') {
      if (signClosed) return -1;
      signClosed = true;
    } else if (c == '.') {
      if (pointClosed) return -1;
      pointClosed = true;
      signClosed = true;
    } else if (IsDigit(c)) {
      signClosed = true;
    } else if (c != ' ') {
      return -1;
    }
  }
  return 0;
}

int16_t IsBadAmountText(std::string_view text, double minimum, double maximum, int16_t decimals) {
  if (std::isnan(minimum) || std::isnan(maximum) || maximum < minimum || decimals < 0 ||
      decimals > 16) {
    return -1;
  }
  std::string allowed;
  if (decimals > 0) allowed += '.';
  if (minimum < 0) allowed += '-';
  if (IsBadNumberText(text, allowed)) return -1;
  const double scale = std::pow(10.0, decimals);
  const double v = std::floor(NumericValue(text) * scale + 0.5);
  if (v < std::floor(minimum * scale)) return -1;
  if (v > std::floor(maximum * scale + 0.5)) return -1;
  return 0;
}

double NumericValue(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  const size_t integerStart = i;
  while (i < text.size() && IsDigit(text[i])) ++i;
  std::string number(text.substr(integerStart, i - integerStart));
  bool anyDigit = !number.empty();
  if (i < text.size() && text[i] == '.') {
    const size_t fractionStart = ++i;
    while (i < text.size() && IsDigit(text[i])) ++i;
    if (i > fractionStart) {
      anyDigit = true;
      number += '.';
      number.append(text.substr(fractionStart, i - fractionStart));
    }
  }
  if (!anyDigit) return 0;
  if (number[0] == '.') number.insert(0, 1, '0');

  double value = 0;
  const auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), value);
  (void)end;
  if (error == std::errc::result_out_of_range) {
    // Too many digits for a double: infinity when the whole part is not zero,
    // otherwise a fraction too small to hold.
    const bool wholePart = number.find_first_not_of('0') < number.find('.');
    value = wholePart ? HUGE_VAL : 0.0;
  } else if (error != std::errc()) {
    value = 0;
  }
  return negative ? -value : value;
}

int16_t WholeNumberValue(std::string_view text) {
  const double value = NumericValue(text);
  if (std::isnan(value)) return 0;
  const double rounded = std::nearbyint(value);
  if (rounded >= std::numeric_limits<int16_t>::max()) return std::numeric_limits<int16_t>::max();
  if (rounded <= std::numeric_limits<int16_t>::min()) return std::numeric_limits<int16_t>::min();
  return static_cast<int16_t>(rounded);
}

}  // namespace format
