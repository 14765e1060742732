#include "format/number_mask.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <string>

#include "tests/format/format_fixture.h"

namespace {

using format_testing::FormatTest;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInfinity = std::numeric_limits<double>::infinity();

struct MaskCase {
  const char* mask;
  double value;
  const char* expected;
};

class FormatMaskTest : public FormatTest {};

TEST_F(FormatMaskTest, DefaultCharacters) {
  const MaskCase cases[] = {
      {"ZZ9", 5, "  5"},
      {"ZZ9", 0, "  0"},
      {"ZZZ9", 0, "   0"},
      {"ZZ9", 1234, "!!!"},
      {"Z9", -3, "-3"},
      {"ZZZ9", -3, "  -3"},
      {"Z9", -12, "!!"},
      {"ZZ9.99", 0, "  0'00"},
      {"ZZ9.99", -0.05, "  -'05"},
      {"ZZ9.99", 12345.6, "12345'"},
      {"ZZ9.99-", -12.5, " 12'50-"},
      {"ZZ9.99-", 12.5, " 12'50 "},
      {"ZZ9-", 5, "  5 "},
      {"+ZZ9", -5, "-  5"},
      {"+ZZ9", 5, "+  5"},
      {"Z,ZZZ,ZZ9.99", 1234567.891, "1.234.567'89"},
      // Trailing zero decimals of "Z" positions are blanked, and so is the point
      // when the position to its right was blanked.
      {"Z9.ZZ", 1.5, " 1'5 "},
      {"Z9.ZZ", 1, " 1   "},
      // Separators left of the number take the fill beside them.
      {"Z,ZZ9", 5, "    5"},
      {"*,**9", 5, "****5"},
      {"9,999", 5, "0.005"},
      {"Z,ZZ9", -5, "   -5"},
      {"**9.99", 1.5, "**1'50"},
      {"zz9", 5, "  5"},
      {"99/99", 1234, "12/34"},
      // No digit positions: every non-zero value takes the whole-number form.
      {"--", 5, " 5"},
      {"--", -5, "-5"},
      {"--", 0, "  "},
      {"", 5, ""},
      {"ZZZZ", 0, "    "},
      {"9999", 0, "0000"},
      // Ties to the even neighbour, on the binary double: 1.115 x 100 is exactly
      // 111.5 in double precision, 1.005 x 100 just below 100.5.
      {"ZZ9", 2.5, "  2"},
      {"ZZ9", 3.5, "  4"},
      {"ZZ9.99", 0.125, "  0'12"},
      {"Z9.99", 1.115, " 1'12"},
      {"Z9.99", 1.005, " 1'00"},
      // A negative value that rounds to zero keeps its minus.
      {"ZZ9.99", -0.001, "  -'00"},
      // Too long for the mask: shown whole, cut to the mask's length.
      {"9.99-", -123.4, "-123'"},
      {"ZZ9.99", -123.45, "-123'4"},
      {"9", -3, "!"},
      {"ZZZ,ZZ9", 12345678, "!!!!!!!"},
      {"ZZZ,ZZ9", 1234567, "1234567"},
  };
  for (const MaskCase& c : cases) {
    EXPECT_EQ(format::FormatMask(c.mask, c.value), c.expected)
        << "mask \"" << c.mask << "\" value " << c.value;
  }
}

TEST_F(FormatMaskTest, UserCharactersAreReadOnceAtFirstUse) {
  WriteUserSettings("DecCaracter=,\r\nMilCaracter= \r\n");
  // A blank thousands character falls back to the default ".".
  EXPECT_EQ(format::FormatMask("Z,ZZZ,ZZ9.99", 1234567.891), "1.234.567,89");
  WriteUserSettings("DecCaracter=:\r\nMilCaracter=_\r\n");
  EXPECT_EQ(format::FormatMask("Z,ZZ9.99", 1234.5), "1.234,50");
  format::ResetFormatState();
  EXPECT_EQ(format::FormatMask("Z,ZZ9.99", 1234.5), "1_234:50");
}

TEST_F(FormatMaskTest, NonFiniteAndHugeValuesNeverBreakTheMask) {
  const double values[] = {kNaN,   kInfinity, -kInfinity,
                           1e300,  -1e300,    std::numeric_limits<double>::max(),
                           1e-300, -5e-324};
  const std::string long9(255, '9');
  const std::string longDecimals = "Z." + std::string(253, '9');
  const std::string longSigned = "-" + std::string(200, 'Z') + "." + std::string(54, '9');
  for (double v : values) {
    for (const std::string& mask : {std::string("ZZ9"), std::string(""), long9, longDecimals,
                                    longSigned, std::string("Z,ZZZ,ZZ9.99-")}) {
      const std::string text = format::FormatMask(mask, v);
      ASSERT_EQ(text.size(), mask.size()) << "mask of " << mask.size() << " value " << v;
      if (!std::isfinite(v)) {
        EXPECT_EQ(text, std::string(mask.size(), '!'));
      }
    }
  }
  EXPECT_EQ(format::FormatMask("ZZ9", 1e300), "!!!");
  // 1e300 has 301 integer digits: they fit a 255-position mask only as "!".
  EXPECT_EQ(format::FormatMask(long9, 1e300), std::string(255, '!'));
  // 1e100 scaled by 10^253 leaves the double range; its digits still come out right.
  const std::string big = format::FormatMask(longDecimals, 1e100);
  EXPECT_EQ(big.substr(0, 4), "1000");
  EXPECT_EQ(big.find('!'), std::string::npos);
}

TEST_F(FormatMaskTest, DecimalsBeyondTheDoubleRangeStayInPlace) {
  const std::string mask = "9." + std::string(500, '9');
  EXPECT_EQ(format::FormatMask(mask, 0.5), "0'5" + std::string(499, '0'));
  // No sign position: the minus pushes the number into its whole form, cut.
  EXPECT_EQ(format::FormatMask(mask, -2), "-2'" + std::string(499, '0'));
  EXPECT_EQ(format::FormatMask("-" + mask, -2.25), "-2'25" + std::string(498, '0'));
}

TEST_F(FormatMaskTest, AnyMaskUpTo255CharactersKeepsItsLength) {
  std::mt19937 random(20260315);
  const std::string alphabet = "9Zz*.,-+ /'ab";
  const double values[] = {0, 1, -1, 0.5, -0.005, 123.456, -98765.4321, 1e15, -1e15, 1e300};
  for (int round = 0; round < 2000; ++round) {
    const size_t length = random() % 256;
    std::string mask(length, ' ');
    for (char& c : mask) {
      c = random() % 8 == 0 ? static_cast<char>(random() % 256)
                            : alphabet[random() % alphabet.size()];
    }
    for (double v : values) {
      ASSERT_EQ(format::FormatMask(mask, v).size(), length) << "mask \"" << mask << "\"";
    }
  }
}

struct AmountCase {
  const char* picture;
  double cents;
  const char* currency;  // SetCurrency argument before the call
  const char* expected;
};

TEST_F(FormatMaskTest, AmountText) {
  format::SetCurrency("a,E");
  format::SetCurrency("x,P");
  const AmountCase cases[] = {
      {"Z,ZZZ,ZZZ,ZZ9-", 123450, "", "     1.234'50 "},
      {"Z,ZZZ,ZZZ,ZZ9-", -123450, "", "     1.234'50-"},
      {"Z,ZZZ,ZZZ,ZZ9-", 0, "", "         0'00 "},
      {"Z,ZZZ,ZZZ,ZZ9-", 123450, "p", "      205.404 "},
      {"Z,ZZZ,ZZZ,ZZ9-", -123450, "p", "      205.404-"},
      {"Z,ZZZ,ZZZ,ZZ9", 5, "", "         0'05"},
      {"Z,ZZZ,ZZZ,ZZ9", 9999999999, "", "99.999.999'99"},
      // Beyond the picture: shown whole rather than cut.
      {"Z,ZZZ,ZZZ,ZZ9", 10000000000, "", " 100000000'00"},
      // A picture of "Z" only shows a zero amount as blanks.
      {"ZZZZZZ", 0, "", "      "},
      {"ZZZZZZ", 150, "", "  1'50"},
      {"-ZZZ9", -500, "", "-5'00"},
      {"+ZZZ9", 500, "", "+5'00"},
      {"*,***,**9", 5, "", "*****0'05"},
      {"", 5, "", ""},
  };
  for (const AmountCase& c : cases) {
    format::SetCurrency(c.currency);
    EXPECT_EQ(format::AmountText(c.picture, c.cents), c.expected)
        << "picture \"" << c.picture << "\" cents " << c.cents << " currency " << c.currency;
  }
}

TEST_F(FormatMaskTest, AmountTextOfNonFiniteAndHugeAmounts) {
  format::SetCurrency("a,E");
  for (double cents : {kNaN, kInfinity, -kInfinity}) {
    EXPECT_EQ(format::AmountText("Z,ZZZ,ZZZ,ZZ9-", cents), "!!!!!!!!!!!!!!");
  }
  EXPECT_EQ(format::AmountText("Z,ZZZ,ZZZ,ZZ9-", 1e300), "!!!!!!!!!!!!!!");
  EXPECT_EQ(format::AmountText(std::string(255, 'Z'), 1e300).size(), 255u);
}

struct CurrencyStep {
  const char* spec;
  const char* base;
  const char* alternate;
  const char* display;
};

TEST_F(FormatMaskTest, SetCurrency) {
  const CurrencyStep steps[] = {
      {"", "", "", ""},
      // "p" before any alternate currency keeps the base currency.
      {"a,E", "E", "", "E"},
      {"p", "E", "", "E"},
      {"x, p ", "E", "P", "E"},
      {"P", "E", "P", "P"},
      {"", "E", "P", "E"},
      {"q", "E", "P", "E"},
      {"A,  ", "", "P", ""},
      {"p", "", "P", "P"},
      {"a , d", "D", "P", "D"},
      {",z", "D", "Z", "D"},
  };
  for (const CurrencyStep& s : steps) {
    format::SetCurrency(s.spec);
    const format::CurrencyState& c = format::State().currency;
    EXPECT_EQ(c.baseCurrency, s.base) << "after \"" << s.spec << "\"";
    EXPECT_EQ(c.alternateCurrency, s.alternate) << "after \"" << s.spec << "\"";
    EXPECT_EQ(c.displayCurrency, s.display) << "after \"" << s.spec << "\"";
  }
}

struct PlainCase {
  double value;
  const char* spec;
  const char* expected;
};

TEST_F(FormatMaskTest, PlainNumberText) {
  const PlainCase cases[] = {
      {12.5, "", "12.5"},       {-3, "", "-3"},           {0, "", ""},
      {0.5, "", ".5"},          {0.5, "Z", "0.5"},        {-0.25, "z", "-0.25"},
      {7, "5", "00007"},        {-7, "5", "-0007"},       {7, "5S", "+0007"},
      {7, "5s", "+0007"},       {-7, "5N", "N0007"},      {7, "5M", " 0007"},
      {-7, "M", "N7"},          {7, "S", "+7"},           {123456, "4", "3456"},
      {12.5, "4.2", "0012.50"}, {12.5, "4.2V", "001250"}, {0.05, ".2", ".05"},
      {0.05, ".2Z", "0.05"},    {2.5, ".", "2"},          {3.5, "3.0", "004"},
      {0.125, ".2", ".12"},     {123, "x-y", "123"},
  };
  for (const PlainCase& c : cases) {
    EXPECT_EQ(format::PlainNumberText(c.value, c.spec), c.expected)
        << "value " << c.value << " spec \"" << c.spec << "\"";
  }
  EXPECT_EQ(format::NumberText(12.5), "12.5");
  EXPECT_EQ(format::NumberText(-3), "-3");
  EXPECT_EQ(format::NumberText(0), "");
}

TEST_F(FormatMaskTest, PlainNumberTextOfExtremeValuesEnds) {
  EXPECT_EQ(format::NumberText(kNaN), "");
  EXPECT_EQ(format::NumberText(kInfinity), "");
  EXPECT_EQ(format::PlainNumberText(-kInfinity, "5.2"), "");
  // The smallest double needs hundreds of decimals; the scaling still stops.
  const std::string tiny = format::NumberText(5e-324);
  ASSERT_FALSE(tiny.empty());
  EXPECT_EQ(tiny[0], '.');
  EXPECT_EQ(format::NumberText(1e300).size(), 301u);
  // A width or a decimal count beyond any field is held to the longest field.
  EXPECT_EQ(format::PlainNumberText(1, "99999999999999999999").size(), 255u);
  EXPECT_EQ(format::PlainNumberText(0, ".99999999999999999999"), "." + std::string(255, '0'));
}

TEST_F(FormatMaskTest, ZeroPad) {
  struct Case {
    double value;
    int16_t width;
    const char* expected;
  };
  const Case cases[] = {
      {7, 2, "07"}, {123, 2, "23"}, {0, 3, "000"},   {20260315, 8, "20260315"},
      {5, 0, ""},   {5, -1, ""},    {kNaN, 2, "00"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(format::ZeroPad(c.value, c.width), c.expected)
        << "value " << c.value << " width " << c.width;
  }
}

TEST_F(FormatMaskTest, IsBadNumberText) {
  struct Case {
    const char* text;
    const char* allowed;
    int16_t expected;
  };
  const Case cases[] = {
      {"12.5", ".", 0}, {"12.5", "", -1},  {"-3", "-", 0},     {"-3", "+", 0},   {"+3", "-", 0},
      {"-3", "", -1},   {"1-2", "-.", -1}, {"1.2.3", ".", -1}, {" 1 2 ", "", 0}, {"", "", 0},
      {"5-", "-", -1},  {"-.5", ".-", 0},  {".-5", ".-", -1},  {"--5", "-", -1}, {"1a", ".-", -1},
      {" - 5", "-", 0}, {"1,5", ".", -1},  {"\t1", "", -1},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(format::IsBadNumberText(c.text, c.allowed), c.expected)
        << "text \"" << c.text << "\" allowed \"" << c.allowed << "\"";
  }
}

TEST_F(FormatMaskTest, IsBadAmountText) {
  const std::string fourHundredNines(400, '9');
  struct Case {
    const char* text;
    double minimum, maximum;
    int16_t decimals;
    int16_t expected;
  };
  const Case cases[] = {
      // Extra decimals are rounded, not refused.
      {"1.005", 0, 10, 2, 0},
      // The value stops at the first blank after the digits.
      {"1 234", 0, 10, 0, 0},
      {"11", 0, 10, 0, -1},
      {"10", 0, 10, 0, 0},
      {"0", 1, 10, 0, -1},
      {"-1", -5, 5, 0, 0},
      {"-1", 0, 5, 0, -1},
      {"-6", -5, 5, 0, -1},
      {"1.5", 0, 10, 0, -1},
      {"", 0, 10, 0, 0},
      {"5", 10, 1, 0, -1},
      {"5", 0, 10, -1, -1},
      {"5", 0, 10, 17, -1},
      {"5", 0, 10, 16, 0},
      {"5", kNaN, 10, 0, -1},
      {"5", 0, kNaN, 0, -1},
      // Rounding on the binary double: 0.995 x 100 is 99.5, 10.005 x 100 just above
      // 1000.5.
      {"0.995", 1, 10, 2, 0},
      {"10.005", 0, 10, 2, -1},
      {"10.004", 0, 10, 2, 0},
      {"99", 1, 99, 0, 0},
      {"2000000000", 1, 2000000000, 0, 0},
      {"2000000001", 1, 2000000000, 0, -1},
      {fourHundredNines.c_str(), 0, 1e300, 0, -1},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(format::IsBadAmountText(c.text, c.minimum, c.maximum, c.decimals), c.expected)
        << "text \"" << c.text << "\" " << c.minimum << " .. " << c.maximum << " decimals "
        << c.decimals;
  }
}

TEST_F(FormatMaskTest, NumericValue) {
  struct Case {
    std::string text;
    double expected;
  };
  const Case cases[] = {
      {"12abc", 12},
      {"abc", 0},
      {"  -3.5x", -3.5},
      {"+.5", 0.5},
      {"1 234", 1},
      {"-", 0},
      {".", 0},
      {"12.", 12},
      {"1e5", 1},
      {" - 5", 0},
      {"007", 7},
      {"0.1", 0.1},
      {std::string(400, '9'), kInfinity},
      {"-" + std::string(400, '9'), -kInfinity},
      {"0." + std::string(400, '0') + "1", 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(format::NumericValue(c.text), c.expected) << "text \"" << c.text << "\"";
  }
}

}  // namespace
