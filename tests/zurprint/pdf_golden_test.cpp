// Spools written the way the letter module writes them, printed to PDF, and read back
// with poppler's tools: the text of every page at its columns, the page count and size,
// and the embedded fonts.

#include <gtest/gtest.h>

#include <cstdio>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "platform/cp850.h"
#include "print/spool.h"
#include "session/session.h"
#include "tests/support/temp_dir.h"
#include "tests/zurprint/pdf_reading.h"
#include "tools/zurprint/pdf_renderer.h"
#include "tools/zurprint/print_job.h"

namespace {

using pdf_reading::CommandResult;
using pdf_reading::ExpectA4Pages;
using pdf_reading::Fonts;
using pdf_reading::PageCount;
using pdf_reading::PageText;
using pdf_reading::RunCommand;
using pdf_reading::TrimmedRows;
using testing_support::TempDir;

// A page as the text (code page 850) expected at each line and column (both 1-based).
class ExpectedPage {
 public:
  explicit ExpectedPage(int lines) : rows_(static_cast<size_t>(lines)) {}
  void Put(int line, int column, const std::string& text) {
    std::string& row = rows_[static_cast<size_t>(line - 1)];
    size_t at = static_cast<size_t>(column - 1);
    if (row.size() < at) row.resize(at, ' ');
    row.replace(at, std::min(text.size(), row.size() - at), text);
  }
  // The rows from the first to the last that hold text, without trailing blanks, in UTF-8.
  std::string Text() const {
    std::vector<std::string> rows;
    for (const std::string& r : rows_) rows.push_back(platform::Cp850ToUtf8(r));
    return TrimmedRows(rows);
  }

