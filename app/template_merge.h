#pragma once
// The template merge: a letter template (with the templates it includes) merged with
// an owner's field file into the print spool.
//
// A template is read line by line. The first bytes of a line decide what it is:
//   byte 127 "P" n   page length of this template (default 66)
//   byte 127 "S" n   lines skipped at the top of each page
//   byte 127 "L" t   heading written at the top of each page, ending at column 94
//                    (a longer one is cut to its first 94 characters)
//   byte 127 "A"/"T" ignored
//   byte 127 "C"     coded lines follow ("C" alone; "C" with more text: plain again)
//   byte 127 other   column line: characters 2-3 start, 4-5 end, 6-8 indent, last
//                    character justification; stored in entries 1 .. 9 in order
//   "@+" / "#+" name include (after "#+" the next paragraph starts a new page)
//   "@." / "#." n    after leading blanks: skip to line n of the page
//   anything else    a paragraph, laid out in the current text column, with field
//                    markers "@NAME" (value trimmed of blanks) and "#NAME" (unchanged)
// A paragraph starting with a byte 1 .. 9 selects column entry 0 .. 8 for it and the
// following paragraphs of the same template. Codes 16, 17, 18 in a paragraph are the
// printer commands bold, underline and italic.

#include <cstdint>
#include <string>
#include <string_view>

#include "app/letter_status.h"

namespace app {

// The settings of one template being read; an included template has its own.
struct TemplateCall {
  int16_t templatePageLength = 66;
  int16_t topSkip = 0;
  std::string headLine;
  int16_t columnCount = 0;  // column lines stored so far (at most 9)
  bool codedLines = false;
  int16_t currentColumn = 0;  // column entry of the next paragraph
  int depth = 0;              // 0: the letter's outermost template
};

// A paragraph's text being written: the pending segment of the current line, the
// column's justification and its last column.
struct ParagraphOutput {
  std::string segment;
  char justification = 'I';
  int16_t endColumn = 95;
};

// The template file of a name: the name without trailing blanks + ".txt", under
// rootDir + "TEXTOS\" unless it has ":" second or holds "\" (then it is a path).
std::string TemplatePath(std::string_view templateName);

// Merges one letter: the template and every template it includes, with the field file
// (an empty name leaves markers as they are). The letter starts on a new page.
// kTemplateNotFound when a template cannot be opened, kIncludesTooDeep when includes
// nest deeper than kMaxIncludeDepth; the merge stops there, the spool holding the
// letter up to that point.
LetterProblem MergeTemplate(std::string_view templateName, std::string_view fieldFile);

// Lays one paragraph out in its column and writes it to the spool, starting a page
// first when the letter has none yet or fewer than 8 lines of the page remain.
void EmitParagraph(TemplateCall& call, std::string text);

// Writes the justification line and the pending segment, ending the line (advance 1)
// when endOfLine; the segment is then empty.
void FlushSegment(ParagraphOutput& out, bool endOfLine);

// Starts a page of the letter: page line, the first-page command "@" on the letter's
// first page, "e", the top skip and the heading.
void StartLetterPage(const TemplateCall& call);

}  // namespace app
