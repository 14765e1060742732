#include "app/template_merge.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "app/field_file.h"
#include "app/letter_state.h"
#include "format/number_mask.h"
#include "format/text.h"
#include "platform/ascii_text.h"
#include "platform/binary_file.h"
#include "platform/text_file.h"
#include "print/spool.h"
#include "session/session.h"

namespace app {
namespace {

using platform::ClampToInt16;
using platform::TrimBlanks;
using platform::UpperAscii;

// A line whose markers keep finding values that hold markers again (a value naming
// its own field) stops being searched after this many substitutions.
constexpr int kMaxSubstitutionsPerLine = 1000;
// The field file is read whole for each template line with markers; a larger file
// (only a runaway receipt list could make one) is read up to here.
constexpr long long kMaxFieldFileBytes = 64LL << 20;
constexpr char kCtrlZ = 26;

std::string_view Piece(std::string_view text, size_t from, size_t size) {
  return from < text.size() ? text.substr(from, size) : std::string_view();
}

bool IsControl(char c) {
  return static_cast<unsigned char>(c) < 32;
}

bool IsNameCharacter(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (UpperAscii(a[i]) != UpperAscii(b[i])) return false;
  }
  return true;
}

// ---- Lines of a laid-out paragraph ----------------------------------------------

struct LineSpan {
  size_t begin = 0;
  size_t end = 0;
};

// Alignments whose every line LayoutText fills to the full width.
bool PadsEveryLine(char justification) {
  switch (justification) {
    case 'E':
    case 'L':
    case 'I':
    case 'D':
    case 'R':
    case 'C':
      return true;
    default:
      return false;
  }
}

// Cuts a text of full lines, each holding width characters that take room (control
// characters take none). Control characters that follow a full line stay with it.
void CutFullLines(std::string_view text, size_t width, std::vector<LineSpan>& lines) {
  lines.clear();
  size_t begin = 0, count = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (IsControl(text[i])) continue;
    if (count == width) {
      lines.push_back({begin, i});
      begin = i;
      count = 0;
    }
    ++count;
  }
  if (begin < text.size()) lines.push_back({begin, text.size()});
}

size_t CountNonBlanks(std::string_view text) {
  return static_cast<size_t>(
      std::count_if(text.begin(), text.end(), [](char c) { return c != ' '; }));
}

size_t LeadingBlanks(std::string_view text) {
  const size_t first = text.find_first_not_of(' ');
  return first == std::string_view::npos ? text.size() : first;
}

// Where LayoutText ended each line of `laid` (the source laid out with these
// settings). Alignments that pad every line are cut by counting. The others (justified
// text leaves its last line and lines without a blank unpadded) are matched against
// the same text laid out left-aligned, which breaks its lines at the same places and
// pads them: line i holds the same non-blank characters in both, and the next line
// begins with its indent and then a non-blank character.
void CutLaidOutLines(std::string_view laid, const std::string& source, int16_t indent,
                     int16_t width, char justification, std::vector<LineSpan>& lines) {
  const size_t fullWidth = static_cast<size_t>(std::max<int16_t>(1, width));
  if (PadsEveryLine(justification)) {
    CutFullLines(laid, fullWidth, lines);
    return;
  }
  std::string left = source;
  format::LayoutText(left, indent, width, "L");
  std::vector<LineSpan> leftLines;
  CutFullLines(left, fullWidth, leftLines);
  const std::string_view leftText = left;
  lines.clear();
  size_t at = 0;
  for (size_t i = 0; i < leftLines.size(); ++i) {
    if (i + 1 == leftLines.size() || at >= laid.size()) {
      lines.push_back({at, laid.size()});
      break;
    }
    const std::string_view leftLine =
        leftText.substr(leftLines[i].begin, leftLines[i].end - leftLines[i].begin);
    size_t marks = CountNonBlanks(leftLine);
    size_t q = at;
    while (marks > 0 && q < laid.size()) {
      if (laid[q] != ' ') --marks;
      ++q;
    }
    size_t next = laid.find_first_not_of(' ', q);
    if (next == std::string_view::npos) next = laid.size();
    const size_t nextIndent = LeadingBlanks(
        leftText.substr(leftLines[i + 1].begin, leftLines[i + 1].end - leftLines[i + 1].begin));
    const size_t end = next >= q + nextIndent ? next - nextIndent : q;
    lines.push_back({at, end});
    at = end;
  }
}

// ---- Field file -------------------------------------------------------------------

// The field file as read for one template line.
struct FieldFileText {
  bool open = false;
  std::string bytes;
};

