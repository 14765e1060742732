// The template merge: paragraphs in text columns, pages, directive lines, field
// markers, includes, coded templates and skip lines, compared line by line with the
// spool they write.

#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "app/letter_state.h"
#include "app/template_merge.h"
#include "tests/app/letter_fixture.h"

namespace {

using app::Letters;
using app_test::Append;
using app_test::Command;
using app_test::Justify;
using app_test::Lines;
using app_test::Pad;
using app_test::Page;
using app_test::Text;

// The lines that start a page of a letter.
Lines PageStart(bool firstPage, long length = 66, long topSkip = 0, const std::string& head = "") {
  Lines lines{Page(length)};
  if (firstPage) lines.push_back(Command("@"));
  lines.push_back(Command("e"));
  lines.push_back(Text(0, "", topSkip));
  lines.push_back(Text(95 - static_cast<long>(head.size()), head, 2));
  return lines;
}

// A paragraph of one line in a left-aligned column that ends at column 95.
Lines Plain(const std::string& text, long start = 1) {
  return {Text(start, "", 0), Justify("E"), Text(0, Pad(text, static_cast<size_t>(96 - start)), 1)};
}

// A paragraph whose lines (already laid out) start at `start`, each with its code.
Lines Paragraph(long start, const std::vector<std::pair<std::string, std::string>>& lines) {
  Lines out;
  for (const auto& [code, text] : lines) {
    out.push_back(Text(start, "", 0));
    out.push_back(Justify(code));
    out.push_back(Text(0, text, 1));
  }
  return out;
}

Lines Letter(std::initializer_list<Lines> parts) {
  Lines out{"DEVICETEST"};
  for (const Lines& part : parts) Append(out, part);
  return out;
}

class TemplateMergeTest : public app_test::LetterFixture {
 protected:
  void SetUp() override {
    LetterFixture::SetUp();
    OpenSpool();
  }

  app::LetterProblem Merge(const std::string& name, const std::string& fieldFile = "") {
    return app::MergeTemplate(name, fieldFile);
  }