 private:
  std::vector<std::string> rows_;
};

class PdfGoldenTest : public ::testing::Test {
 protected:
  PdfGoldenTest() {
    session::ResetSession();
    print::ResetSpool();
    session::Session().workDir = dir_.path();
  }
  ~PdfGoldenTest() override {
    print::ResetSpool();
    session::ResetSession();
  }
  std::string PrintIt() {
    EXPECT_TRUE(print::CloseSpool());
    zurprint::PrintOutcome r = zurprint::PrintSpool(dir_ / "zurprint.tmp", dir_.path());
    EXPECT_EQ(r.exitCode, 0) << r.message;
    return dir_ / "zurprint.pdf";
  }
  TempDir dir_;
};

// The start of a letter page: page line, printer resets, the top skip and the heading
// that ends at column 94.
void StartLetterPage(bool firstPage, int16_t topSkip, const std::string& heading) {
  print::SpoolPage(66);
  if (firstPage) print::SpoolCommand("@");
  print::SpoolCommand("e");
  print::SpoolText(0, "", topSkip);
  print::SpoolText(static_cast<int16_t>(95 - heading.size()), heading, 2);
}

// One laid-out line of a paragraph: positioned at the column's start, then each segment
// under its justification line; the bytes 16, 17 and 18 switch bold, underline, italic.
// The last line of a justified paragraph ends under "E"; a fill line loses its trailing
// blanks.
void ParagraphLine(int16_t start, const std::string& code, const std::string& laidOut,
                   bool lastLine = false) {
  print::SpoolText(start, "", 0);
  std::string segment;
  for (char ch : laidOut) {
    if (ch == 16 || ch == 17 || ch == 18) {
      std::string c = code[0] == 'N' ? "A" : code;
      print::SpoolJustify(c);
      print::SpoolText(0, segment, 0);
      segment.clear();
      print::SpoolCommand(ch == 16 ? "b" : ch == 17 ? "u" : "i");
      continue;
    }
    segment += ch;
  }
  std::string c = (lastLine && code == "A") ? "E" : code;
  if (c[0] == 'N') segment.erase(segment.find_last_not_of(' ') + 1);
  print::SpoolJustify(c);
  print::SpoolText(0, segment, 1);
}

// Words laid out to lines of `width` visible characters; every line but the last gets
// blanks added between words, one per gap from the left, until it is full.
std::vector<std::string> Justified(const std::string& text, size_t width) {
  auto visible = [](const std::string& s) {
    size_t n = 0;
    for (char c : s) n += (c == 16 || c == 17 || c == 18) ? 0 : 1;
    return n;
  };
  std::vector<std::vector<std::string>> lines(1);
  size_t length = 0;
  std::istringstream in(text);
  std::string word;
  while (in >> word) {
    size_t add = visible(word) + (lines.back().empty() ? 0 : 1);
    if (!lines.back().empty() && length + add > width) {
      lines.emplace_back();
      add = visible(word);
      length = 0;
    }
    lines.back().push_back(word);
    length += add;
  }
  std::vector<std::string> out;
  for (size_t l = 0; l < lines.size(); ++l) {
    const auto& words = lines[l];
    std::vector<size_t> gaps(words.size() > 1 ? words.size() - 1 : 0, 1);
    size_t used = 0;
    for (const auto& w : words) used += visible(w);
    used += gaps.size();
    for (size_t g = 0; l + 1 < lines.size() && !gaps.empty() && used < width; ++used) {
      ++gaps[g];
      g = (g + 1) % gaps.size();
    }
    std::string line;
    for (size_t i = 0; i < words.size(); ++i) {
      line += words[i];
      if (i < gaps.size()) line += std::string(gaps[i], ' ');
    }
    out.push_back(line);
  }
  return out;
}

std::string WithoutCodes(std::string s) {
  std::erase_if(s, [](char c) { return c == 16 || c == 17 || c == 18; });
  return s;
}

TEST_F(PdfGoldenTest, Letters) {
  ASSERT_TRUE(print::OpenSpool(""));
  std::vector<ExpectedPage> pages;

  // Letter 1: address block, date on the right, a centred title, a justified paragraph
  // with bold, italic and bold italic words, a filled line, an underlined word.
  StartLetterPage(true, 4, "Ref. 0012/0003");
  ExpectedPage p1(66);
  p1.Put(5, 81, "Ref. 0012/0003");
  const char* address[] = {"Anna Serra Pujol", "C. Major, 12, 3r 2a", "08001 Barcelona"};
  for (int i = 0; i < 3; ++i) {
    ParagraphLine(50, "E", address[i] + std::string(36 - std::string(address[i]).size(), ' '));
    p1.Put(7 + i, 50, address[i]);
  }
  ParagraphLine(10, "E", "");
  const std::string date = "Barcelona, 3 de mar\x87 de 2025";
  ParagraphLine(10, "D", std::string(76 - date.size(), ' ') + date);
  p1.Put(11, 86 - static_cast<int>(date.size()), date);
  ParagraphLine(10, "E", "");
  const std::string title = "AV\xd6S DE REBUTS PENDENTS";
  size_t front = (76 - title.size()) / 2;
  ParagraphLine(10, "C",
                std::string(front, ' ') + title + std::string(76 - title.size() - front, ' '));
  p1.Put(13, 10 + static_cast<int>(front), title);
  ParagraphLine(10, "E", "");
  std::vector<std::string> lines = Justified(
      "Li comuniquem que, segons els nostres registres, teniu \x10tres rebuts\x10 pendents de "
      "pagament de la comunitat de propietaris de l'edifici, un dels quals \x10\x12urgent\x12\x10. "
      "Us preguem que els aboneu \x12"
      "al m\x82"
      "s aviat possible\x12 al compte habitual.",
      76);
  ASSERT_EQ(lines.size(), 3u);
  for (size_t i = 0; i < lines.size(); ++i) {
    ParagraphLine(10, "A", lines[i], i + 1 == lines.size());
    p1.Put(15 + static_cast<int>(i), 10, WithoutCodes(lines[i]));
  }
  ParagraphLine(10, "E", "");
  ParagraphLine(10, "N 86 \\-\\", "Import pendent" + std::string(62, ' '));
  p1.Put(19, 10, "Import pendent" + std::string(62, '-'));
  const std::string total = "312,45 \xd5";
  ParagraphLine(10, "D", std::string(76 - total.size(), ' ') + total);
  p1.Put(20, 86 - static_cast<int>(total.size()), total);
  ParagraphLine(10, "E", "");
  ParagraphLine(10, "E", "\x11Signat:\x11 L'administrador");
  p1.Put(22, 10, "Signat: L'administrador");
  pages.push_back(p1);

  // Letter 2: one paragraph, a heading of its own.
  StartLetterPage(true, 2, "Ref. 0012/0004");
  ExpectedPage p2(66);
  p2.Put(3, 81, "Ref. 0012/0004");
  ParagraphLine(10, "E", "Benvolgut senyor,");
  p2.Put(5, 10, "Benvolgut senyor,");
  pages.push_back(p2);

  // Letter 3: long enough to need a second page, started as the module does once fewer
  // than 8 lines remain.
  StartLetterPage(true, 0, "");
  ExpectedPage p3(66), p4(66);
  int line = 3;
  bool second = false;
  for (int i = 1; i <= 70; ++i) {
    if (print::Spool().lineCount > 66 - 8) {
      StartLetterPage(false, 0, "");
      line = 3;
      second = true;
    }
    std::string text = "Line " + std::to_string(i) + ", column 10 to 85";
    ParagraphLine(10, "E", text);
    (second ? p4 : p3).Put(line++, 10, text);
  }
  pages.push_back(p3);
  pages.push_back(p4);

  std::string pdf = PrintIt();
  ASSERT_EQ(PageCount(pdf), 4);
  ExpectA4Pages(pdf, 4);
  for (size_t i = 0; i < pages.size(); ++i) {
    EXPECT_EQ(PageText(pdf, static_cast<int>(i) + 1, 96), pages[i].Text()) << "page " << i + 1;
  }
  EXPECT_EQ(Fonts(pdf), (std::vector<std::string>{"DejaVuSansMono yes", "DejaVuSansMono-Bold yes",
                                                  "DejaVuSansMono-BoldOblique yes",
                                                  "DejaVuSansMono-Oblique yes"}));
}

// A row of address labels printed as the letter module prints them: each line of the row
// cut to 96 characters and written in pieces of the label width at columns 1, 1 + width,
// ...; a page line (and the printer resets) before the first row of a page.
class LabelWriter {
 public:
  LabelWriter(int width, int lines, int perPage)
      : width_(width), lines_(lines), pageLength_(lines * (perPage / 2)), rows_(lines) {}

