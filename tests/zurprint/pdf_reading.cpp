#include "tests/zurprint/pdf_reading.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <regex>
#include <sstream>

#include "tools/zurprint/pdf_renderer.h"

namespace pdf_reading {
namespace {

std::string Quoted(const std::string& path) {
  std::string out = "'";
  for (char c : path) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

// The text of an XHTML word: the five entities pdftotext writes.
std::string Unescaped(const std::string& text) {
  static const std::pair<const char*, const char*> kEntities[] = {
      {"&amp;", "&"}, {"&lt;", "<"}, {"&gt;", ">"}, {"&quot;", "\""}, {"&apos;", "'"}};
  std::string out;
  for (size_t i = 0; i < text.size();) {
    bool replaced = false;
    for (const auto& [entity, character] : kEntities) {
      const std::string_view e(entity);
      if (text.compare(i, e.size(), e) == 0) {
        out += character;
        i += e.size();
        replaced = true;
        break;
      }
    }
    if (!replaced) out += text[i++];
  }
  return out;
}

}  // namespace

CommandResult RunCommand(const std::string& command) {
  CommandResult r;
  std::FILE* p = ::popen((command + " 2>&1").c_str(), "r");
  if (p == nullptr) return r;
  char buffer[4096];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, p)) > 0) r.output.append(buffer, n);
  int status = ::pclose(p);
  r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}

int PageCount(const std::string& pdf) {
  CommandResult r = RunCommand("pdfinfo " + Quoted(pdf));
  std::smatch m;
  if (!std::regex_search(r.output, m, std::regex("Pages: +([0-9]+)"))) return -1;
  return std::stoi(m[1]);
}

void ExpectA4Pages(const std::string& pdf, int pages) {
  CommandResult r = RunCommand("pdfinfo -f 1 -l " + std::to_string(pages) + " " + Quoted(pdf));
  std::regex size("Page +[0-9]+ size: +([0-9.]+) x ([0-9.]+) pts");
  int seen = 0;
  for (auto it = std::sregex_iterator(r.output.begin(), r.output.end(), size);
       it != std::sregex_iterator(); ++it) {
    EXPECT_NEAR(std::stod((*it)[1]), 595.276, 0.01);
    EXPECT_NEAR(std::stod((*it)[2]), 841.89, 0.01);
    ++seen;
  }
  EXPECT_EQ(seen, pages) << r.output;
  EXPECT_EQ(PageCount(pdf), pages);
}

std::vector<std::string> Fonts(const std::string& pdf) {
  CommandResult r = RunCommand("pdffonts " + Quoted(pdf));
  EXPECT_EQ(r.exitCode, 0) << r.output;
  std::vector<std::string> fonts;
  std::istringstream in(r.output);
  std::string line;
  // name, type (one or two words), encoding, then the emb, sub and uni flags and the
  // object number and generation.
  const std::regex row(
      "^(?:[A-Z]{6}\\+)?(\\S+) .* (yes|no) +(?:yes|no) +(?:yes|no) +[0-9]+ +[0-9]+ *$");
  while (std::getline(in, line)) {
    std::smatch m;
    if (std::regex_search(line, m, row)) fonts.push_back(std::string(m[1]) + " " + m[2].str());
  }
  std::sort(fonts.begin(), fonts.end());
  return fonts;
}

std::string TrimmedRows(std::vector<std::string> rows) {
  for (std::string& r : rows) r.erase(r.find_last_not_of(' ') + 1);
  size_t first = 0;
  while (first < rows.size() && rows[first].empty()) ++first;
  size_t last = rows.size();
  while (last > first && rows[last - 1].empty()) --last;
  std::string out;
  for (size_t i = first; i < last; ++i) out += rows[i] + "\n";
  return out;
}

std::string PageText(const std::string& pdf, int page, int columns) {
  const double pitch = (zurprint::kPageWidthPoints - 2 * zurprint::kSideMarginPoints) / columns;
  const size_t margin = static_cast<size_t>(zurprint::kSideMarginPoints / pitch + 0.5);
  std::ostringstream cmd;
  cmd << "pdftotext -layout -fixed " << pitch << " -f " << page << " -l " << page << " "
      << Quoted(pdf) << " -";
  CommandResult r = RunCommand(cmd.str());
  EXPECT_EQ(r.exitCode, 0) << r.output;
  std::vector<std::string> rows;
  std::istringstream in(r.output);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line[0] == '\f') line.erase(0, 1);
    size_t blanks = line.find_first_not_of(' ');
    EXPECT_TRUE(line.empty() || blanks == std::string::npos || blanks >= margin)
        << "text in the margin: " << line;
    rows.push_back(line.size() > margin ? line.substr(margin) : std::string());
  }
  return TrimmedRows(rows);
}

std::vector<Word> PageWords(const std::string& pdf, int page) {
  CommandResult r = RunCommand("pdftotext -bbox -f " + std::to_string(page) + " -l " +
                               std::to_string(page) + " " + Quoted(pdf) + " -");
  EXPECT_EQ(r.exitCode, 0) << r.output;
  std::vector<Word> words;
  static const std::regex word(
      "<word xMin=\"([0-9.]+)\" yMin=\"([0-9.]+)\" xMax=\"([0-9.]+)\" yMax=\"([0-9.]+)\">"
      "([^<]*)</word>");
  for (auto it = std::sregex_iterator(r.output.begin(), r.output.end(), word);
       it != std::sregex_iterator(); ++it) {
    words.push_back(Word{std::stod((*it)[1]), std::stod((*it)[2]), std::stod((*it)[3]),
                         std::stod((*it)[4]), Unescaped((*it)[5])});
  }
  return words;
}

}  // namespace pdf_reading
