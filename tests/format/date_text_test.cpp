#include "format/date_text.h"

#include <gtest/gtest.h>

#include <string>

#include "format/words.h"
#include "tests/format/format_fixture.h"

namespace {

using format_testing::Cp;
using format_testing::Date;
using format_testing::FormatTest;

class DateTextTest : public FormatTest {};

struct DateTextCase {
  const char* language;
  const char* date;  // YYYYMMDD
  int16_t mode;
  const char* parts;
  const char* expected;  // UTF-8
};

TEST_F(DateTextTest, FormsAndLanguages) {
  const DateTextCase cases[] = {
      {"CAT", "20260315", -1, "dma", "2026-03-15"},
      {"CAT", "20260315", -1, "", "2026-03-15"},
      {"CAT", "20260315", 0, "dma", "15/3/2026 "},
      {"CAT", "20260315", 1, "dma", "15/mar/2026"},
      {"CAT", "20260315", 2, "dma", "15 de març del 2026"},
      {"SPA", "20260315", 2, "dma", "15 de marzo de 2026"},
      {"GLG", "20260315", 2, "dma", "15 de março do 2026"},
      {"OCI", "20260315", 2, "dma", "15 de març deth 2026"},
      {"CAT", "20260401", 2, "dma", "1 d'abril del 2026"},
      {"SPA", "20260401", 2, "dma", "1 de abril de 2026"},
      {"GLG", "20260401", 2, "dma", "1 de abril do 2026"},
      {"OCI", "20260401", 2, "dma", "1 d'abriu deth 2026"},
      {"CAT", "20261015", 2, "DMA", "15 d'octubre del 2026"},
      {"OCI", "20260115", 2, "dma", "15 de gèr deth 2026"},
      {"OCI", "20260215", 2, "dma", "15 de hereuèr deth 2026"},
      {"GLG", "20261015", 2, "dma", "15 de outubro do 2026"},
      {"OCI", "20260815", 2, "dma", "15 d'agost deth 2026"},
      {"CAT", "20260315", 2, "ma", "març del 2026"},
      {"CAT", "20260315", 2, "m", "març"},
      {"CAT", "20260315", 7, "d", "15"},
      {"SPA", "20260115", 1, "dma", "15/ene/2026"},
      {"GLG", "20260315", 1, "dma", "15/mar/2026"},
      // Day and month are never zero-padded in figures.
      {"CAT", "20260305", 0, "dma", "5/3/2026  "},
      {"CAT", "20260315", 0, "a", "2026"},
      {"CAT", "20260315", 0, "md", "15/3 "},
      {"CAT", "20260315", 1, "m", "mar"},
      // The empty date.
      {"CAT", "00000000", 2, "dma", ""},
      {"CAT", "00000000", 0, "dma", "          "},
      {"CAT", "00000000", 1, "dma", "           "},
      {"CAT", "00000000", -1, "dma", "0000-00-00"},
      // Any other language code is Catalan.
      {"", "20260315", 2, "dma", "15 de març del 2026"},
      {"   ", "20260315", 2, "dma", "15 de març del 2026"},
      {"spa", "20260315", 2, "dma", "15 de març del 2026"},
      {"XYZ", "20260401", 2, "dma", "1 d'abril del 2026"},
      // A month without a name shows its number.
      {"CAT", "20261301", 2, "dma", "1 de 13 del 2026"},
      {"CAT", "20260001", 1, "dma", "1/0/2026   "},
  };
  for (const DateTextCase& c : cases) {
    SetLanguage(c.language);
    EXPECT_EQ(format::DateText(Date(c.date), c.mode, c.parts), Cp(c.expected))
        << c.language << " " << c.date << " mode " << c.mode << " parts \"" << c.parts << "\"";
  }
}

TEST_F(DateTextTest, ShortOrMissingDatesReadAsEmpty) {
  EXPECT_EQ(format::DateText("", 2, "dma"), "");
  EXPECT_EQ(format::DateText("", -1, "dma"), "0000-00-00");
  EXPECT_EQ(format::DateText(std::string("\xff\xff", 2), 0, "dma"), "          ");
}

TEST_F(DateTextTest, UserOrderAndSeparator) {
  WriteUserSettings("DatOrdre=AMD\r\nDatCaracter=-\r\n");
  EXPECT_EQ(format::DateText(Date("20260315"), 2, "dma"), Cp("2026 de març del 15"));
  EXPECT_EQ(format::DateText(Date("20260315"), 0, "dma"), "2026-3-15 ");
  EXPECT_EQ(format::DateText(Date("20260315"), -1, "dma"), "2026-03-15");
}

TEST_F(DateTextTest, SettingsAreReadOnceAtFirstUse) {
  WriteUserSettings("DatOrdre=MDA\r\n");
  EXPECT_EQ(format::DateText(Date("20260315"), 0, "dma"), "3/15/2026 ");
  WriteUserSettings("DatOrdre=AMD\r\nDatCaracter=.\r\n");
  EXPECT_EQ(format::DateText(Date("20260315"), 0, "dma"), "3/15/2026 ");
  format::ResetFormatState();
  EXPECT_EQ(format::DateText(Date("20260315"), 0, "dma"), "2026.3.15 ");
}

TEST_F(DateTextTest, UnusualOrderSettings) {
  struct Case {
    const char* setting;
    const char* expected;
  };
  const Case cases[] = {
      // Written in small letters, the order still names the parts.
      {"DatOrdre=mda", "3/15/2026 "},
      // Blank-padded to three letters; a blank names no part.
      {"DatOrdre=MD", "3/15      "},
      {"DatOrdre=   ", "15/3/2026 "},
      {"DatOrdre=DMAXYZ", "15/3/2026 "},
      {"DatOrdre=DDD", "15/15/15  "},
  };
  for (const Case& c : cases) {
    format::ResetFormatState();
    WriteUserSettings(std::string(c.setting) + "\r\n");
    EXPECT_EQ(format::DateText(Date("20260315"), 0, "dma"), c.expected) << c.setting;
  }
}

TEST_F(DateTextTest, LanguageIsReadAtEveryCall) {
  SetLanguage("SPA");
  EXPECT_EQ(format::DateText(Date("20260315"), 2, "dma"), "15 de marzo de 2026");
  SetLanguage("GLG");
  EXPECT_EQ(format::DateText(Date("20260315"), 2, "dma"), Cp("15 de março do 2026"));
}

TEST_F(DateTextTest, DayInWordsForLetters) {
  // The letter fields put the day in words in front of the rest of the date.
  const std::string text = format::DateText(Date("20260315"), 2, "dma");
  const std::string inWords = format::AmountInWords(15, "m") + text.substr(text.find(' '));
  EXPECT_EQ(inWords, Cp("quinze de març del 2026"));
}

}  // namespace
