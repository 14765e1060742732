#pragma once
// Packed digits, packed numeric codes and calendar dates.
//
// A PackedDate is the digit text YYYYMMDD packed two digits per byte:
//   offset  size  meaning
//   0       1     128 + century (the first two digits of the year)
//   1       1     128 + year within the century
//   2       1     128 + month
//   3       1     128 + day
// Dates compare in time order as plain (unsigned) bytes. The empty date is four bytes
// of 128 (the packing of "00000000"). 15 March 2026 is 148, 154, 131, 143.
//
// The calendar is Julian before the reform of October 1582 and Gregorian from then on.

#include <cstdint>
#include <string>
#include <string_view>

#include "format/format_state.h"
#include "platform/packed_digits.h"

namespace format {

using platform::PackDigits;
using platform::UnpackDigits;

inline constexpr size_t kPackedDateSize = 4;

// The digits of a numeric code packed: "123456" and "123456.1234" keep a first group
// of 6 digits, otherwise every group between points is 4 digits wide ("123.45" packs
// the digits "01230045", "5" packs "0005"). Groups from the first all-blank rest of
// the code on are left out.
std::string PackDottedCode(std::string_view code);

// The typed date ("15/3/26", "15-03-2026", "150326", "15032026") packed, without any
// validation ("31/02/26" packs as 2026-02-31). Two-digit years fall in today's year
// - 50 .. + 49, and get no century while the day or the month is 0. Sets typedDay,
// typedMonth and typedYear. A text that cannot be read, or with a number beyond 16
// bits, gives the empty date and zero parts.
std::string PackTypedDate(std::string_view text);

// -1 when the typed date is not a valid date, 0 when it is. Refuses what cannot be
// read, numbers beyond 16 bits, years beyond 9999, the ten days dropped in October
// 1582 and days outside the month (Gregorian leap years for every year). Two-digit
// years fall in today's year - 50 .. + 50. Sets all of TypedDate().
int16_t IsBadTypedDate(std::string_view text);

// The date as typed digits: day, month and a 2-digit year ("150326") when the year
// lies in today's year - 50 .. + 49, else a 4-digit year ("01011900"); "" when day
// and month are both 0 (the empty date).
std::string DateDigits(std::string_view packedDate);

// The distance between two dates in unit "D" (days), "M" (months, days ignored) or
// "A" (whole years), in either case, whichever date comes first; 0 for any other
// unit. Never negative. Dates are taken as they are, without validation.
int32_t DateDiff(std::string_view first, std::string_view second, std::string_view unit);

// The day of the week: 1 Monday .. 7 Sunday.
int16_t WeekDay(std::string_view packedDate);

// The parts left by the last PackTypedDate or IsBadTypedDate.
TypedDateParts& TypedDate();

}  // namespace format
