#include "format/words.h"

#include <array>
#include <cmath>

#include "format/word_language.h"

namespace format {
namespace {

// The words of one language, in code page 850. Index 0 of each row is unused.
struct NumberWordTable {
  std::array<std::string_view, 10> hundreds;
  std::array<std::string_view, 10> tens;
  std::array<std::string_view, 17> units;  // 1 .. 15, or 1 .. 16 where 16 is one word
  int teensBelow;                          // 10 + r is one units word while r is below this
  std::string_view millionStem;
  std::string_view thousand;
  std::string_view centsConnector;
  std::string_view centsPlural;
  std::string_view centsSingular;
};

constexpr NumberWordTable kSpanish = {
    {"", "cien", "doscient", "trescient", "cuatrocient", "quinient", "seiscient", "setecient",
     "ochocient", "novecient"},
    {"", "dieci", "veint", "treinta", "cuarenta", "cincuenta", "sesenta", "setenta", "ochenta",
     "noventa"},
    {"", "un", "dos", "tres", "cuatro", "cinco", "seis", "siete", "ocho", "nueve", "diez", "once",
     "doce", "trece", "catorce", "quince", ""},
    6,
    "mill",
    "mil",
    "con",
    " c\x82ntimos",
    " c\x82ntimo"};

constexpr NumberWordTable kGalician = {
    {"", "ce", "cent", "trescent", "quatrocent", "quinhent", "seiscent", "setecent", "oitocent",
     "novecent"},
    {"", "deza", "vinte", "trinta", "quarenta",
     "cinq\x81"
     "enta",
     "sessenta", "setenta", "oitenta", "noventa"},
    {"", "u", "d", "tr\x88s", "quatro", "cinco", "seis", "sete", "oito", "nove", "dez", "onze",
     "doze", "treze", "catorze", "quinze", ""},
    6,
    "milh",
    "mil",
    "com",
    " c\x82ntimos",
    " c\x82ntimo"};

constexpr NumberWordTable kAranese = {
    {"", "cent", "", "", "", "", "", "", "", ""},
    {"", "d\x8atz", "vint", "trenta", "quaranta", "cinquanta", "seishanta", "setanta", "ueitanta",
     "nauanta"},
    {"", "u", "du", "tres", "quate", "cinc", "sies", "s\x8at", "ueit", "nau", "d\x8atz", "onze",
     "dotze", "tretze", "catorze", "quinze", "setze"},
    7,
    "milion",
    "mil",
    "damb",
    " centims",
    " centim"};

constexpr NumberWordTable kCatalan = {
    {"", "cent", "", "", "", "", "", "", "", ""},
    {"", "di", "vint", "trenta", "quaranta", "cinquanta", "seixanta", "setanta", "vuitanta",
     "noranta"},
    {"", "u", "d", "tres", "quatre", "cinc", "sis", "set", "vuit", "nou", "deu", "onze", "dotze",
     "tretze", "catorze", "quinze", "setze"},
    7,
    "mili",
    "mil",
    "amb",
    " c\x8antims",
    " c\x8antim"};

void TrimEnd(std::string& w) {
  while (!w.empty() && w.back() == ' ') w.pop_back();
}

// Removes trailing blanks and appends one: the current word is complete.
void CloseWord(std::string& w) {
  TrimEnd(w);
  w += ' ';
}

// One digit position of a group: d its digit (10 .. 16 for the teens, written at
// position 2), p its position (0 hundreds, 1 tens, 2 units), r the number formed by
// the digits to its right in the group, s the group (0 millions .. 3 cents).
struct Position {
  int d, p, r, s;
};

class Speller {
 public:
  Speller(WordLanguage language, bool feminine) : language_(language), feminine_(feminine) {
    switch (language) {
      case WordLanguage::kSpanish:
        table_ = &kSpanish;
        break;
      case WordLanguage::kGalician:
        table_ = &kGalician;
        break;
      case WordLanguage::kAranese:
        table_ = &kAranese;
        break;
      case WordLanguage::kCatalan:
        table_ = &kCatalan;
        break;
    }
    w_.reserve(160);
  }

