#include "format/words.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>

#include "tests/format/format_fixture.h"

namespace {

using format_testing::Cp;
using format_testing::FormatTest;

class WordsTest : public FormatTest {
 protected:
  std::string InWords(const char* language, double value, const char* kind) {
    SetLanguage(language);
    return format::AmountInWords(value, kind);
  }
};

// One value in the four languages; texts in UTF-8.
struct WordsCase {
  double value;
  const char* kind;
  const char* catalan;
  const char* spanish;
  const char* galician;
  const char* aranese;
};

void ExpectInAllLanguages(const WordsCase& c, const std::string& cat, const std::string& spa,
                          const std::string& glg, const std::string& oci) {
  EXPECT_EQ(cat, Cp(c.catalan)) << c.value << " " << c.kind << " in Catalan";
  EXPECT_EQ(spa, Cp(c.spanish)) << c.value << " " << c.kind << " in Spanish";
  EXPECT_EQ(glg, Cp(c.galician)) << c.value << " " << c.kind << " in Galician";
  EXPECT_EQ(oci, Cp(c.aranese)) << c.value << " " << c.kind << " in Aranese";
}

TEST_F(WordsTest, Counts) {
  const WordsCase cases[] = {
      {1, "m", "un", "uno", "um", "un"},
      {1, "f", "una", "una", "umha", "ua"},
      {2, "f", "dues", "dos", "duas", "dues"},
      {2, "m", "dos", "dos", "dous", "dus"},
      {10, "m", "deu", "diez", "dez", "dètz"},
      {15, "m", "quinze", "quince", "quinze", "quinze"},
      {16, "m", "setze", "dieciseis", "dezasseis", "setze"},
      {17, "m", "disset", "diecisiete", "dezassete", "dètz-e-sèt"},
      {18, "m", "divuit", "dieciocho", "dezaoito", "dètz-e-ueit"},
      {19, "m", "dinou", "diecinueve", "dezanove", "dètz-e-nau"},
      {20, "m", "vint", "veinte", "vinte", "vint"},
      {21, "m", "vint-i-un", "veintiuno", "vinte e um", "vint-e-un"},
      {22, "f", "vint-i-dues", "veintidos", "vinte e duas", "vint-e-dues"},
      {30, "m", "trenta", "treinta", "trinta", "trenta"},
      {31, "m", "trenta-un", "treinta y uno", "trinta e um", "trenta un"},
      {55, "m", "cinquanta-cinc", "cincuenta y cinco", "cinqüenta e cinco", "cinquanta cinc"},
      {100, "m", "cent", "cien", "cem", "cent"},
      {101, "m", "cent un", "ciento uno", "cento e um", "cent un"},
      {200, "m", "dos-cents", "doscientos", "douscentos", "dus cents"},
      {200, "f", "dues-centes", "doscientas", "duascentas", "dues centes"},
      {700, "m", "set-cents", "setecientos", "setecentos", "sèt cents"},
      {700, "f", "set-centes", "setecientas", "setecentas", "sèt centes"},
      {999, "m", "nou-cents noranta-nou", "novecientos noventa y nueve",
       "novecentos e noventa e nove", "nau cents nauanta nau"},
      {1000, "m", "mil", "mil", "mil", "mil"},
      {1001, "f", "mil una", "mil una", "mil umha", "mil ua"},
      {2000, "f", "dues mil", "dos mil", "duas mil", "dues mil"},
      {21000, "m", "vint-i-un mil", "veintiuno mil", "vinte e um mil", "vint-e-un mil"},
      // In the thousands the unit one agrees with the kind.
      {21000, "f", "vint-i-una mil", "veintiuna mil", "vinte e umha mil", "vint-e-ua mil"},
      {1000000, "m", "un milió", "un millon", "um milhom", "un milion"},
      {1000000, "f", "un milió", "un millon", "um milhom", "un milion"},
      {2000000, "m", "dos milions", "dos millones", "dous milhons", "dus milions"},
      {1001000, "m", "un milió mil", "un millon mil", "um milhom mil", "un milion mil"},
      // Hundreds of millions are always masculine.
      {200000000, "f", "dos-cents milions", "doscientos millones", "douscentos milhons",
       "dus cents milions"},
      {999999999, "m",
       "nou-cents noranta-nou milions nou-cents noranta-nou mil nou-cents noranta-nou",
       "novecientos noventa y nueve millones novecientos noventa y nueve mil novecientos noventa "
       "y nueve",
       "novecentos e noventa e nove milhons novecentos e noventa e nove mil novecentos e noventa "
       "e nove",
       "nau cents nauanta nau milions nau cents nauanta nau mil nau cents nauanta nau"},
      // Counts round half up; the sign is ignored.
      {2.5, "m", "tres", "tres", "três", "tres"},
      {-5, "M", "cinc", "cinco", "cinco", "cinc"},
      {0, "m", "", "", "", ""},
      {0.4, "f", "", "", "", ""},
  };
  for (const WordsCase& c : cases) {
    ExpectInAllLanguages(c, InWords("CAT", c.value, c.kind), InWords("SPA", c.value, c.kind),
                         InWords("GLG", c.value, c.kind), InWords("OCI", c.value, c.kind));
  }
}

TEST_F(WordsTest, AmountsInCents) {
  const WordsCase cases[] = {
      {1, "e", "un cèntim", "un céntimo", "um céntimo", "un centim"},
      {101, "e", "un amb un cèntim", "uno con un céntimo", "um com um céntimo",
       "un damb un centim"},
      {50, "e", "cinquanta cèntims", "cincuenta céntimos", "cinqüenta céntimos",
       "cinquanta centims"},
      {100050, "e", "mil amb cinquanta cèntims", "mil con cincuenta céntimos",
       "mil com cinqüenta céntimos", "mil damb cinquanta centims"},
      {123456789, "e",
       "un milió dos-cents trenta-quatre mil cinc-cents seixanta-set amb vuitanta-nou cèntims",
       "un millon doscientos treinta y cuatro mil quinientos sesenta y siete con ochenta y "
       "nueve céntimos",
       "um milhom douscentos e trinta e quatro mil quinhentos e sessenta e sete com oitenta e "
       "nove céntimos",
       "un milion dus cents trenta quate mil cinc cents seishanta sèt damb ueitanta nau "
       "centims"},
      {200000005, "", "dos milions amb cinc cèntims", "dos millones con cinco céntimos",
       "dous milhons com cinco céntimos", "dus milions damb cinc centims"},
      {500, "e", "cinc", "cinco", "cinco", "cinc"},
      {0.4, "e", "", "", "", ""},
      // A fraction of a cent that rounds to a whole euro carries into the euros.
      {199.6, "e", "dos", "dos", "dous", "dus"},
      {120000, "p", "cent noranta-nou mil sis-centes seixanta-tres",
       "ciento noventa y nueve mil seiscientas sesenta y tres",
       "cento e noventa e nove mil seiscentas e sessenta e três",
       "cent nauanta nau mil sies centes seishanta tres"},
  };
  for (const WordsCase& c : cases) {
    ExpectInAllLanguages(c, InWords("CAT", c.value, c.kind), InWords("SPA", c.value, c.kind),
                         InWords("GLG", c.value, c.kind), InWords("OCI", c.value, c.kind));
  }
}

TEST_F(WordsTest, ValuesTheWordsCannotHoldGiveNothing) {
  const double values[] = {std::numeric_limits<double>::quiet_NaN(),
                           std::numeric_limits<double>::infinity(),
                           -std::numeric_limits<double>::infinity(),
                           1e300,
                           -1e300,
                           std::numeric_limits<double>::max()};
  for (double v : values) {
    for (const char* kind : {"m", "f", "p", "e"}) {
      EXPECT_EQ(InWords("CAT", v, kind), "") << v << " kind " << kind;
    }
  }
  // A count beyond nine digits is not cut to its last nine digits.
  EXPECT_EQ(InWords("CAT", 1e9, "m"), "");
  EXPECT_EQ(InWords("CAT", 1234567890, "f"), "");
  EXPECT_EQ(InWords("CAT", 1e9, "p"), "");
  // 999 999 999.99 euros is the largest amount written.
  EXPECT_EQ(InWords("SPA", 99999999999, "e"),
            Cp("novecientos noventa y nueve millones novecientos noventa y nueve mil "
               "novecientos noventa y nueve con noventa y nueve céntimos"));
  EXPECT_EQ(InWords("SPA", 100000000000, "e"), "");
}

}  // namespace
