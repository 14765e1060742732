#include "format/packed_date.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/format/format_fixture.h"

namespace {

using format_testing::Date;
using format_testing::FormatTest;

class PackedDateTest : public FormatTest {};

TEST_F(PackedDateTest, PackedDateLayout) {
  const std::string date = format::PackTypedDate("15/3/26");
  ASSERT_EQ(date.size(), format::kPackedDateSize);
  EXPECT_EQ(static_cast<unsigned char>(date[0]), 148);
  EXPECT_EQ(static_cast<unsigned char>(date[1]), 154);
  EXPECT_EQ(static_cast<unsigned char>(date[2]), 131);
  EXPECT_EQ(static_cast<unsigned char>(date[3]), 143);
  EXPECT_EQ(format::UnpackDigits(date), "20260315");
  EXPECT_EQ(Date("00000000"), std::string(4, '\x80'));
  // Dates compare in time order as bytes.
  EXPECT_LT(Date("19991231"), Date("20000101"));
  EXPECT_LT(Date("20260228"), Date("20260301"));
}

TEST_F(PackedDateTest, PackDottedCode) {
  struct Case {
    const char* code;
    const char* digits;
  };
  const Case cases[] = {
      {"123.45", "01230045"},
      {"123456", "123456"},
      {"123456.1234", "1234561234"},
      {"5", "0005"},
      {"1.2.3", "000100020003"},
      {"-5", "0005"},
      {"1234567", "4567"},
      {"12.  ", "0012"},
      {"   ", ""},
      {"", ""},
      {"7 .3", "00070003"},
      {"123456789012.1", "90120001"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(format::PackDottedCode(c.code), format::PackDigits(c.digits))
        << "code \"" << c.code << "\"";
  }
}

struct TypedCase {
  const char* text;
  const char* packed;  // YYYYMMDD
  int16_t day, month, year;
};

TEST_F(PackedDateTest, PackTypedDate) {
  const TypedCase cases[] = {
      {"15/3/26", "20260315", 15, 3, 2026},
      {"150326", "20260315", 15, 3, 2026},
      {"15032026", "20260315", 15, 3, 2026},
      {"15-03-2026", "20260315", 15, 3, 2026},
      {"15.3.26", "20260315", 15, 3, 2026},
      {" 5/ 3/ 26", "20260305", 5, 3, 2026},
      {"1/2/3", "20030201", 1, 2, 2003},
      // Nothing is validated.
      {"31/02/26", "20260231", 31, 2, 2026},
      // No century while the day or the month is zero.
      {"0/3/26", "00260300", 0, 3, 26},
      // Two-digit years fall in 1976 .. 2075.
      {"1/1/75", "20750101", 1, 1, 2075},
      {"1/1/76", "19760101", 1, 1, 1976},
      {"1/1/0", "20000101", 1, 1, 2000},
      {"1/1/1582", "15820101", 1, 1, 1582},
      // Unreadable texts give the empty date.
      {"1-2", "00000000", 0, 0, 0},
      {"1/2/3/4", "00000000", 0, 0, 0},
      {"1a/2/3", "00000000", 0, 0, 0},
      {"", "00000000", 0, 0, 0},
      // A number beyond 16 bits is never wrapped into a date (65562 would wrap to 26).
      {"1/1/65562", "00000000", 0, 0, 0},
      {"1/1/99999999999999999999", "00000000", 0, 0, 0},
      {"1/99999/2026", "00000000", 0, 0, 0},
  };
  for (const TypedCase& c : cases) {
    format::TypedDate() = {99, 99, 99, 99};
    EXPECT_EQ(format::UnpackDigits(format::PackTypedDate(c.text)), c.packed)
        << "text \"" << c.text << "\"";
    const format::TypedDateParts& parts = format::TypedDate();
    EXPECT_EQ(parts.typedDay, c.day) << "text \"" << c.text << "\"";
    EXPECT_EQ(parts.typedMonth, c.month) << "text \"" << c.text << "\"";
    EXPECT_EQ(parts.typedYear, c.year) << "text \"" << c.text << "\"";
  }
}

TEST_F(PackedDateTest, IsBadTypedDate) {
  struct Case {
    const char* text;
    int16_t expected;
    int16_t year;  // typedYear afterwards
    int16_t monthLength;
  };
  const Case cases[] = {
      {"15/3/26", 0, 2026, 31},
      {"29/02/00", 0, 2000, 29},
      {"29/02/1900", -1, 1900, 28},
      // The Gregorian leap rule applies to every year.
      {"29/02/1500", -1, 1500, 28},
      {"29/02/2028", 0, 2028, 29},
      {"10/10/1582", -1, 1582, 31},
      {"05/10/1582", -1, 1582, 31},
      {"14/10/1582", -1, 1582, 31},
      {"04/10/1582", 0, 1582, 31},
      {"15/10/1582", 0, 1582, 31},
      {"1/2/3", 0, 2003, 28},
      {"31/04/2026", -1, 2026, 30},
      {"30/04/2026", 0, 2026, 30},
      {"31/12/2026", 0, 2026, 31},
      {"0/1/2026", -1, 2026, 31},
      {"1/0/2026", -1, 2026, 30},
      {"1/13/2026", -1, 2026, 30},
      // This window is one year wider than the one of PackTypedDate.
      {"1/1/76", 0, 2076, 31},
      {"1/1/77", 0, 1977, 31},
      {"1/1/9999", 0, 9999, 31},
      // A year beyond four digits cannot be packed.
      {"1/1/12345", -1, 12345, 31},
      {"1-2", -1, 0, 0},
      {"1/2/3/4", -1, 0, 0},
      {"1a/2/3", -1, 0, 0},
      {"1/1/65562", -1, 0, 0},
      {"32768/1/2026", -1, 0, 0},
      {"150326", 0, 2026, 31},
      {"15032026", 0, 2026, 31},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(format::IsBadTypedDate(c.text), c.expected) << "text \"" << c.text << "\"";
    EXPECT_EQ(format::TypedDate().typedYear, c.year) << "text \"" << c.text << "\"";
    EXPECT_EQ(format::TypedDate().typedMonthLength, c.monthLength) << "text \"" << c.text << "\"";
  }
}

TEST_F(PackedDateTest, TwoDigitYearsFollowTheCurrentYear) {
  platform::SetToday(platform::CalendarDate{1999, 6, 1});
  EXPECT_EQ(format::UnpackDigits(format::PackTypedDate("1/1/48")), "20480101");
  EXPECT_EQ(format::UnpackDigits(format::PackTypedDate("1/1/49")), "19490101");
  EXPECT_EQ(format::DateDigits(Date("19490101")), "010149");
  EXPECT_EQ(format::DateDigits(Date("19480101")), "01011948");
}

TEST_F(PackedDateTest, DateDigits) {
  struct Case {
    const char* date;
    const char* expected;
  };
  const Case cases[] = {
      {"20260315", "150326"},   {"19000101", "01011900"}, {"00000000", ""},
      {"19760101", "010176"},   {"19750101", "01011975"}, {"20750101", "010175"},
      {"20760101", "01012076"}, {"00260300", "00030026"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(format::DateDigits(Date(c.date)), c.expected) << "date " << c.date;
  }
  EXPECT_EQ(format::DateDigits(""), "");
}

TEST_F(PackedDateTest, DateDiff) {
  struct Case {
    const char* first;
    const char* second;
    const char* unit;
    int32_t expected;
  };
  const Case cases[] = {
      {"19991231", "20260315", "D", 9571},
      {"19991231", "20260315", "M", 315},
      {"19991231", "20260315", "A", 26},
      {"20260101", "20260315", "D", 73},
      {"20260315", "20260315", "D", 0},
      {"20260315", "19991231", "D", 9571},
      {"20260315", "19991231", "d", 9571},
      {"20260315", "19991231", "a", 26},
      {"20260315", "19991231", "X", 0},
      {"20260315", "19991231", "", 0},
      {"20250316", "20260315", "A", 0},
      {"20250315", "20260315", "A", 1},
      {"20260131", "20260201", "M", 1},
      // The days dropped in October 1582 are still counted.
      {"15821004", "15821015", "D", 11},
      // Julian leap rule before 1582, Gregorian from then on.
      {"15000201", "15000301", "D", 29},
      {"19000201", "19000301", "D", 28},
      {"20000201", "20000301", "D", 29},
      {"15811231", "15830101", "D", 366},
      {"14991231", "16010101", "D", 36892},
      {"00000101", "99991231", "D", 3652436},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(format::DateDiff(Date(c.first), Date(c.second), c.unit), c.expected)
        << c.first << " .. " << c.second << " in \"" << c.unit << "\"";
  }
}

TEST_F(PackedDateTest, DateDiffOfForeignBytesStaysInRange) {
  const std::string odd[] = {"",
                             "\x01",
                             std::string("\0\0\0\0", 4),
                             "\xff\xff\xff\xff",
                             "\x80\x80\x80\xe3",
                             std::string(40, '\xe3')};
  for (const std::string& a : odd) {
    for (const std::string& b : odd) {
      for (const char* unit : {"D", "M", "A"}) {
        EXPECT_GE(format::DateDiff(a, b, unit), 0);
      }
    }
    const int16_t day = format::WeekDay(a);
    EXPECT_GE(day, 1);
    EXPECT_LE(day, 7);
  }
}

TEST_F(PackedDateTest, WeekDay) {
  struct Case {
    const char* date;
    int16_t expected;
  };
  const Case cases[] = {
      {"20010101", 1}, {"20260315", 7}, {"15821004", 4}, {"15821015", 5},
      {"20000229", 2}, {"19700101", 4}, {"20260316", 1}, {"19000101", 1},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(format::WeekDay(Date(c.date)), c.expected) << "date " << c.date;
  }
}

}  // namespace