void ReadFieldFile(std::string_view path, FieldFileText& fields) {
  fields.open = false;
  fields.bytes.clear();
  platform::BinaryFile file;
  if (!file.Open(path, platform::BinaryFile::Mode::kRead)) return;
  const long long length = std::min(file.Length(), kMaxFieldFileBytes);
  if (length > 0) {
    fields.bytes.resize(static_cast<size_t>(length));
    const long long got = file.ReadAt(0, fields.bytes.data(), fields.bytes.size());
    fields.bytes.resize(static_cast<size_t>(std::max(0LL, got)));
  }
  // Ctrl-Z ends a text file.
  const size_t ctrlZ = fields.bytes.find(kCtrlZ);
  if (ctrlZ != std::string::npos) fields.bytes.resize(ctrlZ);
  fields.open = true;
}

// The next line of text from offset `at` (its end, CR LF or LF, removed); false at
// the end.
bool NextLine(std::string_view text, size_t& at, std::string_view& line) {
  if (at >= text.size()) return false;
  size_t end = text.find('\n', at);
  const size_t next = end == std::string_view::npos ? text.size() : end + 1;
  if (end == std::string_view::npos) end = text.size();
  line = text.substr(at, end - at);
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  at = next;
  return true;
}

// Searches the field file from its start for the field's name line (names compared
// without regard to case) and reads its value lines, up to the one holding the byte
// 255, which ends just before it. False when the file has no such field.
bool FindField(const FieldFileText& fields, std::string_view name,
               std::vector<std::string>& value) {
  value.clear();
  const std::string_view text = fields.bytes;
  size_t at = 0;
  std::string_view line;
  while (NextLine(text, at, line)) {
    if (line.empty() || line[0] != kNameLineMark || !EqualsIgnoringCase(line.substr(1), name)) {
      continue;
    }
    while (NextLine(text, at, line)) {
      const size_t end = line.find(kValueEnd);
      if (end != std::string_view::npos) {
        value.emplace_back(line.substr(0, end));
        return true;
      }
      value.emplace_back(line);
    }
    if (value.empty()) value.emplace_back();
    return true;
  }
  return false;
}

// Replaces the field markers of a paragraph line by the values of the field file. A
// value of several lines emits the text before the marker with its first line, and
// each middle line, as paragraphs of their own; the line goes on with its last line.
// The inserted value is searched for markers too, from its second character on.
void SubstituteMarkers(TemplateCall& call, std::string& line, std::string_view fieldFile) {
  FieldFileText fields;
  ReadFieldFile(fieldFile, fields);
  if (!fields.open) return;
  std::vector<std::string> value;
  int substitutions = 0;
  size_t from = 0;
  while (substitutions < kMaxSubstitutionsPerLine) {
    const size_t marker = line.find_first_of("@#", from);
    if (marker == std::string::npos) break;
    size_t nameEnd = marker + 1;
    while (nameEnd < line.size() && IsNameCharacter(line[nameEnd])) ++nameEnd;
    const std::string_view name = std::string_view(line).substr(marker + 1, nameEnd - marker - 1);
    if (name.empty() || !FindField(fields, name, value)) {
      from = marker + 1;
      continue;
    }
    ++substitutions;
    const bool trim = line[marker] == '@';
    std::string rest = line.substr(nameEnd);
    if (value.size() == 1) {
      const std::string_view inserted = trim ? TrimBlanks(value[0]) : std::string_view(value[0]);
      line.resize(marker);
      line += inserted;
      line += rest;
      // An empty value leaves the marker's place to the text after it, which is searched.
      from = inserted.empty() ? marker : marker + 1;
    } else {
      std::string first = line.substr(0, marker);
      first += trim ? TrimBlanks(value[0]) : std::string_view(value[0]);
      EmitParagraph(call, std::move(first));
      for (size_t i = 1; i + 1 < value.size(); ++i) EmitParagraph(call, value[i]);
      from = value.back().empty() ? 0 : 1;
      line = std::move(value.back());
      line += rest;
    }
  }
}

// ---- Template lines -----------------------------------------------------------------