  std::string Spell(long whole, int cents) {
    const int groups[4] = {static_cast<int>(whole / 1000000), static_cast<int>(whole / 1000 % 1000),
                           static_cast<int>(whole % 1000), cents};
    for (int s = 0; s < 4; ++s) {
      const int g = groups[s];
      // One thousand is "mil", never one thousand.
      if (!(s == 1 && g == 1)) {
        const int digit[3] = {g / 100, g / 10 % 10, g % 10};
        for (int p = 0; p < 3; ++p) {
          const int d = digit[p];
          if (d == 0) continue;
          const int r = p == 0 ? g % 100 : p == 1 ? g % 10 : 0;
          if (p == 1 && d == 1 && r < table_->teensBelow) {
            Write({10 + r, 2, 0, s});
            break;
          }
          Write({d, p, r, s});
        }
      }
      if (s == 0 && g > 0) {
        w_ += table_->millionStem;
        MillionEnding(g);
      } else if (s == 1 && g > 0) {
        w_ += table_->thousand;
        CloseWord(w_);
      } else if (s == 2 && whole > 0) {
        if (cents > 0) w_ += table_->centsConnector;
        CloseWord(w_);
      }
    }
    if (cents > 1) {
      TrimEnd(w_);
      w_ += table_->centsPlural;
    } else if (cents == 1) {
      TrimEnd(w_);
      w_ += table_->centsSingular;
    }
    TrimEnd(w_);
    const size_t first = w_.find_first_not_of(' ');
    return first == std::string::npos ? std::string() : w_.substr(first);
  }

 private:
  // Millions and cents always take masculine forms.
  bool Masculine(const Position& x) const { return !feminine_ || x.s == 0 || x.s == 3; }
  bool KindMasculine() const { return !feminine_; }

  void Write(const Position& x) {
    switch (language_) {
      case WordLanguage::kSpanish:
        Spanish(x);
        break;
      case WordLanguage::kGalician:
        Galician(x);
        break;
      case WordLanguage::kAranese:
        Aranese(x);
        break;
      case WordLanguage::kCatalan:
        Catalan(x);
        break;
    }
  }

  std::string_view Word(const Position& x) const {
    if (x.p == 0) return table_->hundreds[x.d];
    if (x.p == 1) return table_->tens[x.d];
    return table_->units[x.d];
  }

  void Spanish(const Position& x) {
    const auto [d, p, r, s] = x;
    w_ += Word(x);
    if (d == 1 && p == 2) {
      if (s == 1 || s == 2) w_ += KindMasculine() ? "o" : "a";  // "uno", "una"; else "un"
    } else if (d == 1 && p == 0 && r > 0) {
      w_ += "to";  // "ciento"
    } else if (d == 2 && p == 1) {
      w_ += r == 0 ? "e" : "i";  // "veinte", "veinti..."
    } else if (d > 2 && p == 1 && r > 0) {
      TrimEnd(w_);
      w_ += " y";
    } else if (d > 1 && p == 0) {
      w_ += (s == 0 || KindMasculine()) ? "os" : "as";
    }
    // "dieci" and "veinti" join the unit that follows.
    if (!(d == 1 && p == 1) && !(d == 2 && p == 1 && r > 0)) CloseWord(w_);
  }

  void Galician(const Position& x) {
    const auto [d, p, r, s] = x;
    if (p == 0 && d == 2) w_ += Masculine(x) ? "dous" : "duas";
    w_ += Word(x);
    if (d == 1 && p == 2) {
      w_ += Masculine(x) ? "m" : "mha";  // "um", "umha"
    } else if (d == 1 && p == 0) {
      w_ += r > 0 ? "nto" : "m";  // "cento", "cem"
    } else if (d == 2 && p == 2) {
      w_ += Masculine(x) ? "ous" : "uas";  // "dous", "duas"
    } else if (d == 1 && p == 1) {
      if (r == 6 || r == 7) w_ += "s";  // "dezasseis", "dezassete"
    } else if (d > 1 && p == 1 && r > 0) {
      TrimEnd(w_);
      w_ += " e ";  // "vinte e um"
    } else if (d > 1 && p == 0) {
      w_ += (s == 0 || KindMasculine()) ? "os" : "as";
    }
    if (p == 0 && r > 0) {
      TrimEnd(w_);
      w_ += " e ";  // "cento e um"
    } else if (!(d == 1 && p == 1) && !(d == 2 && p == 1 && r > 0)) {
      CloseWord(w_);
    }
  }

