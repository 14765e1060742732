#pragma once
// Reading a printed PDF back with poppler's command-line tools (pdfinfo, pdftotext,
// pdffonts), for the tests that check what the print program drew.

#include <string>
#include <vector>

namespace pdf_reading {

struct CommandResult {
  int exitCode = -1;
  std::string output;  // standard output and standard error together
};

// Runs a shell command and collects what it prints.
CommandResult RunCommand(const std::string& command);

// The page count pdfinfo reports; -1 when it reports none.
int PageCount(const std::string& pdf);

// Fails the test unless the PDF has exactly `pages` pages, each A4 portrait.
void ExpectA4Pages(const std::string& pdf, int pages);

// "Name yes" or "Name no" (embedded or not) for each font of the PDF, subset prefix
// dropped, sorted. A face used for characters inside and outside the PDF's standard
// encoding comes twice (a simple and a CID font).
std::vector<std::string> Fonts(const std::string& pdf);

// The rows from the first to the last that hold text, trailing blanks dropped, each
// ended by "\n".
std::string TrimmedRows(std::vector<std::string> rows);

// The text of one page (1-based) as pdftotext lays it out on a fixed grid of the
// document's column width, in UTF-8, with the page's side margin taken off the front of
// each line (text inside the margin fails the test), trimmed as TrimmedRows.
std::string PageText(const std::string& pdf, int page, int columns);

// A word as pdftotext finds it, with its box in points from the page's top left.
struct Word {
  double xMin = 0, yMin = 0, xMax = 0, yMax = 0;
  std::string text;  // UTF-8
};

// The words of one page (1-based), in pdftotext's order.
std::vector<Word> PageWords(const std::string& pdf, int page);

}  // namespace pdf_reading