void ReadDirective(TemplateCall& call, std::string_view line) {
  const char kind = line.size() > 1 ? line[1] : '\0';
  const std::string_view rest = Piece(line, 2, std::string_view::npos);
  switch (kind) {
    case 'P':
      call.templatePageLength = format::WholeNumberValue(rest);
      break;
    case 'S':
      call.topSkip = format::WholeNumberValue(rest);
      break;
    case 'L':
      call.headLine = rest;
      break;
    case 'A':
    case 'T':
      break;
    case 'C':
      call.codedLines = line.size() == 2;
      break;
    default: {
      // A column line. Entries 1 .. 9 only: further column lines are ignored.
      if (call.columnCount >= kColumnEntries - 1) break;
      ColumnDefinition& entry = Letters().columnTable[static_cast<size_t>(call.columnCount) + 1];
      entry.startColumn = format::WholeNumberValue(Piece(line, 1, 2));
      entry.endColumn = format::WholeNumberValue(Piece(line, 3, 2));
      entry.indent = format::WholeNumberValue(Piece(line, 5, 3));
      entry.justification = UpperAscii(line.back());
      ++call.columnCount;
      break;
    }
  }
}

bool EndsIncludeName(char c) {
  static constexpr std::string_view kStops = "\" *+,./:;<=>?[\\]|";
  return static_cast<unsigned char>(c) > '~' || kStops.find(c) != std::string_view::npos;
}

std::string IncludeName(std::string_view line) {
  size_t end = 2;
  while (end < line.size() && !EndsIncludeName(line[end])) ++end;
  return std::string(Piece(line, 2, end - 2));
}

void DecodeLine(std::string& line) {
  for (char& c : line) {
    const unsigned char u = static_cast<unsigned char>(c);
    if (u >= 33 && u <= 222) c = static_cast<char>(255 - u);
  }
}

// Moves to line n of the page (counted modulo the page length less 6).
void SkipToLine(const TemplateCall& call, std::string_view number) {
  const long long usable = static_cast<long long>(call.templatePageLength) - 6;
  if (usable <= 0) return;
  double value = format::NumericValue(number);
  if (std::isnan(value)) value = 0;
  const long long n = static_cast<long long>(std::clamp(std::nearbyint(value), -1e9, 1e9));
  const long long target = ((n - 1) % usable) + 1;
  print::SpoolText(0, "", ClampToInt16(target - print::Spool().lineCount - 1));
}

LetterProblem MergeFile(std::string_view templateName, std::string_view fieldFile, int depth);

LetterProblem MergeLine(TemplateCall& call, std::string& line, std::string_view fieldFile) {
  if (!line.empty() && line[0] == kNameLineMark) {
    ReadDirective(call, line);
    return {};
  }
  if (line.size() >= 2 && (line[0] == '@' || line[0] == '#') && line[1] == '+') {
    const std::string name = IncludeName(line);
    if (call.depth >= kMaxIncludeDepth) return {kIncludesTooDeep, name};
    LetterProblem problem = MergeFile(name, fieldFile, call.depth + 1);
    if (problem.status != kLetterOk) return problem;
    if (line[0] == '#') Letters().letterPageCount = 0;
    return {};
  }
  if (call.codedLines) DecodeLine(line);
  const size_t first = line.find_first_not_of(' ');
  if (first != std::string::npos && first + 1 < line.size() &&
      (line[first] == '@' || line[first] == '#') && line[first + 1] == '.') {
    SkipToLine(call, std::string_view(line).substr(first + 2));
    return {};
  }
  if (!fieldFile.empty() && line.find_first_of("@#") != std::string::npos) {
    SubstituteMarkers(call, line, fieldFile);
  }
  EmitParagraph(call, std::move(line));
  return {};
}

LetterProblem MergeFile(std::string_view templateName, std::string_view fieldFile, int depth) {
  LetterState& state = Letters();
  platform::TextReader reader;
  if (!reader.Open(TemplatePath(templateName))) {
    return {kTemplateNotFound,
            std::string(templateName.substr(0, templateName.find_last_not_of(' ') + 1))};
  }
  state.columnTable[0] = ColumnDefinition{1, 95, 0, 'I'};
  TemplateCall call;
  call.depth = depth;
  LetterProblem problem;
  std::string line;
  while (problem.status == kLetterOk && reader.ReadLine(line)) {
    problem = MergeLine(call, line, fieldFile);
  }
  return problem;
}

}  // namespace

std::string TemplatePath(std::string_view templateName) {
  const size_t last = templateName.find_last_not_of(' ');
  const std::string_view name =
      last == std::string_view::npos ? std::string_view() : templateName.substr(0, last + 1);
  std::string path;
  if ((name.size() >= 2 && name[1] == ':') || name.find('\\') != std::string_view::npos) {
    path = name;
  } else {
    path = session::Session().rootDir + "TEXTOS\\" + std::string(name);
  }
  path += ".txt";
  return path;
}

LetterProblem MergeTemplate(std::string_view templateName, std::string_view fieldFile) {
  LetterState& state = Letters();
  // Whatever happens, the next letter starts on a new page of its own.
  state.letterPageCount = 0;
  LetterProblem problem = MergeFile(templateName, fieldFile, 0);
  state.letterPageCount = 0;
  return problem;
}

