#pragma once
// Process-wide state of the formatting layer: the user's number and date settings
// (read once from ZURROOT + "Orva.ini", section [Usuari], at first use), the
// currency letters, the parts of the last typed date read, and the accent switch of
// FoldText. One struct, one accessor, one reset.

#include <array>
#include <cstdint>
#include <string>

namespace format {

// The decimal and thousands characters of FormatMask. Each slot starts as NUL and is
// filled at the first FormatMask call: the first character of DecCaracter /
// MilCaracter, a blank when missing or empty, and then "'" / "." for a blank.
struct NumberFormatSettings {
  char decimalChar = '\0';
  char thousandsChar = '\0';
};

// Currency letters (each empty or one capital letter). Amounts are whole cents of
// baseCurrency; AmountText shows pesetas when displayCurrency is "P".
struct CurrencyState {
  std::string baseCurrency;
  std::string alternateCurrency;
  std::string displayCurrency;
};

// The separator and the order of day ("D"), month ("M") and year ("A") of DateText.
// Both start as NUL and are filled at the first DateText call: DatCaracter and
// DatOrdre cut or blank-padded to the slot, an all-blank slot taking "/" or "DMA".
struct DateTextSettings {
  char dateSeparator = '\0';
  std::array<char, 3> dateOrder{};
};

// Day, month and year of the last typed date read by PackTypedDate or
// IsBadTypedDate, and the length of that month (set by IsBadTypedDate only).
struct TypedDateParts {
  int16_t typedDay = 0, typedMonth = 0, typedYear = 0, typedMonthLength = 0;
};

struct FormatState {
  NumberFormatSettings numberFormat;
  CurrencyState currency;
  DateTextSettings dateText;
  TypedDateParts typedDate;
  bool foldAccents = false;  // FoldText drops accents while set
};

// The formatting state of the process.
FormatState& State();

// Everything back to its state at process start: settings unread, currency letters
// empty, typed date parts zero, accents kept (for tests).
void ResetFormatState();

// The number settings, read from the settings file first when a slot is still NUL.
const NumberFormatSettings& LoadedNumberFormat();

// The date settings, read from the settings file first when a slot is still all NUL.
const DateTextSettings& LoadedDateText();

}  // namespace format
