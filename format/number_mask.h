#pragma once
// Numbers as text: picture masks, amounts in euros or pesetas, plain numbers for
// files, zero padding, the checks of typed numbers, and the leading-number rule.
//
// Mask characters of FormatMask (the mask's length is the result's length):
//   "9"      digit position, "0" where the number has no digit
//   "Z" "z"  digit position, blank where the number has no digit
//   "*"      digit position, "*" where the number has no digit
//   "."      the first one separates integer and decimal part; shown as decimalChar
//   ","      thousands separator, shown as thousandsChar (or as the fill beside it)
//   "-"      sign position: "-" for a negative value, blank otherwise
//   "+"      sign position: "-" for a negative value, "+" otherwise
//   other    copied unchanged ("99/99" shows 1234 as "12/34")

#include <cstdint>
#include <string>
#include <string_view>

namespace format {

// Longest width and decimal count PlainNumberText takes from its spec.
inline constexpr int kMaxPlainWidth = 255;

// The value through the mask; always exactly as long as the mask. Rounds at the
// mask's decimal positions, ties to even. A number whose integer part does not fit
// is shown whole, right-justified and cut to the mask's length; when even its integer
// digits (and minus) do not fit, or it is NaN or infinite, the result is all "!".
// Reads the user's decimal and thousands characters at the first call.
std::string FormatMask(std::string_view mask, double value);

// An amount held in cents through an amount picture: euros with two decimals, or
// pesetas without decimals when the display currency is "P". "Z,ZZZ,ZZZ,ZZ9-" becomes
// the mask "ZZ,ZZZ,ZZ9.99-" in euros. Exactly as long as the picture.
std::string AmountText(std::string_view picture, double cents);

// A number for files and merge fields, without separators, the point always ".".
// Spec: a width before a ".", a decimal count after it, and the options V (no point),
// Z (a "0" before a bare fraction), S ("+" for positives), N ("N" for negatives),
// M ("N" or blank), in either case. "" for NaN and infinities.
std::string PlainNumberText(double value, std::string_view spec);

// PlainNumberText(value, ""): 12.5 -> "12.5", -3 -> "-3", 0 -> "".
std::string NumberText(double value);

// Sets the currency letters: "a,E" makes E the base and display currency, "x,P" (any
// other first letter before the comma) the alternate one; "p" shows the alternate
// currency (or the base one while none is set); anything else the base currency.
void SetCurrency(std::string_view spec);

// The whole number's digits zero-padded on the left to width and cut on the left to
// it: ZeroPad(7, 2) = "07", ZeroPad(123, 2) = "23". "" for a width of 0 or less.
// Expects a non-negative whole number: the sign is dropped and a fraction rounded.
std::string ZeroPad(double value, int16_t width);

// -1 when the text is not an acceptable typed number, 0 when it is. Digits and blanks
// are always accepted; allowed may contain "." (one decimal point) and "-" or "+"
// (one leading sign).
int16_t IsBadNumberText(std::string_view text, std::string_view allowed);

// -1 when the typed amount is refused: bounds reversed or not numbers, decimals
// outside 0 .. 16, characters IsBadNumberText refuses, or the value (rounded at the
// decimals) outside minimum .. maximum. 0 when accepted.
int16_t IsBadAmountText(std::string_view text, double minimum, double maximum, int16_t decimals);

// The number a text begins with: leading blanks skipped, an optional sign, digits
// with an optional "." and further digits; reading stops at the first other
// character. "12abc" -> 12, "abc" -> 0, "1 234" -> 1. Too large gives infinity.
double NumericValue(std::string_view text);

// NumericValue rounded to the nearest whole number (halves to the even neighbour) and
// brought into the range of a 16-bit integer; 0 for a text without a number.
int16_t WholeNumberValue(std::string_view text);

}  // namespace format
