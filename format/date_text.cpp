#include "format/date_text.h"

#include <array>

#include "format/format_state.h"
#include "format/packed_date.h"
#include "format/word_language.h"
#include "platform/ascii_text.h"

namespace format {
namespace {

using platform::UpperAscii;

struct DateWords {
  std::array<std::string_view, 12> months;
  std::string_view beforeMonth;
  std::string_view beforeVowelMonth;  // before a month name beginning with A, E, I, O, U
  std::string_view beforeYear;
};

// Month names and connectors in code page 850 ("\x87" is ç, "\x8a" is è).
constexpr DateWords kCatalan = {{"gener", "febrer", "mar\x87", "abril", "maig", "juny", "juliol",
                                 "agost", "setembre", "octubre", "novembre", "desembre"},
                                " de ",
                                " d'",
                                " del "};
constexpr DateWords kSpanish = {{"enero", "febrero", "marzo", "abril", "mayo", "junio", "julio",
                                 "agosto", "septiembre", "octubre", "noviembre", "diciembre"},
                                " de ",
                                " de ",
                                " de "};
constexpr DateWords kGalician = {{"janeiro", "fevereiro", "mar\x87o", "abril", "maio", "junho",
                                  "julho", "agosto", "setembro", "outubro", "novembro", "dezembro"},
                                 " de ",
                                 " de ",
                                 " do "};
constexpr DateWords kAranese = {{"g\x8ar", "hereu\x8ar", "mar\x87", "abriu", "mai", "junh",
                                 "junhsega", "agost", "seteme", "octobre", "noveme", "deseme"},
                                " de ",
                                " d'",
                                " deth "};

const DateWords& WordsOf(WordLanguage language) {
  switch (language) {
    case WordLanguage::kSpanish:
      return kSpanish;
    case WordLanguage::kGalician:
      return kGalician;
    case WordLanguage::kAranese:
      return kAranese;
    case WordLanguage::kCatalan:
      break;
  }
  return kCatalan;
}

bool PartsContain(std::string_view parts, char letter) {
  for (char c : parts) {
    if (UpperAscii(c) == letter) return true;
  }
  return false;
}

bool BeginsWithVowel(std::string_view word) {
  if (word.empty()) return false;
  switch (UpperAscii(word[0])) {
    case 'A':
    case 'E':
    case 'I':
    case 'O':
    case 'U':
      return true;
    default:
      return false;
  }
}

}  // namespace

std::string DateText(std::string_view packedDate, int16_t mode, std::string_view parts) {
  const DateTextSettings& settings = LoadedDateText();
  std::string digits = UnpackDigits(packedDate);
  digits.resize(8, '0');
  const std::string_view year = std::string_view(digits).substr(0, 4);
  const int month = (digits[4] - '0') * 10 + (digits[5] - '0');
  const int day = (digits[6] - '0') * 10 + (digits[7] - '0');

  std::string text;
  if (mode == -1) {
    text.reserve(10);
    text.append(year);
    text += '-';
    text.append(digits, 4, 2);
    text += '-';
    text.append(digits, 6, 2);
    return text;
  }

  text.reserve(32);
  if (day != 0 || month != 0) {
    const DateWords& words = WordsOf(SessionWordLanguage());
    const std::string monthNumber = std::to_string(month);
    std::string_view monthName = monthNumber;
    if (month >= 1 && month <= 12) monthName = words.months[month - 1];
    const std::string dayNumber = std::to_string(day);

    std::string_view piece;
    for (char letter : settings.dateOrder) {
      if (!PartsContain(parts, letter)) continue;
      switch (letter) {
        case 'D':
          piece = dayNumber;
          break;
        case 'M':
          piece = mode >= 2 ? monthName : mode == 1 ? monthName.substr(0, 3) : monthNumber;
          break;
        case 'A':
          piece = year;
          break;
        default:
          break;  // any other letter repeats the previous piece
      }
      if (!text.empty()) {
        if (mode < 2) {
          text += settings.dateSeparator;
        } else if (letter == 'M') {
          text += BeginsWithVowel(monthName) ? words.beforeVowelMonth : words.beforeMonth;
        } else {
          text += words.beforeYear;
        }
      }
      text += piece;
    }
  }

  if (mode < 2) {
    long width = static_cast<long>(parts.size()) - 1;
    if (PartsContain(parts, 'M')) width += mode + 2;
    if (PartsContain(parts, 'A')) width += 4;
    if (PartsContain(parts, 'D')) width += 2;
    text.resize(width > 0 ? static_cast<size_t>(width) : 0, ' ');
  }
  return text;
}

}  // namespace format
