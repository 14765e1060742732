#include <gtest/gtest.h>

#include "platform/clock.h"
#include "platform/cp850.h"
#include "platform/packed_digits.h"

namespace {

TEST(Cp850, RoundTripsEveryByteThroughUnicode) {
  for (int b = 0; b < 256; ++b) {
    uint8_t back = 0;
    ASSERT_TRUE(platform::UnicodeToCp850(platform::Cp850ToUnicode(static_cast<uint8_t>(b)), back))
        << b;
    EXPECT_EQ(back, b);
  }
}

TEST(Cp850, KnownCharacters) {
  struct Case {
    uint8_t byte;
    char32_t text;
    char32_t glyph;
  } cases[] = {
      {'A', U'A', U'A'},          {0x87, U'ç', U'ç'},   {0x8A, U'è', U'è'},
      {0xA5, U'Ñ', U'Ñ'},         {0xC9, U'╔', U'╔'},   {0xBB, U'╗', U'╗'},
      {0xCD, U'═', U'═'},         {0xBA, U'║', U'║'},   {0xDA, U'┌', U'┌'},
      {0xD5, U'€', U'€'},         {0x10, 0x10, U'►'},   {0x11, 0x11, U'◄'},
      {0x7F, 0x7F, U'⌂'},         {0x00, 0x00, U' '},   {0xFF, 0xA0, 0xA0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(platform::Cp850ToUnicode(c.byte), c.text) << int(c.byte);
    EXPECT_EQ(platform::Cp850Glyph(c.byte), c.glyph) << int(c.byte);
  }
}

TEST(Cp850, Utf8Conversions) {
  EXPECT_EQ(platform::Cp850ToUtf8("Pla\x87" "a"), "Plaça");
  bool lost = true;
  EXPECT_EQ(platform::Utf8ToCp850("Núria Güell", '?', &lost), "N\xA3ria G\x81" "ell");
  EXPECT_FALSE(lost);
  EXPECT_EQ(platform::Utf8ToCp850("a☃b", '?', &lost), "a?b");  // no snowman in 850
  EXPECT_TRUE(lost);
  EXPECT_EQ(platform::Utf8ToCp850("a\xC3", '?', &lost), "a?");  // cut short
  EXPECT_EQ(platform::Utf8ToCp850("\xE2\x82", '?', &lost), "??");
  EXPECT_EQ(platform::Utf8ToCp850("\xC0\x80", '?', &lost), "??");  // overlong NUL
}

TEST(PackedDigits, PacksAndUnpacks) {
  struct Case {
    std::string digits;
    std::string packed;
  } cases[] = {
      {"20260315", "\x94\x9A\x83\x8F"},  // 148 154 131 143
      {"123", "\x8C\x9E"},               // pairs 12 and 30
      {" 12", "\x81\x94"},               // like "012": pairs 01 and 20
      {"00000000", "\x80\x80\x80\x80"},
      {"1a", "\x8A"},                    // a non-digit counts 0
      {"", ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(platform::PackDigits(c.digits), c.packed) << c.digits;
  }
  EXPECT_EQ(platform::UnpackDigits("\x94\x9A\x83\x8F"), "20260315");
  EXPECT_EQ(platform::UnpackDigits(" "), "32");
  EXPECT_EQ(platform::UnpackDigits(std::string(1, '\0')), "00");
  EXPECT_EQ(platform::UnpackDigits("\xFF"), "27");  // 127: only the last two digits
}

TEST(Clock, TodayCanBeFixed) {
  platform::SetToday(platform::CalendarDate{2026, 3, 15});
  platform::CalendarDate d = platform::Today();
  EXPECT_EQ(d.year, 2026);
  EXPECT_EQ(d.month, 3);
  EXPECT_EQ(d.day, 15);
  platform::SetToday(std::nullopt);
  EXPECT_GE(platform::Today().year, 2026);
  double r = platform::UniformRandom();
  EXPECT_GE(r, 0.0);
  EXPECT_LT(r, 1.0);
}

}  // namespace