void StartLetterPage(const TemplateCall& call) {
  LetterState& state = Letters();
  if (state.letterPageCount < std::numeric_limits<int16_t>::max()) ++state.letterPageCount;
  print::SpoolPage(call.templatePageLength);
  if (state.letterPageCount == 1) print::SpoolCommand("@");
  print::SpoolCommand("e");
  print::SpoolText(0, "", call.topSkip);
  // The heading ends at column 94. A longer one is cut to its first 94 characters: it
  // would otherwise start left of the line (a negative column, or 0, which means "where
  // the last text ended"), and the print program refuses such a spool.
  constexpr size_t kHeadingEndColumn = 94;
  const std::string_view head = std::string_view(call.headLine).substr(0, kHeadingEndColumn);
  print::SpoolText(static_cast<int16_t>(kHeadingEndColumn + 1 - head.size()), head, 2);
}

void FlushSegment(ParagraphOutput& out, bool endOfLine) {
  std::string code;
  switch (out.justification) {
    case 'D':
    case 'R':
      code = "D";
      break;
    case 'C':
      code = "C";
      break;
    case 'A':
    case 'B':
      code = "A";
      break;
    case 'N':
      if (out.segment.empty()) {
        code = "E";
      } else if (endOfLine) {
        // The fill runs from the end of the text to the column after the last one.
        code = "N " + std::to_string(static_cast<int>(out.endColumn) + 1) + " \\-\\";
        out.segment.erase(out.segment.find_last_not_of(' ') + 1);
      } else {
        code = "A";
      }
      break;
    default:
      code = "E";
      break;
  }
  print::SpoolJustify(code);
  print::SpoolText(0, out.segment, endOfLine ? 1 : 0);
  out.segment.clear();
}

void EmitParagraph(TemplateCall& call, std::string text) {
  LetterState& state = Letters();
  if (!text.empty()) {
    const unsigned char first = static_cast<unsigned char>(text[0]);
    if (first >= 1 && first <= 9) {
      call.currentColumn = static_cast<int16_t>(first - 1);
      text.erase(0, 1);
    }
  }
  // Only the printer commands remain: any other control character would take room
  // when the lines are written but none when they are laid out.
  std::erase_if(text, [](char c) {
    const unsigned char u = static_cast<unsigned char>(c);
    return u < 32 && u != 16 && u != 17 && u != 18;
  });

  const ColumnDefinition& column = state.columnTable[static_cast<size_t>(call.currentColumn)];
  long long start = column.startColumn + (column.indent < 0 ? column.indent : 0);
  long long end = column.endColumn;
  int16_t indent = column.indent;
  char justification = column.justification;
  if (start == 0 && end == 0) {
    start = 1;
    end = 95;
    indent = 0;
    justification = 'I';
  }
  if (justification == 'I') {
    const size_t blanks = LeadingBlanks(text);
    start += static_cast<long long>(blanks);
    text.erase(0, blanks);
  }
  const int16_t width = ClampToInt16(std::max(1LL, end - start + 1));
  const char layoutCode = justification == 'N' ? 'I' : justification;
  std::string laid = text;
  format::LayoutText(laid, indent, width, std::string_view(&layoutCode, 1));

  const int16_t startColumn = ClampToInt16(start);
  if (state.letterPageCount == 0) StartLetterPage(call);
  if (print::Spool().lineCount > call.templatePageLength - 8) StartLetterPage(call);
  print::SpoolText(startColumn, "", 0);

  std::vector<LineSpan> lines;
  CutLaidOutLines(laid, text, indent, width, layoutCode, lines);
  ParagraphOutput out;
  out.justification = justification;
  out.endColumn = ClampToInt16(end);
  for (size_t i = 0; i < lines.size(); ++i) {
    if (i > 0) {
      FlushSegment(out, true);
      if (print::Spool().lineCount > call.templatePageLength - 8) StartLetterPage(call);
      print::SpoolText(startColumn, "", 0);
    }
    for (size_t k = lines[i].begin; k < lines[i].end; ++k) {
      const char c = laid[k];
      if (c == 16 || c == 17 || c == 18) {
        FlushSegment(out, false);
        print::SpoolCommand(c == 16 ? "b" : c == 17 ? "u" : "i");
      } else {
        out.segment += c;
      }
    }
  }
  // The last line of a justified paragraph stays left-aligned.
  if (out.justification == 'A' || out.justification == 'B') out.justification = 'E';
  FlushSegment(out, true);
}

}  // namespace app
