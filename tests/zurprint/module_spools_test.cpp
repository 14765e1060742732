// The letter module's real spools (the golden spools of its end-to-end tests, in
// tests/e2e/golden) printed to PDF and read back with poppler's tools:
//   - each page's text at its columns (pdftotext -layout on the column grid) against
//     the expected text in tests/zurprint/golden/NAME.txt, pages separated by form
//     feeds; ZUR_UPDATE_GOLDEN=1 writes those files afresh (read the differences
//     against the spool before committing them). The blank lines between rows there
//     are pdftotext's reading of the gaps, not always one per spool line: the lines
//     themselves are checked by the word boxes below;
//   - one page for each PAGE line that text follows, every page A4, fonts embedded;
//   - every word of the spool on its page, line and column: worked out here from the
//     spool alone and compared with the word boxes pdftotext finds.

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/cp850.h"
#include "tests/support/temp_dir.h"
#include "tests/zurprint/pdf_reading.h"
#include "tools/zurprint/pdf_renderer.h"
#include "tools/zurprint/print_job.h"

namespace {

using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::WriteFile;

const std::string kSpoolDir = std::string(ZUR_SOURCE_DIR) + "/tests/e2e/golden/";
const std::string kExpectedDir = std::string(ZUR_SOURCE_DIR) + "/tests/zurprint/golden/";

// The names (without extension) of the files of a folder that end with `extension`.
std::vector<std::string> NamesIn(const std::string& dir, const std::string& extension) {
  std::vector<std::string> names;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(dir, ec)) {
    if (entry.path().extension() == extension) names.push_back(entry.path().stem().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

// A spool read on its own terms: the pages that get text, each with its length, and
// the visible characters at their lines and columns. Justification and style lines
// are passed over: the module lays its lines out to their full width, so its text
// lands where it is written whatever the alignment code.
struct SpoolModel {
  struct Page {
    int lines = 66;
    bool begunByPageLine = false;
    std::map<std::pair<int, int>, char> cells;  // (line, column), both 1-based
  };
  std::vector<Page> pages;          // only the pages that hold a visible character
  std::vector<std::string> errors;  // lines not understood, characters drawn twice
  int widestColumn = 0;
};

bool IsBlankByte(char c) {
  return c == ' ' || c == '\0' || c == '\xff';
}

// A list-format number ("  12 ", "-3 ") filling the whole text.
bool Number(std::string_view text, long& value) {
  size_t first = text.find_first_not_of(' ');
  size_t last = text.find_last_not_of(' ');
  if (first == std::string_view::npos) return false;
  std::string digits(text.substr(first, last - first + 1));
  char* end = nullptr;
  value = std::strtol(digits.c_str(), &end, 10);
  return !digits.empty() && *end == '\0';
}

SpoolModel ReadModel(const std::string& bytes) {
  SpoolModel model;
  std::vector<std::string> lines;
  for (size_t at = 0; at < bytes.size();) {
    size_t end = bytes.find('\n', at);
    if (end == std::string::npos) end = bytes.size();
    std::string line = bytes.substr(at, end - at);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
    at = end + 1;
  }
  if (lines.empty() || lines[0].rfind("DEVICE", 0) != 0) {
    model.errors.push_back("no DEVICE line first");
    return model;
  }
  std::vector<SpoolModel::Page> all;
  long pending = 0;
  long line = 0;  // 0-based line of the open page
  long column = 1;
  for (size_t i = 1; i < lines.size(); ++i) {
    const std::string& text = lines[i];
    const std::string where = "line " + std::to_string(i + 1) + ": ";
    if (text.rfind("PAGE", 0) == 0) {
      long n = 0;
      if (!Number(std::string_view(text).substr(4), n)) model.errors.push_back(where + text);
      if (n >= 1) pending = n;
      continue;
    }
    if (text.rfind("*", 0) == 0 || text.rfind("JUS", 0) == 0) continue;
    const size_t first = text.find(','), last = text.rfind(',');
    long start = 0, advance = 0;
    if (first == std::string::npos || first == last ||
        !Number(std::string_view(text).substr(0, first), start) ||
        !Number(std::string_view(text).substr(last + 1), advance)) {
      model.errors.push_back(where + text);
      continue;
    }
    if (all.empty() || pending > 0 || line >= all.back().lines) {
      SpoolModel::Page page;
      page.lines = pending > 0 ? static_cast<int>(pending) : all.empty() ? 66 : all.back().lines;
      page.begunByPageLine = pending > 0;
      all.push_back(page);
      pending = 0;
      line = 0;
    }
    if (start != 0) column = std::max(start, 1L);
    for (size_t k = first + 1; k < last; ++k, ++column) {
      const char c = text[k];
      if (IsBlankByte(c)) continue;
      auto [it, added] = all.back().cells.emplace(std::make_pair(line + 1, column), c);
      if (!added && it->second != c) {
        model.errors.push_back(where + "drawn over another character at column " +
                               std::to_string(column));
      }
      model.widestColumn = std::max(model.widestColumn, static_cast<int>(column));
    }
    if (advance != 0) {
      line = std::clamp(line + advance, 0L, static_cast<long>(all.back().lines));
      column = 1;
    }
  }
  for (SpoolModel::Page& page : all) {
    if (!page.cells.empty()) model.pages.push_back(std::move(page));
  }
  return model;
}

// "line L column C: word" for each run of visible characters of the page, sorted.
std::vector<std::string> ModelWords(const SpoolModel::Page& page) {
  std::vector<std::string> words;
  std::string word;
  int wordLine = 0, wordColumn = 0, nextColumn = 0;
  auto flush = [&] {
    if (!word.empty()) {
      words.push_back("line " + std::to_string(wordLine) + " column " + std::to_string(wordColumn) +
                      ": " + platform::Cp850ToUtf8(word));
    }
    word.clear();
  };
  for (const auto& [at, c] : page.cells) {
    if (at.first != wordLine || at.second != nextColumn) {
      flush();
      wordLine = at.first;
      wordColumn = at.second;
    }
    word += c;
    nextColumn = at.second + 1;
  }
  flush();
  std::sort(words.begin(), words.end());
  return words;
}

// The same for the words pdftotext finds on a page of `lines` lines and `columns`
// columns: the column from the word's left edge, the line from its middle.
std::vector<std::string> PdfWords(const std::string& pdf, int page, int lines, int columns) {
  const double cell = (zurprint::kPageWidthPoints - 2 * zurprint::kSideMarginPoints) / columns;
  const double lineHeight = (zurprint::kPageHeightPoints - 2 * zurprint::kTopMarginPoints) / lines;
  std::vector<std::string> words;
  for (const pdf_reading::Word& w : pdf_reading::PageWords(pdf, page)) {
    const long column = std::lround((w.xMin - zurprint::kSideMarginPoints) / cell) + 1;
    const long line = static_cast<long>(
        std::floor(((w.yMin + w.yMax) / 2 - zurprint::kTopMarginPoints) / lineHeight) + 1);
    words.push_back("line " + std::to_string(line) + " column " + std::to_string(column) + ": " +
                    w.text);
  }
  std::sort(words.begin(), words.end());
  return words;
}

// The entries of `a` that `b` lacks, the first few of them, one to a line.
std::string Missing(const std::vector<std::string>& a, const std::vector<std::string>& b) {
  std::vector<std::string> out;
  std::set_difference(a.begin(), a.end(), b.begin(), b.end(), std::back_inserter(out));
  std::string text;
  for (size_t i = 0; i < out.size() && i < 12; ++i) text += "  " + out[i] + "\n";
  if (out.size() > 12) text += "  ... " + std::to_string(out.size() - 12) + " more\n";
  return text;
}

class ModuleSpool : public ::testing::TestWithParam<std::string> {};

TEST_P(ModuleSpool, PrintsEveryWordWhereTheSpoolPutsIt) {
  const std::string name = GetParam();
  const std::optional<std::string> spool = ReadFile(kSpoolDir + name + ".spool");
  ASSERT_TRUE(spool.has_value()) << kSpoolDir << name << ".spool";
  const SpoolModel model = ReadModel(*spool);
  ASSERT_TRUE(model.errors.empty()) << model.errors.front();
  ASSERT_FALSE(model.pages.empty());
  const int columns = std::clamp(model.widestColumn, zurprint::kMinColumns, zurprint::kMaxColumns);

  // The module's spools name no device: the PDF goes to the work folder.
  TempDir dir;
  WriteFile(dir / "zurprint.tmp", *spool);
  const zurprint::PrintOutcome printed = zurprint::PrintSpool(dir / "zurprint.tmp", dir.path());
  ASSERT_EQ(printed.exitCode, 0) << printed.message;
  const std::string pdf = dir / "zurprint.pdf";

  // One page for each PAGE line that text follows, and no other.
  const int pages = static_cast<int>(model.pages.size());
  for (const SpoolModel::Page& page : model.pages) EXPECT_TRUE(page.begunByPageLine);
  EXPECT_EQ(printed.message,
            std::to_string(pages) + (pages == 1 ? " page" : " pages") + " written to " + pdf);
  pdf_reading::ExpectA4Pages(pdf, pages);
  const std::vector<std::string> fonts = pdf_reading::Fonts(pdf);
  EXPECT_FALSE(fonts.empty());
  for (const std::string& font : fonts) {
    EXPECT_EQ(font.rfind("DejaVuSansMono", 0), 0u) << font;
    EXPECT_EQ(font.substr(font.size() - 4), " yes") << font << " is not embedded";
  }

  std::string text;
  for (int p = 1; p <= pages; ++p) {
    const SpoolModel::Page& page = model.pages[static_cast<size_t>(p - 1)];
    const std::vector<std::string> expected = ModelWords(page);
    const std::vector<std::string> drawn = PdfWords(pdf, p, page.lines, columns);
    EXPECT_TRUE(expected == drawn) << "page " << p << " of " << name << "\nnot drawn:\n"
                                   << Missing(expected, drawn) << "drawn but not in the spool:\n"
                                   << Missing(drawn, expected);
    if (p > 1) text += '\f';
    text += pdf_reading::PageText(pdf, p, columns);
  }

  const std::string expectedPath = kExpectedDir + name + ".txt";
  if (std::getenv("ZUR_UPDATE_GOLDEN") != nullptr) {
    WriteFile(expectedPath, text);
    return;
  }
  const std::optional<std::string> expected = ReadFile(expectedPath);
  ASSERT_TRUE(expected.has_value()) << "no expected text " << expectedPath;
  EXPECT_EQ(text, *expected) << "differs from " << expectedPath;
}

std::string TestName(const ::testing::TestParamInfo<std::string>& info) {
  std::string name = info.param;
  for (char& c : name) {
    if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
  }
  return name;
}

INSTANTIATE_TEST_SUITE_P(E2eGolden, ModuleSpool, ::testing::ValuesIn(NamesIn(kSpoolDir, ".spool")),
                         TestName);

// Every spool has its expected text and every expected text its spool, so that a spool
// added, renamed or removed in the module's tests does not go unprinted here.
TEST(ModuleSpoolExpectedTexts, OnePerSpool) {
  const std::vector<std::string> spools = NamesIn(kSpoolDir, ".spool");
  EXPECT_FALSE(spools.empty()) << kSpoolDir;
  EXPECT_EQ(NamesIn(kExpectedDir, ".txt"), spools);
}

// The reading of the spool above, on lines whose outcome is plain.
TEST(ModuleSpoolModel, PlacesTextAsTheSpoolSays) {
  const SpoolModel model = ReadModel(
      "DEVICE\r\n"
      "PAGE 6 \r\n"
      " 3 ,ab  c, 0 \r\n"  // line 1: "ab" at 3, "c" at 7
      " 0 ,d, 2 \r\n"      // continues at 8: "cd"
      " 1 ,, 0 \r\n"       // line 3: an empty box
      " 0 ,  e, 4 \r\n"    // "e" at 3; then past the last line
      " 1 ,f, 1 \r\n"      // a new page of 6 lines, not begun by a PAGE line
      "PAGE 4 \r\n"
      "*b\r\nJUSD\r\n"
      " 1 ,   , 1 \r\n"  // a page with blanks only is no page
      "PAGE 2 \r\n"
      " 2 ,g, -5 \r\n"   // up, not above the first line
      " 2 ,h, 0 \r\n");  // over "g": an error
  ASSERT_EQ(model.pages.size(), 3u);
  EXPECT_EQ(ModelWords(model.pages[0]),
            (std::vector<std::string>{"line 1 column 3: ab", "line 1 column 7: cd",
                                      "line 3 column 3: e"}));
  EXPECT_TRUE(model.pages[0].begunByPageLine);
  EXPECT_EQ(model.pages[1].lines, 6);
  EXPECT_FALSE(model.pages[1].begunByPageLine);
  EXPECT_EQ(ModelWords(model.pages[1]), std::vector<std::string>{"line 1 column 1: f"});
  EXPECT_EQ(model.pages[2].lines, 2);
  EXPECT_EQ(model.widestColumn, 8);
  ASSERT_EQ(model.errors.size(), 1u);
  EXPECT_NE(model.errors[0].find("line 14: drawn over"), std::string::npos) << model.errors[0];
}

}  // namespace