  void Add(const std::vector<std::string>& block) {
    ++inRow_;
    for (int i = 0; i < 5 && i < lines_; ++i) {
      std::string label(static_cast<size_t>(width_), ' ');
      if (i == 0) {
        std::string ref = block[0] + std::string(7, ' ');
        if (ref.size() > label.size()) ref = ref.substr(ref.size() - label.size());
        label.replace(label.size() - ref.size(), ref.size(), ref);
      } else {
        label.replace(0, std::min(label.size(), block[i].size()), block[i].substr(0, label.size()));
      }
      rows_[i] += label;
    }
    if (inRow_ == 2) PrintRow();
  }
  void Finish() {
    if (inRow_ != 0) PrintRow();
  }

 private:
  void PrintRow() {
    if (!pageOpen_) {
      pageOpen_ = true;
      print::SpoolPage(static_cast<int16_t>(pageLength_));
      print::SpoolCommand("@e");
    }
    for (int i = 0; i < lines_; ++i) {
      std::string line = rows_[i].substr(0, 96);
      for (int c = 1; c <= 96; c += width_) {
        std::string piece = static_cast<size_t>(c - 1) < line.size()
                                ? line.substr(static_cast<size_t>(c - 1), width_)
                                : std::string();
        print::SpoolText(static_cast<int16_t>(c), piece, 0);
      }
      print::SpoolText(0, "", 1);
      rows_[i].clear();
    }
    inRow_ = 0;
    int count = print::Spool().lineCount;
    pageOpen_ = count > 0 && count < pageLength_;
  }