  // Aranese and Catalan write 2 .. 9 hundred as the unit followed by "cent".
  std::string_view WordWithCent(const Position& x) const {
    return (x.p == 0 && x.d > 1) ? table_->units[x.d] : Word(x);
  }

  void Aranese(const Position& x) {
    const auto [d, p, r, s] = x;
    w_ += WordWithCent(x);
    if (d == 1 && p == 2) {
      w_ += Masculine(x) ? "n" : "a";  // "un", "ua"
    } else if (d <= 2 && p == 1) {
      if (r > 0) {
        w_ += "-e-";  // "vint-e-un", "dètz-e-sèt"
      } else {
        CloseWord(w_);
      }
    } else if (d == 2) {
      w_ += Masculine(x) ? "s" : "es";  // "dus", "dues"
    } else if (d > 2 && p == 1 && r > 0) {
      w_ += ' ';  // "trenta un"
    }
    if (p == 0 && d > 1) {
      w_ += " cent";
      w_ += (KindMasculine() || s == 0) ? "s " : "es ";
    } else if (!(p == 1 && r > 0) && !(d == 2 && p == 1)) {
      CloseWord(w_);
    }
  }

  void Catalan(const Position& x) {
    const auto [d, p, r, s] = x;
    w_ += WordWithCent(x);
    if (d == 1 && p == 1) {
      if (r == 7) w_ += "s";  // "disset"; "divuit", "dinou"
    } else if (d == 1 && p == 2) {
      w_ += Masculine(x) ? "n" : "na";  // "un", "una"
    } else if (d == 2 && p == 1) {
      if (r > 0) {
        w_ += "-i-";  // "vint-i-un"
      } else {
        CloseWord(w_);
      }
    } else if (d == 2) {
      w_ += Masculine(x) ? "os" : "ues";  // "dos", "dues"
    } else if (d > 2 && p == 1 && r > 0) {
      w_ += '-';  // "trenta-un"
    }
    if (p == 0 && d > 1) {
      w_ += "-cent";
      w_ += (KindMasculine() || s == 0) ? "s " : "es ";
    } else if (!(p == 1 && r > 0) && !(d == 2 && p == 1)) {
      CloseWord(w_);
    }
  }

  void MillionEnding(int g) {
    switch (language_) {
      case WordLanguage::kSpanish:
        w_ += g > 1 ? "ones " : "on ";
        break;
      case WordLanguage::kGalician:
        w_ += g > 1 ? "ons " : "om ";
        break;
      case WordLanguage::kAranese:
        if (g > 1) {
          w_ += "s ";
        } else {
          CloseWord(w_);
        }
        break;
      case WordLanguage::kCatalan:
        w_ += g > 1 ? "ons " : "\xa2 ";  // "milions", "milió"
        break;
    }
  }

  WordLanguage language_;
  bool feminine_;
  const NumberWordTable* table_ = &kCatalan;
  std::string w_;
};

}  // namespace

std::string AmountInWords(double value, std::string_view kind) {
  if (!std::isfinite(value)) return {};
  const double v = std::fabs(value);
  const char k = kind.empty() ? '\0' : kind[0];
  double whole = 0;
  double cents = 0;
  bool feminine = false;
  switch (k) {
    case 'p':
    case 'P':
      whole = std::floor(v / 100 * 166.386 + 0.5);
      feminine = true;
      break;
    case 'm':
    case 'M':
      whole = std::floor(v + 0.5);
      break;
    case 'f':
    case 'F':
      whole = std::floor(v + 0.5);
      feminine = true;
      break;
    default:
      whole = std::floor(v / 100);
      cents = std::floor(v - 100 * whole + 0.5);
      if (cents < 0) cents = 0;
      // A fraction of a cent can round up to a whole euro.
      if (cents >= 100) {
        whole += 1;
        cents -= 100;
      }
      break;
  }
  // Nine digits of whole part is what the words can hold; a number cut to its last
  // nine digits would be a wrong amount in a letter.
  if (!(whole <= 999999999)) return {};
  Speller speller(SessionWordLanguage(), feminine);
  return speller.Spell(static_cast<long>(whole), static_cast<int>(cents));
}

}  // namespace format
