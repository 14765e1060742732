#include "format/text.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "tests/format/format_fixture.h"

namespace {

using format_testing::Cp;
using format_testing::FormatTest;

class TextTest : public FormatTest {};

std::string Fold(std::string_view text, bool dropAccents) {
  format::FoldAccents() = dropAccents;
  std::string folded = format::FoldText(text);
  format::FoldAccents() = false;
  return folded;
}

TEST_F(TextTest, FoldText) {
  struct Case {
    std::string text;      // UTF-8
    std::string capitals;  // accents kept
    std::string plain;     // accents dropped
  };
  const Case cases[] = {
      {"abc xyz", "ABC XYZ", "ABC XYZ"},
      {"0123456789 !\"#$%&'()*+,-./:;<=>?", "0123456789 !\"#$%&'()*+,-./:;<=>?",
       "0123456789 !\"#$%&'()*+,-./:;<=>?"},
      {"@[\\]^_`{|}~\x7f", "@[\\]^_`{|}~\x7f", std::string(12, ' ')},
      {"àéíòúçñüï", "ÀÉÍÒÚÇÑÜÏ", "AEIOUCNUI"},
      {"ÀÉÍÒÚÇÑ", "ÀÉÍÒÚÇÑ", "AEIOUCN"},
      {"âäåæãõýðê", "ÂÄÅÆÃÕÝÐÊ", "AAAAAOYDE"},
      {"ªºßþÞ", "ªºßþÞ", "AOSTT"},
      {"ÿø", "ÿø", "YO"},
      {"─│£¥×ƒµ", "─│£¥×ƒµ", std::string(7, ' ')},
      {"±¾¶§÷", "±¾¶§÷", "±¾¶§÷"},
      {"\x01\x10\x1f", "\x01\x10\x1f", "\x01\x10\x1f"},
      {"", "", ""},
  };
  for (const Case& c : cases) {
    const std::string text = Cp(c.text);
    EXPECT_EQ(Fold(text, false), Cp(c.capitals)) << c.text;
    EXPECT_EQ(Fold(text, true), Cp(c.plain)) << c.text;
  }
}

TEST_F(TextTest, FoldTablesAgree) {
  for (int code = 0; code < 256; ++code) {
    const std::string one(1, static_cast<char>(code));
    const std::string capital = Fold(one, false);
    const std::string plain = Fold(one, true);
    ASSERT_EQ(capital.size(), 1u);
    ASSERT_EQ(plain.size(), 1u);
    if (code < 64 || code > 237) {
      EXPECT_EQ(capital, one) << code;
      EXPECT_EQ(plain, one) << code;
      continue;
    }
    // Without accents only capitals A .. Z and blanks remain.
    EXPECT_TRUE(plain == " " || (plain[0] >= 'A' && plain[0] <= 'Z')) << code;
    // A capital folds like its small letter, and capitals stay capitals.
    EXPECT_EQ(Fold(capital, true), plain) << code;
    EXPECT_EQ(Fold(capital, false), capital) << code;
  }
}

TEST_F(TextTest, FoldAccentsStartsOff) {
  EXPECT_FALSE(format::FoldAccents());
  EXPECT_EQ(format::FoldText(Cp("é")), Cp("É"));
  format::FoldAccents() = true;
  format::ResetFormatState();
  EXPECT_FALSE(format::FoldAccents());
}

// Lines concatenated, as LayoutText returns them.
std::string Lines(const std::vector<std::string>& lines) {
  std::string joined;
  for (const std::string& line : lines) joined += line;
  return joined;
}

std::string Layout(std::string text, int16_t indent, int16_t width, const char* align) {
  format::LayoutText(text, indent, width, align);
  return text;
}

TEST_F(TextTest, LayoutText) {
  struct Case {
    const char* text;
    int16_t indent;
    int16_t width;
    const char* align;
    std::vector<std::string> lines;
  };
  const Case cases[] = {
      {"one two three four", 0, 9, "L", {"one two  ", "three    ", "four     "}},
      {"one two three four", 0, 9, "l", {"one two  ", "three    ", "four     "}},
      {"one two three four", 0, 9, "E", {"one two  ", "three    ", "four     "}},
      {"one two three four", 0, 9, "I", {"one two  ", "three    ", "four     "}},
      {"one two three four", 0, 9, "R", {"  one two", "    three", "     four"}},
      {"one two three four", 0, 9, "D", {"  one two", "    three", "     four"}},
      {"one two three four", 0, 9, "C", {" one two ", "  three  ", "  four   "}},
      {"one two three four", 0, 9, "N", {"one two--", "three----", "four-----"}},
      // Justified: a line without a blank and the last line stay unpadded.
      {"one two three four", 0, 9, "A", {"one   two", "three", "four"}},
      {"one two three four", 0, 9, "b", {"one   two", "three", "four"}},
      {"one two three four", 0, 9, "x", {"one two", "three", "four"}},
      {"one two three four", 0, 9, "", {"one two", "three", "four"}},
      {"the quick brown fox jumps", -2, 12, "L", {"the quick   ", "  brown fox ", "  jumps     "}},
      {"aaa bbb ccc ddd", 2, 10, "L", {"  aaa bbb ", "ccc ddd   "}},
      {"aa bb cc dd ee ff", 0, 10, "A", {"aa  bb  cc", "dd ee ff"}},
      {"a b c d e f g h", 0, 8, "A", {"a b  c d", "e f g h"}},
      // A word longer than the line is cut.
      {"abcdefgh", 0, 4, "L", {"abcd", "efgh"}},
      {"abcdefgh", 0, 4, "R", {"abcd", "efgh"}},
      // Printer commands take no room.
      {"\x10"
       "abcdefghi"
       "\x11",
       0,
       9,
       "L",
       {"\x10"
        "abcdefghi"
        "\x11"}},
      {"\x10one\x11 two three", 0, 7, "L", {"\x10one\x11 two", "three  "}},
      {"\x10"
       "ab\x11 cd",
       0,
       3,
       "L",
       {"\x10"
        "ab\x11 ",
        "cd "}},
      // Blanks between lines are dropped; blanks at the very end are kept.
      {"one    two", 0, 5, "L", {"one  ", "two  "}},
      {"one two  ", 0, 20, "L", {"one two" + std::string(13, ' ')}},
      {"", 0, 9, "L", {}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Layout(c.text, c.indent, c.width, c.align), Lines(c.lines))
        << "\"" << c.text << "\" indent " << c.indent << " width " << c.width << " align \""
        << c.align << "\"";
  }
}

// Characters that take room on a line.
size_t Visible(const std::string& text) {
  size_t count = 0;
  for (char c : text) count += static_cast<unsigned char>(c) >= 32;
  return count;
}

// The layout written out step by step, with blanks inserted one at a time when
// justifying: the reference LayoutText is compared with.
std::string ReferenceLayout(const std::string& text, int indent, int width, char align) {
  const long length = static_cast<long>(text.size());
  auto at = [&](long i) -> int {
    return (i >= 1 && i <= length) ? static_cast<unsigned char>(text[i - 1]) : -1;
  };
  auto word = [&](long i) { return at(i) > 32; };
  auto control = [&](long i) { return at(i) < 32; };
  const long absIndent = std::labs(indent);
  long indentNow = indent > 0 ? indent : 0;
  std::string result;
  long pos = 1;
  while (pos <= length) {
    if (indentNow > width - 1) indentNow = width > 1 ? width - 1 : 0;
    long room = width - indentNow;
    if (room < 1) room = 1;
    long n = 0;
    while (n != room && pos + n <= length) {
      if (control(pos + n)) ++room;
      ++n;
    }
    if (word(pos + n - 1)) {
      while (control(pos + n) && pos + n <= length) {
        ++room;
        ++n;
      }
    }
    long k = room;
    const long fullRoom = room;
    if (word(pos + k)) {
      while (word(pos + k) && k > 0) {
        if (control(pos + k - 1)) --room;
        --k;
      }
    }
    if ((control(pos + k) || pos + k > length) && k > 0) {
      while (at(pos + k - 1) == ' ' && k > 0) --k;
    }
    if (k < 1) {
      room = fullRoom;
      k = room;
    }
    std::string line(indentNow, ' ');
    line += text.substr(pos - 1, k);
    room += indentNow;
    switch (align) {
      case 'L':
        while (static_cast<long>(line.size()) < room) line += ' ';
        break;
      case 'N':
        while (static_cast<long>(line.size()) < room) line += '-';
        break;
      case 'R':
        while (static_cast<long>(line.size()) < room) line.insert(0, 1, ' ');
        break;
      case 'C': {
        const long free = room - static_cast<long>(line.size());
        if (free > 0) line = std::string(free / 2, ' ') + line + std::string(free - free / 2, ' ');
        break;
      }
      case 'A':
        if (length > pos + k && static_cast<long>(line.size()) > absIndent &&
            line.find(' ', absIndent) != std::string::npos) {
          long q = absIndent + 1;
          long step = 2;
          while (static_cast<long>(line.size()) < room) {
            size_t found = std::string::npos;
            if (q + step - 1 < static_cast<long>(line.size())) found = line.find(' ', q + step - 1);
            if (found == std::string::npos) found = line.find(' ', absIndent);
            q = static_cast<long>(found) + 1;
            line.insert(found, 1, ' ');
            step = 2;
            while (q + step <= static_cast<long>(line.size()) && line[q + step - 1] == ' ') ++step;
          }
        }
        break;
      default:
        break;
    }
    result += line;
    pos += k;
    while (at(pos) == ' ') ++pos;
    indentNow = indent < 0 ? absIndent : 0;
  }
  return result;
}

TEST_F(TextTest, LayoutTextMatchesTheStepByStepLayout) {
  const unsigned start = 1582;
  std::mt19937 random(start);
  const char aligns[] = {'L', 'N', 'R', 'C', 'A', 'x'};
  for (int round = 0; round < 3000; ++round) {
    std::string text;
    const int tokens = static_cast<int>(random() % 30);
    for (int t = 0; t < tokens; ++t) {
      switch (random() % 6) {
        case 0:
          text.append(1 + random() % 3, ' ');
          break;
        case 1:
          text += static_cast<char>(16 + random() % 3);
          break;
        default:
          text.append(1 + random() % 10, static_cast<char>('a' + random() % 26));
          if (random() % 4 == 0) text += ' ';
          break;
      }
    }
    const int indent = static_cast<int>(random() % 13) - 6;
    const int width = static_cast<int>(random() % 42) - 2;
    const char align = aligns[random() % 6];
    std::string actual = text;
    format::LayoutText(actual, static_cast<int16_t>(indent), static_cast<int16_t>(width),
                       std::string(1, align));
    ASSERT_EQ(actual, ReferenceLayout(text, indent, width, align))
        << "random start " << start << " text \"" << text << "\" indent " << indent << " width " << width
        << " align " << align;
    // Padded lines hold exactly the width in characters that take room, so callers
    // can cut the result back into lines by counting.
    if (width >= 1 && align != 'A' && align != 'x') {
      ASSERT_EQ(Visible(actual) % static_cast<size_t>(width), 0u)
          << "random start " << start << " text \"" << text << "\" indent " << indent << " width " << width
          << " align " << align;
    }
  }
}

// The text's characters other than blanks and "-", in order.
std::string Ink(const std::string& text) {
  std::string ink;
  for (char c : text) {
    if (c != ' ' && c != '-') ink += c;
  }
  return ink;
}

TEST_F(TextTest, LayoutTextEndsForAnyWidthAndIndent) {
  struct Case {
    int16_t indent;
    int16_t width;
  };
  const Case cases[] = {
      {0, 0},          {0, -5},     {10, 10},         {-10, 10},  {12, 10},
      {-12, 10},       {3, 1},      {0, 1},           {-1, 1},    {1, 1},
      {32767, -32768}, {-32768, 5}, {-32768, -32768}, {0, 32767}, {500, 300},
  };
  const std::string text =
      "one \x10two\x11 three  four \x12"
      "abcdefghijklmnop q";
  for (const Case& c : cases) {
    for (const char* align : {"L", "N", "R", "C", "A", "x"}) {
      std::string laidOut = text;
      format::LayoutText(laidOut, c.indent, c.width, align);
      EXPECT_EQ(Ink(laidOut), Ink(text))
          << "indent " << c.indent << " width " << c.width << " align " << align;
    }
  }
  // With no room at all every line still takes one character; an indent as large
  // as the width leaves one column.
  EXPECT_EQ(Layout("ab cd", 0, 0, "L"), "abcd");
  EXPECT_EQ(Layout("ab cd", 2, 2, "L"),
            " a"
            "b "
            "cd");
  EXPECT_EQ(Layout("ab cd", -9, 3, "R"),
            " ab"
            "  c"
            "  d");
}

TEST_F(TextTest, PaddedLinesAreExactlyTheWidth) {
  const std::string text =
      "one \x10two\x11 three  four \x12"
      "abcdefghijklmnop q rs tuv";
  for (int16_t width : {1, 2, 3, 5, 9, 17, 40}) {
    for (int16_t indent : {-50, -9, -3, 0, 2, 8, 50}) {
      for (const char* align : {"L", "N", "R", "C"}) {
        std::string laidOut = text;
        format::LayoutText(laidOut, indent, width, align);
        EXPECT_EQ(Visible(laidOut) % static_cast<size_t>(width), 0u)
            << "indent " << indent << " width " << width << " align " << align;
      }
    }
  }
}

TEST_F(TextTest, IsAllChar) {
  struct Case {
    std::string text;
    int16_t code;
    int16_t expected;
  };
  const Case cases[] = {
      {"", 32, -1},        {"  a", 32, 0},  {"   ", 32, -1},
      {"xxx", 'x', -1},    {"xxX", 'x', 0}, {"\xff\xff", 255, -1},
      {"a", 'a' + 256, 0}, {"", 300, -1},   {std::string(3, '\0'), 0, -1},
      {"\x80", -128, 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(format::IsAllChar(c.text, c.code), c.expected)
        << "\"" << c.text << "\" code " << c.code;
  }
}

TEST_F(TextTest, NameDisplayOrder) {
  struct Case {
    const char* name;
    const char* expected;
  };
  const Case cases[] = {
      {"Serra Pujol*Anna", "Anna Serra Pujol"},
      {"Olzet*Joan d'", "Joan d'Olzet"},
      {"Olzet*Joan d'   ", "Joan d'Olzet"},
      {" Serra * Anna  ", "Anna Serra"},
      {"*Anna", "*Anna"},
      {"  Pujol  ", "Pujol"},
      {"Pujol", "Pujol"},
      {"", ""},
      {"Vila*Pere*Joan", "Pere*Joan Vila"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(format::NameDisplayOrder(c.name), c.expected) << "\"" << c.name << "\"";
  }
}

}  // namespace