  // A field file written by hand: name and value lines (a value's lines separated by
  // "|"), each value closed with the byte 255.
  std::string WriteFields(const std::vector<std::pair<std::string, std::string>>& fields) {
    std::string bytes;
    for (const auto& [name, value] : fields) {
      bytes += "\x7f" + name + "\r\n";
      std::string v = value;
      for (size_t at = v.find('|'); at != std::string::npos; at = v.find('|', at + 2)) {
        v.replace(at, 1, "\r\n");
      }
      bytes += v + "\xff\r\n";
    }
    const std::string path = work + "fields.tmp";
    testing_support::WriteFile(path, bytes);
    return path;
  }
};

TEST_F(TemplateMergeTest, ParagraphsFillTheDefaultColumnOnAFirstPage) {
  WriteTemplate("CARTA", {"Hello", "", "  World"});
  EXPECT_EQ(Merge("CARTA   ").status, app::kLetterOk);
  // Leading blanks of a left-aligned paragraph move its start column.
  EXPECT_EQ(SpoolLines(), Letter({PageStart(true), Plain("Hello"), Paragraph(1, {{"E", ""}}),
                                  Plain("World", 3)}));
  EXPECT_EQ(Letters().letterPageCount, 0);
}

TEST_F(TemplateMergeTest, AHeadingLongerThanTheLineIsCutToStartAtColumnOne) {
  // Headings of 94 characters and more: they would start at column 1, at 0 (which
  // means "where the last text ended") and left of the page.
  for (size_t length : {94, 95, 120, 391}) {
    SCOPED_TRACE(length);
    std::string head;
    for (size_t i = 0; i < length; ++i) head += static_cast<char>('a' + i % 26);
    WriteTemplate("CARTA", {"\x7fL" + head, "Text"});
    ReopenSpool();
    EXPECT_EQ(Merge("CARTA").status, app::kLetterOk);
    EXPECT_EQ(SpoolLines(), Letter({PageStart(true, 66, 0, head.substr(0, 94)), Plain("Text")}));
  }
}

TEST_F(TemplateMergeTest, DirectiveLinesSetPageHeadingAndColumns) {
  WriteTemplate("CARTA", {"\x7fP40", "\x7fS3",
                          "\x7f"
                          "LCap\x87"
                          "alera",
                          "\x7f"
                          "Aignored",
                          "\x7fTignored",
                          "\x7f"
                          "1029  0R",
                          "\x02Right"});
  EXPECT_EQ(Merge("CARTA").status, app::kLetterOk);
  EXPECT_EQ(SpoolLines(), Letter({PageStart(true, 40, 3,
                                            "Cap\x87"
                                            "alera"),
                                  Paragraph(10, {{"D", "               Right"}})}));
}

TEST_F(TemplateMergeTest, EachJustificationLaysOutAndNamesItsLines) {
  const struct {
    const char* code;
    std::vector<std::pair<std::string, std::string>> lines;
  } cases[] = {
      {"I", {{"E", "one two  "}, {"E", "three    "}, {"E", "four     "}}},
      {"E", {{"E", "one two  "}, {"E", "three    "}, {"E", "four     "}}},
      {"L", {{"E", "one two  "}, {"E", "three    "}, {"E", "four     "}}},
      {"D", {{"D", "  one two"}, {"D", "    three"}, {"D", "     four"}}},
      {"R", {{"D", "  one two"}, {"D", "    three"}, {"D", "     four"}}},
      {"r", {{"D", "  one two"}, {"D", "    three"}, {"D", "     four"}}},
      {"C", {{"C", " one two "}, {"C", "  three  "}, {"C", "  four   "}}},
      // Justified: lines without a blank and the last line stay short, each on its own.
      {"A", {{"A", "one   two"}, {"A", "three"}, {"E", "four"}}},
      {"B", {{"A", "one   two"}, {"A", "three"}, {"E", "four"}}},
      {"N", {{"N 10 \\-\\", "one two"}, {"N 10 \\-\\", "three"}, {"N 10 \\-\\", "four"}}},
      // An unknown code lays every line out unpadded.
      {"Z", {{"E", "one two"}, {"E", "three"}, {"E", "four"}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.code);
    ReopenSpool();
    WriteTemplate("CARTA", {std::string("\x7f"
                                        "0109  0") +
                                c.code,
                            "\x02one two three four"});
    EXPECT_EQ(Merge("CARTA").status, app::kLetterOk);
    EXPECT_EQ(SpoolLines(), Letter({PageStart(true), Paragraph(1, c.lines)}));
  }
}

TEST_F(TemplateMergeTest, JustifiedLinesKeepTheirIndent) {
  // Start 5 moved 2 left by the negative indent: width 12, further lines indented 2.
  WriteTemplate("CARTA", {"\x7f"
                          "0514 -2A",
                          "\x02the quick brown fox jumps"});
  EXPECT_EQ(Merge("CARTA").status, app::kLetterOk);
  EXPECT_EQ(
      SpoolLines(),
      Letter({PageStart(true),
              Paragraph(3, {{"A", "the    quick"}, {"A", "  brown  fox"}, {"E", "  jumps"}})}));
}

// The text of each printed line of a letter (segments joined, commands left out).
std::vector<std::string> PrintedLines(const Lines& spool) {
  std::vector<std::string> lines;
  std::string current;
  for (const std::string& line : spool) {
    if (line.empty() || (line[0] != ' ' && line[0] != '-')) continue;
    const size_t first = line.find(',');
    const size_t last = line.rfind(',');
    current += line.substr(first + 1, last - first - 1);
    if (line.substr(last) != ", 0 ") {
      lines.push_back(current);
      current.clear();
    }
  }
  return lines;
}

std::string WithoutBlanks(std::string text) {
  std::erase(text, ' ');
  return text;
}

TEST_F(TemplateMergeTest, JustifiedParagraphsBreakWhereLeftAlignedOnesDo) {
  std::mt19937 random(20240611);
  for (int round = 0; round < 300; ++round) {
    std::string text;
    const int words = 1 + static_cast<int>(random() % 12);
    for (int w = 0; w < words; ++w) {
      if (w > 0) text += random() % 4 == 0 ? "  " : " ";
      if (random() % 5 == 0) text += '\x10';
      text += std::string(1 + random() % 9, static_cast<char>('a' + random() % 26));
      if (random() % 5 == 0) text += '\x10';
    }
    if (random() % 3 == 0) text += "  ";
    if (random() % 4 == 0) text.insert(0, std::string(1 + random() % 4, ' '));
    const int width = 1 + static_cast<int>(random() % 30);
    const int indent = static_cast<int>(random() % 11) - 5;
    char column[40];
    std::snprintf(column, sizeof column,
                  "\x7f"
                  "10%02d%3d",
                  9 + width, indent);
    SCOPED_TRACE(testing::Message() << "[" << text << "] width " << width << " indent " << indent);

    std::vector<std::string> left;
    for (const char* code : {"L", "A", "B", "Z"}) {
      ReopenSpool();
      WriteTemplate("CARTA", {"\x7fP30000", column + std::string(code), "\x02" + text});
      ASSERT_EQ(Merge("CARTA").status, app::kLetterOk);
      const std::vector<std::string> lines = PrintedLines(SpoolLines());
      if (left.empty()) {
        left = lines;
        continue;
      }
      // Printed line 0 is the page's heading, line 1 the paragraph's first line (whose
      // leading blanks justification may widen); the others start with their indent.
      ASSERT_EQ(lines.size(), left.size()) << code;
      for (size_t i = 0; i < lines.size(); ++i) {
        EXPECT_EQ(WithoutBlanks(lines[i]), WithoutBlanks(left[i])) << code << " line " << i;
        if (i < 2) continue;
        EXPECT_EQ(lines[i].find_first_not_of(' '), left[i].find_first_not_of(' '))
            << code << " line " << i;
      }
    }
  }
}

TEST_F(TemplateMergeTest, PrinterCommandsSplitTheLineAndOtherControlsAreDropped) {
  WriteTemplate("CARTA", {"\x7f"
                          "0109  0I",
                          "\x02"
                          "A\x05"
                          "B\x10"
                          "C\x01",
                          "\x7f"
                          "0120  0N",
                          "\x03Total \x10"
                          "bold\x10"});
  EXPECT_EQ(Merge("CARTA").status, app::kLetterOk);
  EXPECT_EQ(SpoolLines(),
            Letter({PageStart(true),
                    {Text(1, "", 0), Justify("E"), Text(0, "AB", 0), Command("b"), Justify("E"),
                     Text(0, "C      ", 1)},
                    // The fill column follows the column's end; blanks before a command stay.
                    {Text(1, "", 0), Justify("A"), Text(0, "Total ", 0), Command("b"), Justify("A"),
                     Text(0, "bold", 0), Command("b"), Justify("N 21 \\-\\"), Text(0, "", 1)}}));
}

TEST_F(TemplateMergeTest, ColumnThatLeavesNoRoomTakesOneCharacterALine) {
  WriteTemplate("CARTA", {"\x7f"
                          "5010  0I",
                          "\x02Hi"});
  EXPECT_EQ(Merge("CARTA").status, app::kLetterOk);
  EXPECT_EQ(SpoolLines(), Letter({PageStart(true), Paragraph(50, {{"E", "H"}, {"E", "i"}})}));
}

TEST_F(TemplateMergeTest, ColumnLinesBeyondNineAreIgnored) {
  Lines lines;
  for (int i = 1; i <= 11; ++i) {
    char line[40];
    std::snprintf(line, sizeof line, "\x7f%02d90  0I", i);
    lines.push_back(line);
  }
  lines.push_back(
      "\x09"
      "eighth");
  WriteTemplate("CARTA", lines);
  EXPECT_EQ(Merge("CARTA").status, app::kLetterOk);
  EXPECT_EQ(SpoolLines(), Letter({PageStart(true), Paragraph(8, {{"E", Pad("eighth", 83)}})}));
  for (int entry = 1; entry <= 9; ++entry) {
    EXPECT_EQ(Letters().columnTable[entry].startColumn, entry) << entry;
  }
}

TEST_F(TemplateMergeTest, NewPageOnceFewerThanEightLinesRemain) {
  // Page of 66: the header takes 2 lines, paragraph k lands on line 1 + k; once 59
  // lines have been advanced the next paragraph starts a page (without "@").
  Lines lines;
  Lines expected = Letter({PageStart(true)});
  for (int k = 1; k <= 58; ++k) {
    lines.push_back("L" + std::to_string(k));
    if (k == 58) Append(expected, PageStart(false));
    Append(expected, Plain("L" + std::to_string(k)));
  }
  WriteTemplate("CARTA", lines);
  EXPECT_EQ(Merge("CARTA").status, app::kLetterOk);
  EXPECT_EQ(SpoolLines(), expected);
}

TEST_F(TemplateMergeTest, NewPageBetweenTheLinesOfAParagraph) {
  Lines lines{"\x7fP20",
              "\x7f"
              "0109  0I"};
  Lines expected = Letter({PageStart(true, 20)});
  for (int k = 1; k <= 10; ++k) {
    lines.push_back("L" + std::to_string(k));
    Append(expected, Plain("L" + std::to_string(k)));
  }
  lines.push_back("\x02one two three four");
  WriteTemplate("CARTA", lines);
  Append(expected, Paragraph(1, {{"E", "one two  "}}));
  Append(expected, PageStart(false, 20));
  Append(expected, Paragraph(1, {{"E", "three    "}, {"E", "four     "}}));
  EXPECT_EQ(Merge("CARTA").status, app::kLetterOk);
  EXPECT_EQ(SpoolLines(), expected);
}

TEST_F(TemplateMergeTest, SkipLinesMoveWithinThePage) {
  WriteTemplate("CARTA", {"A", "@.70", "   #.5", "B"});
  EXPECT_EQ(Merge("CARTA").status, app::kLetterOk);
  // After A the page has advanced 3 lines: line 70 is line 10 of 60, 6 further down;
  // line 5 is 5 back up.
  EXPECT_EQ(SpoolLines(),
            Letter({PageStart(true), Plain("A"), {Text(0, "", 6), Text(0, "", -5)}, Plain("B")}));
}

TEST_F(TemplateMergeTest, SkipLinesDoNothingOnPagesOfSixLinesOrLess) {
  const struct {
    const char* pageLength;
    Lines expected;
  } cases[] = {
      {"\x7fP6", Letter({})},
      {"\x7fP0", Letter({})},
      {"\x7fP-3", Letter({})},
      // Before any page line the spool breaks to a page of 0 lines first.
      {"\x7fP7", Letter({{Page(0), Text(0, "", 0)}})},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.pageLength);
    ReopenSpool();
    WriteTemplate("CARTA", {c.pageLength, "@.3"});
    EXPECT_EQ(Merge("CARTA").status, app::kLetterOk);
    EXPECT_EQ(SpoolLines(), c.expected);
  }
}

TEST_F(TemplateMergeTest, CodedLinesAreDecodedUntilSwitchedOff) {
  // "H" 72 and "i" 105 coded as 183 and 150; the byte 200 decodes to "7" (55).
  WriteTemplate("CARTA", {"\x7f"
                          "C",
                          "\xb7\x96\xc8",
                          "\x7f"
                          "Coff",
                          "\xc8 plain"});
  EXPECT_EQ(Merge("CARTA").status, app::kLetterOk);
  EXPECT_EQ(SpoolLines(), Letter({PageStart(true), Plain("Hi7"), Plain("\xc8 plain")}));
}

TEST_F(TemplateMergeTest, MarkersTakeTheirFieldsValues) {
  const std::string fields = WriteFields(
      {{"DES1", "  Anna Serra  "}, {"EMPTY", ""}, {"NAME", "Anna"}, {"LOOP", "a@LOOP"}});
  const struct {
    const char* line;
    const char* expected;
  } cases[] = {
      {"Dear @DES1, and #DES1.", "Dear Anna Serra, and   Anna Serra  ."},
      {"@des1/@Name", "Anna Serra/Anna"},
      // Longer names, unknown names, an address and a lone sign stay as written.
      {"@DES1X @DES12 info@finques.cat # @", "@DES1X @DES12 info@finques.cat # @"},
      // After an empty value the marker that follows it is still replaced.
      {"@EMPTY@NAME", "Anna"},
      {"[#EMPTY]", "[]"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    ReopenSpool();
    WriteTemplate("CARTA", {c.line});
    EXPECT_EQ(Merge("CARTA", fields).status, app::kLetterOk);
    EXPECT_EQ(SpoolLines(), Letter({PageStart(true), Plain(c.expected)}));
  }
}

TEST_F(TemplateMergeTest, MarkersStayWithoutAFieldFile) {
  WriteTemplate("CARTA", {"@DES1 #DES1"});
  EXPECT_EQ(Merge("CARTA", "").status, app::kLetterOk);
  EXPECT_EQ(Merge("CARTA", work + "missing.tmp").status, app::kLetterOk);
  EXPECT_EQ(SpoolLines(),
            Letter({PageStart(true), Plain("@DES1 #DES1"), PageStart(true), Plain("@DES1 #DES1")}));
}

TEST_F(TemplateMergeTest, ValueThatNamesItselfEnds) {
  const std::string fields = WriteFields({{"LOOP", "a@LOOP"}});
  WriteTemplate("CARTA", {"@LOOP"});
  EXPECT_EQ(Merge("CARTA", fields).status, app::kLetterOk);
  std::string text;
  for (const std::string& line : SpoolLines()) {
    if (line.rfind(" 0 ,", 0) == 0 && line.size() > 8) text += line.substr(4, line.size() - 8);
  }
  EXPECT_EQ(text.substr(0, text.find_last_not_of(' ') + 1), std::string(1000, 'a') + "@LOOP");
}

TEST_F(TemplateMergeTest, ValueOfSeveralLinesEmitsParagraphsAtOnce) {
  const std::string fields = WriteFields(
      {{"RELPEN", "\x01          a   b   c   |          d   e   f   |"}, {"SEL", "\x01x"}});
  WriteTemplate("CARTA", {"\x7f"
                          "2050  0I",
                          "\x02in column one", "#RELPEN rest", "\x02one", "@SEL and more",
                          "still column zero"});
  EXPECT_EQ(Merge("CARTA", fields).status, app::kLetterOk);
  EXPECT_EQ(SpoolLines(),
            Letter({PageStart(true), Paragraph(20, {{"E", Pad("in column one", 31)}}),
                    // The value's first line selects column 0 and its blanks move the start.
                    Plain("a   b   c", 11), Plain("d   e   f", 11), Plain("rest", 2),
                    Paragraph(20, {{"E", Pad("one", 31)}}),
                    // A value starting with the byte 1 selects column 0 from there on.
                    Plain("x and more"), Plain("still column zero")}));
}

TEST_F(TemplateMergeTest, IncludesMergeOtherTemplatesInline) {
  WriteTemplate("PART", {"Inside"});
  WriteTemplate("OWNPAGE", {"\x7fP30", "Inside"});
  const struct {
    const char* name;
    Lines lines;
    Lines expected;
  } cases[] = {
      {"inline",
       {"Before", "@+PART", "After"},
       Letter({PageStart(true), Plain("Before"), Plain("Inside"), Plain("After")})},
      {"new page",
       {"Before", "#+PART", "After"},
       Letter(
           {PageStart(true), Plain("Before"), Plain("Inside"), PageStart(true), Plain("After")})},
      // An include on the first line does not end the letter.
      {"first line",
       {"@+PART", "After"},
       Letter({PageStart(true), Plain("Inside"), Plain("After")})},
      {"first line, own page length",
       {"@+OWNPAGE", "After"},
       Letter({PageStart(true, 30), Plain("Inside"), Plain("After")})},
      {"name ends at a point",
       {"@+PART.txt", "#+PART rest"},
       Letter({PageStart(true), Plain("Inside"), Plain("Inside")})},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ReopenSpool();
    WriteTemplate("CARTA", c.lines);
    EXPECT_EQ(Merge("CARTA").status, app::kLetterOk);
    EXPECT_EQ(SpoolLines(), c.expected);
  }
}

TEST_F(TemplateMergeTest, IncludesNestSixteenDeep) {
  for (int depth : {16, 17}) {
    SCOPED_TRACE(depth);
    ReopenSpool();
    for (int i = 0; i < depth; ++i) {
      WriteTemplate("N" + std::to_string(i), {"@+N" + std::to_string(i + 1)});
    }
    WriteTemplate("N" + std::to_string(depth), {"End"});
    const app::LetterProblem problem = Merge("N0");
    if (depth == 16) {
      EXPECT_EQ(problem.status, app::kLetterOk);
      EXPECT_EQ(SpoolLines(), Letter({PageStart(true), Plain("End")}));
    } else {
      EXPECT_EQ(problem.status, app::kIncludesTooDeep);
      EXPECT_EQ(problem.name, "N17");
      EXPECT_EQ(SpoolLines(), Letter({}));
    }
  }
}

TEST_F(TemplateMergeTest, TemplateThatIncludesItselfIsReported) {
  WriteTemplate("SELF", {"Line", "@+SELF", "After"});
  const app::LetterProblem problem = Merge("SELF");
  EXPECT_EQ(problem.status, app::kIncludesTooDeep);
  EXPECT_EQ(problem.name, "SELF");
  Lines expected = Letter({PageStart(true)});
  for (int i = 0; i <= 16; ++i) Append(expected, Plain("Line"));
  EXPECT_EQ(SpoolLines(), expected);
  EXPECT_EQ(Letters().letterPageCount, 0);
}

TEST_F(TemplateMergeTest, MissingTemplatesAreReported) {
  app::LetterProblem problem = Merge("NOPE    ");
  EXPECT_EQ(problem.status, app::kTemplateNotFound);
  EXPECT_EQ(problem.name, "NOPE");

  WriteTemplate("CARTA", {"Before", "@+GONE", "After"});
  problem = Merge("CARTA");
  EXPECT_EQ(problem.status, app::kTemplateNotFound);
  EXPECT_EQ(problem.name, "GONE");
  EXPECT_EQ(SpoolLines(), Letter({PageStart(true), Plain("Before")}));
}

TEST_F(TemplateMergeTest, TemplatePathsLieUnderTheRootUnlessGivenAsPaths) {
  const struct {
    const char* name;
    std::string expected;
  } cases[] = {
      {"CARTA   ", root + "TEXTOS\\CARTA.txt"},
      {"C:\\ZUR\\CARTA", "C:\\ZUR\\CARTA.txt"},
      {"SUB\\CARTA ", "SUB\\CARTA.txt"},
      {"", root + "TEXTOS\\.txt"},
  };
  for (const auto& c : cases) EXPECT_EQ(app::TemplatePath(c.name), c.expected) << c.name;
}

}  // namespace