  int width_, lines_, pageLength_;
  std::vector<std::string> rows_;
  int inRow_ = 0;
  bool pageOpen_ = false;
};

std::vector<std::string> Block(int n) {
  char ref[16];
  std::snprintf(ref, sizeof ref, "%04d/%04d", 12, n);
  return {ref, "Propietari n\xa3mero " + std::to_string(n), "C. de la Pau, " + std::to_string(n),
          "08" + std::to_string(100 + n) + " Girona", "Catalunya"};
}

TEST_F(PdfGoldenTest, Labels) {
  ASSERT_TRUE(print::OpenSpool(""));
  LabelWriter labels(45, 9, 16);
  std::vector<ExpectedPage> pages(2, ExpectedPage(72));
  for (int n = 1; n <= 20; ++n) {
    labels.Add(Block(n));
    int index = (n - 1) % 16;
    int row = index / 2;
    int column = index % 2 == 0 ? 1 : 46;
    ExpectedPage& page = pages[static_cast<size_t>((n - 1) / 16)];
    std::vector<std::string> block = Block(n);
    // The reference ends 7 columns before the label's right edge.
    page.Put(row * 9 + 1, column + 45 - 7 - static_cast<int>(block[0].size()), block[0]);
    for (int i = 1; i < 5; ++i) page.Put(row * 9 + 1 + i, column, block[static_cast<size_t>(i)]);
  }
  labels.Finish();

  std::string pdf = PrintIt();
  ASSERT_EQ(PageCount(pdf), 2);
  ExpectA4Pages(pdf, 2);
  for (size_t i = 0; i < pages.size(); ++i) {
    EXPECT_EQ(PageText(pdf, static_cast<int>(i) + 1, 96), pages[i].Text()) << "page " << i + 1;
  }
  EXPECT_EQ(Fonts(pdf), std::vector<std::string>{"DejaVuSansMono yes"});

  // Eight rows of 9 lines on a page of 72: each row lies on its 37 mm row of an A4 label
  // sheet (0.5 mm margins), each label of the row in its half of the sheet.
  CommandResult r = RunCommand("pdftotext -bbox -f 1 -l 1 '" + pdf + "' -");
  std::regex ref(
      "<word xMin=\"([0-9.]+)\" yMin=\"([0-9.]+)\" xMax=\"[0-9.]+\" "
      "yMax=\"([0-9.]+)\">0012/00([0-9]+)</word>");
  const double mm = 72 / 25.4;
  int seen = 0;
  for (auto it = std::sregex_iterator(r.output.begin(), r.output.end(), ref);
       it != std::sregex_iterator(); ++it, ++seen) {
    int index = std::stoi((*it)[4]) - 1;
    double x = std::stod((*it)[1]), top = std::stod((*it)[2]), bottom = std::stod((*it)[3]);
    EXPECT_EQ(static_cast<int>(x / (105 * mm)), index % 2) << (*it)[0];
    EXPECT_EQ(static_cast<int>((top - 0.5 * mm) / (37 * mm)), index / 2) << (*it)[0];
    EXPECT_EQ(static_cast<int>((bottom - 0.5 * mm) / (37 * mm)), index / 2) << (*it)[0];
  }
  EXPECT_EQ(seen, 16);
}

TEST_F(PdfGoldenTest, LabelsWithoutAPageLengthFlowOnPagesOf66Lines) {
  ASSERT_TRUE(print::OpenSpool(""));
  LabelWriter labels(45, 9, 0);
  for (int n = 1; n <= 20; ++n) labels.Add(Block(n));
  labels.Finish();
  std::string pdf = PrintIt();
  // 10 rows of 9 lines: 66 lines on the first page, 24 on the second, which begins with
  // the fourth line of the eighth row.
  EXPECT_EQ(PageCount(pdf), 2);
  std::string second = PageText(pdf, 2, 96);
  EXPECT_EQ(second.substr(0, second.find('\n')),
            "08115 Girona                                 08116 Girona");
}

TEST_F(PdfGoldenTest, WideTextShrinksToFitTheSheet) {
  ASSERT_TRUE(print::OpenSpool(""));
  print::SpoolPage(66);
  print::SpoolText(1, "first", 0);
  print::SpoolText(200, "last", 1);
  std::string pdf = PrintIt();
  ExpectA4Pages(pdf, 1);
  // 203 columns across the sheet: the last word ends inside the right margin.
  CommandResult r = RunCommand("pdftotext -bbox '" + pdf + "' -");
  std::smatch m;
  ASSERT_TRUE(std::regex_search(
      r.output, m, std::regex("xMin=\"([0-9.]+)\" yMin=\"[0-9.]+\" xMax=\"([0-9.]+)\"[^>]*>last<")))
      << r.output;
  double cell = (zurprint::kPageWidthPoints - 2 * zurprint::kSideMarginPoints) / 203;
  EXPECT_NEAR(std::stod(m[1]), zurprint::kSideMarginPoints + 199 * cell, cell / 2);
  EXPECT_LE(std::stod(m[2]), zurprint::kPageWidthPoints - zurprint::kSideMarginPoints + 0.5);
  EXPECT_EQ(PageText(pdf, 1, 203), "first" + std::string(194, ' ') + "last\n");
}

// Every printable byte of the code page, box drawing and the euro sign included, prints
// as its own character in an embedded font.
TEST_F(PdfGoldenTest, EveryCharacterOfTheCodePage) {
  ASSERT_TRUE(print::OpenSpool(""));
  print::SpoolPage(66);
  ExpectedPage page(66);
  int line = 1;
  for (int first = 32; first < 256; first += 32, ++line) {
    std::string text;
    for (int b = first; b < first + 32; ++b) {
      if (b != 127 && b != 255) text += static_cast<char>(b);
    }
    print::SpoolText(1, text, 1);
    page.Put(line, 1, text);
  }
  std::string pdf = PrintIt();
  ExpectA4Pages(pdf, 1);
  EXPECT_EQ(PageText(pdf, 1, 96), page.Text());
  std::vector<std::string> fonts = Fonts(pdf);
  EXPECT_FALSE(fonts.empty());
  for (const std::string& font : fonts) EXPECT_EQ(font, "DejaVuSansMono yes");
}

}  // namespace
